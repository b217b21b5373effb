// The fuzz entry point over a few thousand pseudo-random and mutated inputs, so that the suite
// exercises it even where libFuzzer is not available (g++ builds).

#include "ParamsFuzz.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace quiro {
namespace {

void run(const std::string &input) {
    fuzz::runOne(reinterpret_cast<const std::uint8_t *>(input.data()), input.size());
}

TEST(ParamsFuzz, SeedsMutationsAndNoiseKeepEveryProperty) {
    const std::vector<std::string> seeds = {
        "3\n0.5\n-0.25\n0.125\n9.9\n", "3,0.5,-0.25,0.125", "0", "\xEF\xBB\xBF" "2\r\n1\r\n2",
        " 255.5 ", "-1.5e-3", "4096", "1e39", ".5e+2,,\r\r\n", "4101.5", "6"};
    const std::string alphabet = "0123456789+-.eE ,\n\r\t\xEF\xBB\xBFx";
    std::mt19937 random(20240607);
    const auto pick = [&](std::size_t n) {
        return static_cast<std::size_t>(random() % static_cast<std::uint32_t>(n));
    };
    for (const std::string &seed : seeds)
        run(seed);
    for (int i = 0; i < 4000; ++i) {
        std::string input = seeds[pick(seeds.size())];
        for (std::size_t edits = 1 + pick(4); edits > 0; --edits) {
            const std::size_t at = input.empty() ? 0 : pick(input.size() + 1);
            const char c = i % 5 == 0 ? static_cast<char>(random()) : alphabet[pick(alphabet.size())];
            switch (pick(4)) {
            case 0:
                input.insert(at, 1, c);
                break;
            case 1:
                if (at < input.size())
                    input[at] = c;
                break;
            case 2:
                if (at < input.size())
                    input.erase(at, 1);
                break;
            default:
                input += input.substr(0, pick(input.size() + 1));
            }
        }
        run(input);
        std::string noise(pick(24), ' ');
        for (char &c : noise)
            c = alphabet[pick(alphabet.size())];
        run(noise);
    }
    SUCCEED();
}

} // namespace
} // namespace quiro
