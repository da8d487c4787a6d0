// libFuzzer entry point (clang, QUELLON_FUZZ=ON).
#include "ParserFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    quellon::fuzz::runOne(data, size);
    return 0;
}
