// Transport, timing and report shared by the benchmark programs.
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <yyjson.h>

#include "api/members.h"
#include "http/buf.h"
#include "mvfiles.h"
#include "support/bench.h"

namespace bench {

// ---- transport ----------------------------------------------------------

namespace {

const std::string *g_body = nullptr;
char g_length[32] = "0";  // its Content-Length, formatted once
const char kAuth[] = "eyJvayI6dHJ1ZX0=";  // base64 of {"ok":true}
const size_t kPiece = 64 * 1024;

int32_t serve_request(void *, const veltrona_http_request *req, int32_t *status, char **err) {
    *err = nullptr;
    *status = 200;
    bool auth = req->url && std::strstr(req->url, "name=GetAuth") != nullptr;
    const char *data = auth ? kAuth : g_body ? g_body->data() : "";
    size_t len = auth ? sizeof kAuth - 1 : g_body ? g_body->size() : 0;
    const char *length = auth ? "16" : g_length;
    if (req->on_header &&
        (req->on_header(req->cb_ctx, ":status", "200") != 0 ||
         req->on_header(req->cb_ctx, "Content-Type", "application/json; charset=utf-8") != 0 ||
         req->on_header(req->cb_ctx, "Content-Length", length) != 0))
        return 0;
    if (!req->on_body) return 0;
    for (size_t off = 0; off < len; off += kPiece)
        if (req->on_body(req->cb_ctx, data + off, std::min(kPiece, len - off)) != 0) break;
    return 0;
}

void free_text(void *, char *text) { std::free(text); }

veltrona_http g_http = {VELTRONA_HTTP_SIZE, VELTRONA_HTTP_VERSION, nullptr, serve_request, free_text};
veltrona_io_ctx g_ctx = {VELTRONA_IO_MAGIC, VELTRONA_IO_CTX_SIZE, &g_http, 0};
veltrona_io g_io = {&g_ctx, nullptr, nullptr, nullptr};

}  // namespace

void install_transport() {
    mvfiles_set_host("http://bench.local");
    if (mvfiles_set_io(&g_io) != MVFILES_OK) fail("the bench transport was refused");
}

void serve(const std::string *body) {
    g_body = body;
    std::snprintf(g_length, sizeof g_length, "%zu", body ? body->size() : 0);
}

void fail(const char *what) {
    std::fprintf(stderr, "bench: %s (last error: %s)\n", what, mvfiles_last_error());
    std::exit(1);
}

// ---- timing -------------------------------------------------------------

double cpu_seconds() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

namespace {

double median_of(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

void race(std::vector<Runner> &runners, int max_samples, int settle) {
    struct State {
        long batch = 1;
        double spent = 0;
        uint64_t faults = 0, calls = 0;
        std::vector<double> t;
        bool done = false;
    };
    std::vector<State> st(runners.size());
    // Settling: on a warm heap the first rounds still grow the heap to the
    // peak that the runners together need; timing starts once two rounds in
    // a row ran without a page fault (look-ups that alternate arguments may
    // place their blocks differently every other call), or after `settle`
    // rounds.
    for (int round = 1, quiet = 0; round < settle && quiet < 2; round++) {
        uint64_t f = minor_faults();
        for (Runner &r : runners) r.fn();
        quiet = minor_faults() == f ? quiet + 1 : 0;
    }
    // Warm-up, which also sizes each sample to about a millisecond.
    for (size_t i = 0; i < runners.size(); i++) {
        long calls = 0;
        double a = cpu_seconds(), el = 0;
        do {
            runners[i].fn();
            calls++;
            el = cpu_seconds() - a;
        } while (el < 2e-3);
        double per = el / calls;
        st[i].batch = std::max(1L, std::min(1000000L, std::lround(1e-3 / per)));
    }
    for (bool busy = true; busy;) {
        busy = false;
        for (size_t i = 0; i < runners.size(); i++) {
            State &s = st[i];
            if (s.done) continue;
            uint64_t f = minor_faults();
            double a = cpu_seconds();
            for (long b = 0; b < s.batch; b++) runners[i].fn();
            double el = cpu_seconds() - a;
            s.faults += minor_faults() - f;
            s.calls += static_cast<uint64_t>(s.batch);
            s.t.push_back(el / s.batch);
            s.spent += el;
            int n = static_cast<int>(s.t.size());
            s.done = n >= max_samples || (n >= 3 && s.spent >= runners[i].budget);
            busy = busy || !s.done;
        }
    }
    for (size_t i = 0; i < runners.size(); i++) {
        runners[i].median = median_of(st[i].t);
        runners[i].samples = static_cast<int>(st[i].t.size());
        runners[i].faults = static_cast<double>(st[i].faults) / static_cast<double>(st[i].calls);
    }
}

double heap_calls_of(const std::function<void()> &fn, int calls) {
    fn();
    uint64_t before = heap_calls();
    for (int i = 0; i < calls; i++) fn();
    return static_cast<double>(heap_calls() - before) / calls;
}

void yyjson_parse(const std::string &bytes) {
    yyjson_doc *d = yyjson_read_opts(const_cast<char *>(bytes.data()), bytes.size(), 0, nullptr, nullptr);
    if (!d) fail("yyjson could not parse the answer");
    yyjson_doc_free(d);
}

// ---- report -------------------------------------------------------------

std::string fmt_time(double s) {
    char b[32];
    if (s >= 1e-3)
        std::snprintf(b, sizeof b, "%.2f ms", s * 1e3);
    else if (s >= 1e-6)
        std::snprintf(b, sizeof b, "%.2f us", s * 1e6);
    else
        std::snprintf(b, sizeof b, "%.0f ns", s * 1e9);
    return b;
}

std::string fmt_bytes(size_t n) {
    char b[32];
    if (n >= 1000000)
        std::snprintf(b, sizeof b, "%.1f MB", n / 1e6);
    else
        std::snprintf(b, sizeof b, "%.1f KB", n / 1e3);
    return b;
}

void print_header(const char *what, const char *timing) {
    char load[64] = "?";
    if (FILE *f = std::fopen("/proc/loadavg", "r")) {
        if (!std::fgets(load, sizeof load, f)) std::snprintf(load, sizeof load, "?");
        std::fclose(f);
        load[std::strcspn(load, "\n")] = 0;
    }
    std::printf("== %s ==\n", what);
    std::printf("%s; load average at start: %s\n", timing, load);
}

namespace {

struct Measured {
    double parse = 0, lookup = 0, collect = 0, copy = 0, walk = 0, values = 0, allocs = 0;
    double faults_parse = 0, faults_lookup = 0;
    double parse_again = 0;      // the bare yyjson parse raced against the other parsers
    std::vector<double> others;  // per other_parser_names(); < 0 when missing
};

// The collector alone, fed the same length and pieces as the look-up gets.
void collect_only(const std::string &body) {
    veltrona_collect c;
    veltrona_collect_init(&c, 33554432u);
    veltrona_collect_header(&c, "Content-Length", std::to_string(body.size()).c_str());
    for (size_t off = 0; off < body.size(); off += kPiece)
        veltrona_collect_body(&c, body.data() + off, std::min(kPiece, body.size() - off));
    veltrona_collect_free(&c);
}

// What collecting cannot go below: the pieces copied once into a block
// allocated at the answer's size.
void copy_once(const std::string &body) {
    char *p = static_cast<char *>(std::malloc(body.size() + 1));
    if (!p) fail("out of memory");
    for (size_t off = 0; off < body.size(); off += kPiece)
        std::memcpy(p + off, body.data() + off, std::min(kPiece, body.size() - off));
    p[body.size()] = 0;
    std::free(p);
}

volatile uint64_t g_sink;

// Every value of a parsed answer visited once, in document order, and the
// first and last byte of every member's key read: what any table build that
// must recognise the members it reads at least does. It steps through the
// members the way the library's readers do.
uint64_t walk(yyjson_val *v) {
    if (!unsafe_yyjson_is_ctn(v)) return unsafe_yyjson_get_tag(v);
    uint64_t acc = 0;
    size_t n = unsafe_yyjson_get_len(v);
    yyjson_val *c = unsafe_yyjson_get_first(v);
    if (unsafe_yyjson_is_obj(v)) {
        for (; n; n--) {
            size_t len = unsafe_yyjson_get_len(c);
            const char *k = unsafe_yyjson_get_str(c);
            acc += len ? static_cast<unsigned char>(k[0]) + static_cast<unsigned char>(k[len - 1]) : 0;
            acc += walk(c + 1);
            c = mvfiles_members::next_key(c + 1);
        }
    } else {
        for (; n; n--, c = unsafe_yyjson_get_next(c)) acc += walk(c);
    }
    return acc;
}

// The row values that hold a JSON object, which a table that reads such
// values parses once more each.
std::vector<std::string> object_values(yyjson_val *root) {
    std::vector<std::string> out;
    size_t idx, max;
    yyjson_val *el;
    yyjson_arr_foreach(root, idx, max, el) {
        const char *v = yyjson_get_str(yyjson_obj_get(el, "value"));
        if (v && *v == '{') out.push_back(v);
    }
    return out;
}

void parse_values(const std::vector<std::string> &values) {
    for (const std::string &v : values) yyjson_parse(v);
}

Measured measure(Case &c, bool warm) {
    serve(&c.body);
    double unit = c.large ? 1.0 : 0.25;
    auto parse = [&c] { yyjson_parse(c.body); };
    std::vector<Runner> rs;
    rs.push_back({"yyjson", parse, 0.25 * unit});
    rs.push_back({"look-up", c.lookup, 0.25 * unit});
    if (warm) {
        rs.push_back({"collect", [&c] { collect_only(c.body); }, 0.1 * unit});
        rs.push_back({"copy", [&c] { copy_once(c.body); }, 0.1 * unit});
    }
    race(rs, 31, warm ? 12 : 1);
    Measured m;
    m.parse = rs[0].median;
    m.lookup = rs[1].median;
    m.faults_parse = rs[0].faults;
    m.faults_lookup = rs[1].faults;
    if (!warm) return m;
    m.collect = rs[2].median;
    m.copy = rs[3].median;
    m.allocs = heap_calls_of(c.lookup, c.large ? 1 : 10);

    // The other parsers race a bare yyjson parse of their own, apart from
    // the look-up: their heaps are shaped differently and would disturb the
    // settled heap of the look-up.
    yyjson_doc *doc = yyjson_read_opts(const_cast<char *>(c.body.data()), c.body.size(), 0, nullptr, nullptr);
    if (!doc) fail("yyjson could not parse the answer");
    std::vector<std::string> values;
    if (c.parses_values) values = object_values(yyjson_doc_get_root(doc));
    std::vector<Runner> others = {{"yyjson", parse, 0.15 * unit},
                                  {"walk", [doc] { g_sink = walk(yyjson_doc_get_root(doc)); }, 0.1 * unit}};
    if (!values.empty()) others.push_back({"values", [&values] { parse_values(values); }, 0.1 * unit});
    for (Runner &r : other_parsers(c.body)) {
        r.budget = 0.15 * unit;
        others.push_back(r);
    }
    race(others, 31, 1);
    yyjson_doc_free(doc);
    m.parse_again = others[0].median;
    m.walk = others[1].median;
    for (const Runner &r : others)
        if (r.name == "values") m.values = r.median;
    for (const std::string &n : other_parser_names()) {
        double t = -1;
        for (const Runner &r : others)
            if (r.name == n) t = r.median;
        m.others.push_back(t);
    }
    return m;
}

}  // namespace

bool run_or_profile(int argc, char **argv, std::vector<Case> &cases) {
    std::string only = argc > 1 && std::strcmp(argv[1], "--profile") != 0 ? argv[1] : "";
    install_transport();

    std::string pname;
    int pn = 0;
    if (profile_args(argc, argv, &pname, &pn)) {
        for (Case &c : cases) {
            if (c.name != pname) continue;
            if (!warm_heap()) fail("the C library refused the warm-heap settings");
            serve(&c.body);
            c.lookup();  // the table that the first profiled call releases
            profile(c.lookup, pn);
            return false;
        }
        std::string known;
        for (const Case &c : cases) known += " " + c.name;
        std::fprintf(stderr, "bench: no case %s; cases:%s\n", pname.c_str(), known.c_str());
        std::exit(2);
    }

    std::vector<Case *> sel;
    for (Case &c : cases)
        if (only.empty() || c.name.compare(0, only.size(), only) == 0) sel.push_back(&c);

    // Cold first: once the thresholds are raised there is no way back. The
    // typical answers go before the large ones, which leave the default heap
    // in a state of their own (glibc moves its thresholds as it goes).
    std::vector<Measured> cold(sel.size()), warm;
    for (int large = 0; large < 2; large++)
        for (size_t i = 0; i < sel.size(); i++)
            if (sel[i]->large == (large == 1)) cold[i] = measure(*sel[i], false);
    bool warmed = warm_heap();
    for (Case *c : sel) warm.push_back(measure(*c, true));

    std::printf("\nWarm heap%s: look-up against a bare yyjson parse of the same answer\n",
                warmed ? "" : " NOT AVAILABLE (the C library refused the settings; figures are cold)");
    std::printf("%-22s %7s %9s %10s %10s %6s %6s %8s %10s %9s\n", "case", "rows", "answer", "yyjson",
                "look-up", "ratio", "floor", "MB/s", "allocs", "faults");
    for (size_t i = 0; i < sel.size(); i++) {
        const Case &c = *sel[i];
        const Measured &m = warm[i];
        double floor = (m.parse_again + m.copy + m.walk + m.values) / m.parse_again;
        std::printf("%-22s %7zu %9s %10s %10s %6.2f %6.2f %8.0f %10.0f %9.1f\n", c.name.c_str(), c.rows,
                    fmt_bytes(c.body.size()).c_str(), fmt_time(m.parse).c_str(),
                    fmt_time(m.lookup).c_str(), m.lookup / m.parse, floor,
                    c.body.size() / m.lookup / 1e6, m.allocs, m.faults_lookup);
    }
    std::printf("  ratio = look-up / bare parse; floor = (bare parse + copy + walk + values) / bare parse,\n"
                "  from the second table: what no look-up can go below; MB/s = answer bytes (1e6) per second\n"
                "  of look-up; allocs = malloc/calloc/realloc calls per look-up; faults = minor page faults\n"
                "  per look-up\n");

    std::vector<std::string> names = other_parser_names();
    std::printf("\nWarm heap, same answer bytes: parts and floors of a look-up, and bare parses by other parsers\n");
    std::printf("%-22s %10s %10s %10s %10s %10s", "case", "collect", "copy", "walk", "values", "yyjson");
    for (const std::string &n : names) std::printf(" %17s", n.c_str());
    std::printf("\n");
    for (size_t i = 0; i < sel.size(); i++) {
        const Measured &m = warm[i];
        std::printf("%-22s %10s %10s %10s %10s %10s", sel[i]->name.c_str(), fmt_time(m.collect).c_str(),
                    fmt_time(m.copy).c_str(), fmt_time(m.walk).c_str(),
                    m.values > 0 ? fmt_time(m.values).c_str() : "-", fmt_time(m.parse_again).c_str());
        for (double t : m.others) {
            if (t < 0) {
                std::printf(" %17s", "(not built)");
            } else {
                char cell[48];
                std::snprintf(cell, sizeof cell, "%s %5.2fx", fmt_time(t).c_str(), t / m.parse_again);
                std::printf(" %17s", cell);
            }
        }
        std::printf("\n");
    }
    std::printf("  collect = the answer's Content-Length and then its 64 KiB pieces fed to the response collector;\n"
                "  copy = the same pieces copied once into a block of the answer's size (the floor of collecting);\n"
                "  walk = every value of the parsed answer visited once and every key's ends read (the floor\n"
                "  of a table build); values = the row values holding a JSON object parsed again, as the\n"
                "  playlist and storage tables must;\n"
                "  yyjson here: raced again against the other parsers, apart from the look-up; Nx = time / that;\n"
                "  %s\n",
                other_parsers_note().c_str());

    std::printf("\nCold heap (the C library's default settings, measured first: typical answers, then large)\n");
    std::printf("%-22s %10s %10s %6s %13s %14s\n", "case", "yyjson", "look-up", "ratio", "faults/parse",
                "faults/look-up");
    for (size_t i = 0; i < sel.size(); i++) {
        const Measured &m = cold[i];
        std::printf("%-22s %10s %10s %6.2f %13.1f %14.1f\n", sel[i]->name.c_str(), fmt_time(m.parse).c_str(),
                    fmt_time(m.lookup).c_str(), m.lookup / m.parse, m.faults_parse, m.faults_lookup);
    }
    return true;
}

// ---- profiling ----------------------------------------------------------

}  // namespace bench

extern "C" __attribute__((noinline)) void bench_profile_region(const std::function<void()> *fn, int n) {
    for (int i = 0; i < n; i++) (*fn)();
    __asm__ volatile("" ::: "memory");
}

namespace bench {

void profile(const std::function<void()> &fn, int n) { bench_profile_region(&fn, n); }

bool profile_args(int argc, char **argv, std::string *case_name, int *n) {
    if (argc < 3 || std::strcmp(argv[1], "--profile") != 0) return false;
    *case_name = argv[2];
    *n = argc > 3 ? std::atoi(argv[3]) : 1;
    if (*n < 1) *n = 1;
    return true;
}

}  // namespace bench
