#include "ParamsFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    quiro::fuzz::runOne(data, size);
    return 0;
}
