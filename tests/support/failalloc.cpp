// Interposes the C heap of the test binary; the real work is done by the C
// library's own allocator entry points.
#include <cerrno>
#include "support/failalloc.h"

#include <cstddef>

#include <gtest/gtest.h>

extern "C" {
void *__libc_malloc(size_t);
void *__libc_calloc(size_t, size_t);
void *__libc_realloc(void *, size_t);
void __libc_free(void *);
}

namespace {
long g_armed = 0;     // 0: never fail
long g_seen = 0;      // allocations since arming
bool g_tripped = false;
long g_live = 0;
int g_paused = 0;

bool should_fail() {
    if (g_armed == 0 || g_paused) return false;
    if (++g_seen == g_armed) {
        g_tripped = true;
        errno = ENOMEM;  // as the C heap does
        return true;
    }
    return false;
}
}  // namespace

extern "C" {

void *malloc(size_t n) {
    if (should_fail()) return nullptr;
    void *p = __libc_malloc(n);
    if (p && !g_paused) g_live++;
    return p;
}

void *calloc(size_t a, size_t b) {
    if (should_fail()) return nullptr;
    void *p = __libc_calloc(a, b);
    if (p && !g_paused) g_live++;
    return p;
}

void *realloc(void *old, size_t n) {
    if (!old) return malloc(n);
    if (n == 0) {
        free(old);
        return nullptr;
    }
    if (should_fail()) return nullptr;
    return __libc_realloc(old, n);
}

void free(void *p) {
    if (!p) return;
    if (!g_paused) g_live--;
    __libc_free(p);
}

// Test transports pause the heap's failing and counting for their own
// bookkeeping (see service.cpp).
void mvtest_heap_pause(int on) { g_paused = on; }

}  // extern "C"

namespace mvtest {

void failalloc_arm(long k) {
    g_seen = 0;
    g_tripped = false;
    g_armed = k;
}

long failalloc_disarm() {
    g_armed = 0;
    return g_seen;
}

bool failalloc_tripped() { return g_tripped; }

long failalloc_live() { return g_live; }

void check_no_leak(long k, long before, long after) {
    EXPECT_EQ(before, after) << "blocks leaked when allocation " << k << " failed";
}

}  // namespace mvtest
