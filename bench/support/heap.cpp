// The C heap of a benchmark program: glibc's allocator, with every malloc,
// calloc and realloc call counted on the way. Nothing is ever failed; free
// needs no wrapper because the blocks are glibc's own.
#include <malloc.h>
#include <sys/resource.h>

#include <cstddef>
#include <cstdint>

#include "support/bench.h"

extern "C" {
void *__libc_malloc(size_t);
void *__libc_calloc(size_t, size_t);
void *__libc_realloc(void *, size_t);
}

namespace {
uint64_t g_calls = 0;  // the programs are single-threaded
}

extern "C" {

void *malloc(size_t n) {
    g_calls++;
    return __libc_malloc(n);
}

void *calloc(size_t a, size_t b) {
    g_calls++;
    return __libc_calloc(a, b);
}

void *realloc(void *p, size_t n) {
    g_calls++;
    return __libc_realloc(p, n);
}

}  // extern "C"

namespace bench {

uint64_t heap_calls() { return g_calls; }

uint64_t minor_faults() {
    rusage r;
    getrusage(RUSAGE_THREAD, &r);
    return static_cast<uint64_t>(r.ru_minflt);
}

// By default glibc serves blocks above its mmap threshold (128 KiB, raised
// on the fly up to 32 MiB) with fresh mappings and unmaps them on free, and
// trims the top of the heap once enough of it is free. A parse of a large
// answer then pays for tens of thousands of page faults each time, which is
// the kernel's cost, not the parser's. Raising both thresholds to 1 GiB
// keeps the pages: the warm heap of a host process that works all day.
// The program sets this itself, after its cold pass, so that it measures
// the same way however it is started.
bool warm_heap() {
    const int big = 1 << 30;
    bool ok = mallopt(M_MMAP_THRESHOLD, big) == 1;
    ok = mallopt(M_TRIM_THRESHOLD, big) == 1 && ok;
    return ok;
}

}  // namespace bench
