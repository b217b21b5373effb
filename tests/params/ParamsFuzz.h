#pragma once
// One fuzz input through the number conversions and the coefficient-file reader, checking what
// must hold for any input. A broken property aborts, which both libFuzzer and GoogleTest report.

#include <cstddef>
#include <cstdint>

namespace quiro::fuzz {

void runOne(const std::uint8_t *data, std::size_t size);

} // namespace quiro::fuzz
