#pragma once
// One input through the number conversions and the coefficient-file reader; a broken property
// aborts, which both libFuzzer and GoogleTest report.
#include <cstddef>
#include <cstdint>

namespace quiro::fuzz {
void runOne(const std::uint8_t *data, std::size_t size);
}
