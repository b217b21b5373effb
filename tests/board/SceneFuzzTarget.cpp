#include "SceneFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    kesto::fuzz::runScene(data, size);
    return 0;
}
