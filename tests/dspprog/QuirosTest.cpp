// The DSP program's mailbox, capture, clears and hostile arguments, stepped by hand.

#include "Rig.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

namespace {

using namespace quiro;
using quiros::test::Rig;

constexpr std::uint32_t Sentinel = 0xDEADBEEF;

void fillXfer(Rig &h) {
    for (std::uint32_t i = 0; i < 4096; ++i)
        h.memory.store(dspmem::XferBuf + 4 * i, Sentinel);
}

TEST(Handshake, EveryCommandIsTakenHeldAndReleasedWithItsResultsInPlace) {
    // C tap count 20 and W tap count 12 (not the defaults): C-sized results are 15 words, W 7.
    const struct {
        std::int32_t code;
        int words; // XferBuf words in place once acknowledged
    } cases[] = {{1, 0},  {2, 15}, {4, 0},  {5, 15}, {7, 0},  {8, 0},   {9, 0},   {10, 7},
                 {13, 0}, {14, 0}, {15, 0}, {33, 0}, {34, 0}, {35, 15}, {36, 15}, {37, 15},
                 {81, 0}, {82, 0}, {83, 0}, {0, 0},  {3, 0},  {99, 0},  {-7, 0},  {INT_MAX, 0}};
    Rig h;
    h.setParams(20, 12, 1e-6f, 1e-5f);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.code);
        fillXfer(h);
        h.post(static_cast<Cmd>(c.code));
        EXPECT_EQ(h.getLong(dspmem::CmdAck), 1);
        int words = 0; // up to the first word the command left alone
        while (words < 4096 && h.memory.load(dspmem::XferBuf + 4 * words) != Sentinel)
            ++words;
        EXPECT_EQ(words, c.words);
        h.step(5); // the acknowledgement holds until the PC releases
        EXPECT_EQ(h.getLong(dspmem::CmdAck), 1);
        h.release();
        EXPECT_EQ(h.getLong(dspmem::CmdAck), 0);
        EXPECT_EQ(h.getLong(dspmem::CmdCode), c.code);
    }
}

TEST(Capture, CompletesAfterCTapCountMinusFiveSamples) {
    Rig h;
    h.setParams(16, 16, 1e-6f, 1e-5f); // 11 samples
    const auto pending = [&h] {
        h.send(Cmd::CaptureQuery);
        return h.getLong(dspmem::CmdArg1) != 0;
    };
    EXPECT_TRUE(pending()) << "nothing captured yet";
    h.send(Cmd::CaptureStart);
    for (int i = 0; i < 11; ++i) {
        EXPECT_TRUE(pending()) << "after " << i << " samples";
        h.step(1);
    }
    EXPECT_FALSE(pending());
}

// Each clear zeroes its own filter only; a C step of zero leaves every filter at zero (W's
// filtered reference passes through C2), whatever W's step. C and W get different tap counts,
// each way round, and a filter that holds something reaches its own last tap.
TEST(Clears, EachClearZeroesItsFilterOnlyAndAZeroCStepHoldsEveryModel) {
    const Cmd fetches[] = {Cmd::C1Fetch, Cmd::C2Fetch, Cmd::WFetch};
    const Cmd clears[] = {Cmd::C1Clear, Cmd::C2Clear, Cmd::WClear, Cmd::ModeOff};
    for (int cleared = 0; cleared < 4; ++cleared) {
        Rig h; // every filter gets to hold something first, unless C's step is zero
        const std::int32_t cTaps = cleared % 2 ? 16 : 24, wTaps = 40 - cTaps;
        h.setParams(cTaps, wTaps, cleared < 3 ? 1e-4f : 0.0f, 1e-4f);
        h.runEach({{Cmd::C1IdentStart, 0.3}, {Cmd::C2IdentStart, 0.3}, {Cmd::Mode1, 0.3},
                   {Cmd::Mode2, 0.3}});
        h.send(clears[cleared]);
        for (int f = 0; f < 3; ++f) {
            const auto v = h.fetch(
                fetches[f], static_cast<std::uint32_t>((f == 2 ? wTaps : cTaps) - FetchShortfall));
            const bool zero = f == cleared || cleared == 3;
            EXPECT_EQ(v == std::vector<float>(v.size(), 0.0f), zero) << cleared << " " << f;
            EXPECT_EQ(v.back() == 0.0f, zero) << cleared << " " << f;
        }
    }
}

// Hostile arguments stay inside the arrays, a diverging filter is reset instead of poisoning a
// fetch, and the D filter's count and gain decide whether the excitation is heard (the transfer
// buffer beyond the count holds loud coefficients, which must not be taken).
TEST(Soundness, HostileArgumentsStayInsideTheArraysAndDivergenceIsReset) {
    constexpr float Inf = std::numeric_limits<float>::infinity();
    constexpr float NaN = std::numeric_limits<float>::quiet_NaN();
    const struct {
        std::int32_t cTaps, wTaps, dCount;
        float betaC, betaW, rate, gain;
        bool silent; // while identifying C1
    } cases[] = {
        {-5, 0, -1, NaN, Inf, NaN, Inf, true},
        {INT_MAX, INT_MIN, INT_MAX, 1e30f, 1e30f, 1e9f, 1e30f, false},
        {4101, 4101, 4096, -1.0f, -Inf, -20000.0f, -NaN, true},
        {6, 6, 5000, 1e-6f, 1e-5f, 0.0f, 1.0f, false},
        {16, 16, 3, 1e12f, 1e12f, 20000.0f, 0.5f, false}, // diverges: reset instead of poisoning
        {16, 16, 0, 1e-6f, 1e-5f, 20000.0f, 1.0f, true},  // no D filter
        {16, 16, 3, 1e-6f, 1e-5f, 20000.0f, 0.0f, true},  // D gain 0
    };
    for (const auto &c : cases) {
        Rig h;
        fillXfer(h);
        h.put(dspmem::CmdArg1, c.dCount);
        h.send(Cmd::LoadDFilter);
        h.setParams(c.cTaps, c.wTaps, c.betaC, c.betaW, c.rate);
        h.setFloats(c.gain, c.gain, c.gain, Cmd::SetGains);
        for (Cmd cmd : {Cmd::C1IdentStart, Cmd::IdentStop, Cmd::C2IdentStart, Cmd::IdentStop,
                        Cmd::CaptureStart, Cmd::Mode1, Cmd::Mode2, Cmd::Mode3}) {
            h.send(cmd);
            h.step(300);
            if (cmd == Cmd::C1IdentStart) {
                EXPECT_EQ(h.last.control == 0, c.silent) << c.dCount << " " << c.gain;
            }
        }
        for (Cmd fetch : {Cmd::C1Fetch, Cmd::C2Fetch, Cmd::WFetch, Cmd::CtrlFetch})
            for (float v : h.fetch(fetch, 4096))
                ASSERT_TRUE(std::isfinite(v) || std::bit_cast<std::uint32_t>(v) == Sentinel);
    }
}

} // namespace
