// A C heap that fails on demand, for the allocation-failure suites. Link
// support/failalloc.cpp into a test binary (the oom/ suites do) and every
// malloc, calloc and realloc of the process - the library's, yyjson's and
// the C++ runtime's - goes through it. mvtest::Service pauses failing and
// counting while it does its own bookkeeping, so a sweep exercises only the
// library's allocations.
#ifndef MVFILES_TEST_FAILALLOC_H
#define MVFILES_TEST_FAILALLOC_H

#include <cstdint>

namespace mvtest {

// Fail the k-th allocation counted from now (k >= 1), and only that one.
void failalloc_arm(long k);
// Stop failing; returns the number of allocations made since arming.
long failalloc_disarm();
// True when the armed allocation was reached and failed.
bool failalloc_tripped();
// Blocks currently allocated and not yet freed, process-wide.
long failalloc_live();

// Reports a leak through the test framework (defined with the helper).
void check_no_leak(long k, long before, long after);

// Runs op() with the 1st, 2nd, ... allocation failing until a run completes
// without reaching the armed allocation. check(k, result, tripped) judges
// each run; teardown() runs after each check, before the leak test, and
// must release what op() may have kept (tables) so that the live-block
// count returns to its value before op(). Returns the number of runs.
template <typename Op, typename Check, typename Teardown>
long failalloc_sweep(Op op, Check check, Teardown teardown, long max_runs = 200000) {
    long k = 1;
    for (; k <= max_runs; k++) {
        long before = failalloc_live();
        bool tripped;
        {
            failalloc_arm(k);
            auto result = op();
            tripped = failalloc_tripped();
            failalloc_disarm();
            check(k, result, tripped);
        }  // the result is gone before blocks are counted
        teardown();
        long after = failalloc_live();
        check_no_leak(k, before, after);
        if (!tripped) break;
    }
    return k;
}

}  // namespace mvtest

#endif
