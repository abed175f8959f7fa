// libFuzzer entry of one target, named at build time by MVFUZZ_TARGET.
#include <cstdio>
#include <cstdlib>

#include "fuzz/fuzz.h"

void mvfuzz_fail(const char *what, const char *file, int line) {
    std::fprintf(stderr, "%s:%d: wrong answer: %s\n", file, line, what);
    std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    MVFUZZ_TARGET(data, size);
    return 0;
}
