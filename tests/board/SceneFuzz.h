#pragma once
// One input through the scene reader: the bytes split at 0x1F into scene.ini and the four responses,
// written to a directory and loaded. A broken property aborts, which libFuzzer and GoogleTest report.
#include <cstddef>
#include <cstdint>

namespace kesto::fuzz {
void runScene(const std::uint8_t *data, std::size_t size);
}
