// Shared pieces of the benchmark programs: a host transport that serves one
// prepared answer, a counting heap, the warm-heap switch, timing by medians,
// bare parses of the same bytes by other JSON parsers, and the report.
//
// Every figure compares a look-up with a bare yyjson parse of the same bytes,
// measured in the same process and interleaved with it, so that both share
// the machine's conditions. Times are CPU time of the calling thread (page
// faults included), which other work on a shared machine disturbs far less
// than wall-clock time.
#ifndef MVFILES_BENCH_BENCH_H
#define MVFILES_BENCH_BENCH_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace bench {

// ---- heap ---------------------------------------------------------------

// malloc, calloc and realloc calls made so far by this process (the program
// replaces the C heap's entry points with counting ones; nothing ever fails).
uint64_t heap_calls();

// Minor page faults of this thread so far.
uint64_t minor_faults();

// Switches the C heap to warm-heap mode for the rest of the process: freed
// memory is kept for reuse instead of being handed back to the kernel, so a
// large block costs the same on every parse instead of fresh zeroed pages.
// Returns false when the C library refused the settings.
bool warm_heap();

// ---- transport ----------------------------------------------------------

// Installs a host transport (through an io record) on the origin
// "http://bench.local". It answers every request with status 200, a
// Content-Type and a correct Content-Length, then the body set by
// serve(), in pieces of 64 KiB, as a network transport would; the storages
// look-up's GetAuth request gets a small valid answer instead.
void install_transport();
void serve(const std::string *body);

// ---- timing -------------------------------------------------------------

double cpu_seconds();

// One contender of a race: a callable timed per call.
struct Runner {
    std::string name;
    std::function<void()> fn;
    double budget = 0.25;  // CPU seconds this contender may use for its samples
    // filled by race()
    double median = 0;     // seconds per call
    int samples = 0;
    double faults = 0;     // minor page faults per call
};

// Times the runners round-robin (one sample of each in turn) until each
// has spent its budget, at least 3 and at most max_samples samples. A
// sample repeats the call enough times to last about a millisecond. Before
// timing, the runners are called in up to `settle` rounds, until two
// rounds in a row make no page fault (a warm heap has then reached its peak).
void race(std::vector<Runner> &runners, int max_samples = 31, int settle = 8);

// Allocation calls made by one call of fn (after a first, discarded call).
double heap_calls_of(const std::function<void()> &fn, int calls = 1);

// ---- other parsers ------------------------------------------------------

// Bare parses of the same bytes by the other parsers this build found
// (simdjson, RapidJSON, nlohmann::json), as runners. The bytes must outlive
// the runners.
std::vector<Runner> other_parsers(const std::string &bytes);
// Names of the other parsers, found or not, in report order.
std::vector<std::string> other_parser_names();
// One line on how the other parsers are used.
std::string other_parsers_note();

// A bare yyjson parse and release of the bytes (flags 0, default allocator:
// what every look-up does).
void yyjson_parse(const std::string &bytes);

// ---- report -------------------------------------------------------------

// One answer and the look-up that reads it; the look-up must miss the
// cache on every call and fail the program when it does not succeed.
struct Case {
    std::string name;
    size_t rows = 0;
    std::string body;
    std::function<void()> lookup;
    bool large = false;
    // The look-up parses every row value that holds a JSON object again, as
    // its table requires: the floor then includes those parses.
    bool parses_values = false;
};

// The command line of a benchmark program: no argument runs every case,
// a word runs the cases whose name begins with it, and "--profile CASE N"
// runs N look-ups of that case on the warm heap inside
// bench_profile_region, for callgrind:
//   valgrind --tool=callgrind --collect-atstart=no
//            --toggle-collect=bench_profile_region PROGRAM --profile CASE N
// Otherwise every case is measured cold (the heap as the process found it),
// then on the warm heap together with the collector alone and the other
// parsers, and three tables are printed. Returns false after profiling (the
// program then stops), true after the tables.
bool run_or_profile(int argc, char **argv, std::vector<Case> &cases);

// "12.3 ms", "4.81 us", "88 ns".
std::string fmt_time(double seconds);
std::string fmt_bytes(size_t bytes);

// Prints the title, how the times were taken, and the load average, so
// that readers can judge how busy the machine was while it measured.
void print_header(const char *what, const char *timing = "CPU time of this thread, medians");

// Runs fn n times inside bench_profile_region (never inlined).
void profile(const std::function<void()> &fn, int n);
bool profile_args(int argc, char **argv, std::string *case_name, int *n);

[[noreturn]] void fail(const char *what);

}  // namespace bench

#endif
