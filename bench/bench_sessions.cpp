// Playback sessions: the POST look-up by ids against a bare parse of the
// same answer, at a large answer (300,000 rows, about 25 MB) and at a typical
// one (10 rows); then a look-up answered from the table.
#include <cstdio>
#include <string>
#include <vector>

#include "mvfiles.h"
#include "support/bench.h"

namespace {

std::string make_answer(size_t rows) {
    std::string s = "[";
    char buf[256];
    for (size_t i = 0; i < rows; i++) {
        std::snprintf(buf, sizeof buf,
                      "%s{\"id\":\"ps-%08zu\",\"created\":\"2024-05-%02zuT12:%02zu:00Z\",\"value\":\"%s\"}",
                      i ? "," : "", i, i % 28 + 1, i % 60, (i & 1) ? "1011001110" : "0100110001");
        s += buf;
    }
    return s + "]";
}

// Alternating ids: every call misses the cache, fetches and replaces the
// table.
void lookup() {
    static bool flip = false;
    flip = !flip;
    if (mvfiles_get_playback_sessions(flip ? "ps-a" : "ps-b") != MVFILES_OK || mvfiles_session_count() <= 0)
        bench::fail("sessions look-up failed");
}

}  // namespace

int main(int argc, char **argv) {
    const size_t kLarge = 300000, kTypical = 10;
    std::vector<bench::Case> cases(2);
    cases[0] = {"sessions/large", kLarge, make_answer(kLarge), lookup, true};
    cases[1] = {"sessions/typical", kTypical, make_answer(kTypical), lookup, false};

    bench::print_header("playback sessions: mvfiles_get_playback_sessions");
    if (!bench::run_or_profile(argc, argv, cases)) return 0;
    if (argc > 1) return 0;  // a subset of cases: no extras

    bench::serve(&cases[1].body);
    if (mvfiles_get_playback_sessions("ps-a") != MVFILES_OK) bench::fail("sessions look-up failed");
    std::vector<bench::Runner> hit = {{"hit", [] {
                                           if (mvfiles_get_playback_sessions("ps-a") != MVFILES_OK)
                                               bench::fail("sessions cache hit failed");
                                       }}};
    bench::race(hit);
    double hit_allocs = bench::heap_calls_of(hit[0].fn, 1000);
    std::printf("\nWarm heap\ncache hit:            %10s  (%.0f allocations)\n",
                bench::fmt_time(hit[0].median).c_str(), hit_allocs);
    mvfiles_shutdown();
    return 0;
}
