// Key-value tables: each look-up (playlists, progress, external subtitles,
// session index, storages) against a bare parse of the same answer, at a
// large answer (100,000 rows, tens of MB) and at a typical one (10 rows),
// and the subtitles at a hostile answer of one name throughout and at one
// whose names all flood one slot of a hash table;
// then, on the warm heap, the subtitle parent linking for 1,000 subtitles of
// one episode and a look-up answered from the rows held.
#include <cstdio>
#include <functional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "kv/kv.h"
#include "mvfiles.h"
#include "support/bench.h"

namespace {

std::string quote(const std::string &s) {
    std::string o = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') o += '\\';
        o += c;
    }
    return o + "\"";
}

// A row as the service writes it: key, value, and the key's parts.
std::string row(const std::string &key, const std::string &value) {
    std::string o = "{\"key\":" + quote(key) + ",\"value\":" + quote(value);
    size_t start = 0;
    for (int i = 0; i < 10 && start != std::string::npos; i++) {
        size_t us = key.find('_', start);
        o += ",\"p" + std::to_string(i) + "\":" +
             quote(key.substr(start, us == std::string::npos ? us : us - start));
        start = us == std::string::npos ? us : us + 1;
    }
    return o + "}";
}

std::string answer(size_t n, const std::function<std::string(size_t)> &make_row) {
    std::string o = "[";
    for (size_t i = 0; i < n; i++) o += (i ? "," : "") + make_row(i);
    return o + "]";
}

// The look-up must succeed and fill its table (read after the call).
void check(mvfiles_result rc, int32_t (*count)(), const char *what) {
    if (rc != MVFILES_OK || count() <= 0) bench::fail(what);
}

// Each look-up alternates between two arguments whose cache keys differ,
// so that every call fetches and replaces the rows and the table.
bool flip() {
    static bool f = false;
    return f = !f;
}

std::string playlist_row(size_t i) {
    std::string k = "RVD_MoviesPlaylist_" + std::to_string(i);
    if (i % 2) return row(k, "tt0111161,tt0944947, tt4154796,tt0068646,tt0120689");
    return row(k, "{\"Id\":" + std::to_string(i) +
                      ",\"Name\":\"List\",\"LogoPath\":\"/l.png\",\"OriginCountry\":\"US\","
                      "\"IMDbIds\":[\"tt0111161\",\"tt0944947\",\"tt4154796\",\"tt0068646\"]}");
}

std::string progress_row(size_t i) {
    return row("RVD_Position_u42_0_tt0111161_" + std::to_string(i % 10) + "_" + std::to_string(i) + "_5400",
               "0.4375");
}

// Ten subtitles per episode of season 1 in the large answer, five in the
// typical one.
std::function<std::string(size_t)> subtitle_row(size_t per_episode) {
    return [per_episode](size_t i) {
        return row("RVD_ExternalSubtitle_tt0944947_1_" + std::to_string(i / per_episode + 1) + "_" +
                       std::to_string(i % per_episode) + ".srt_x",
                   "https://subs.example/tt0944947/" + std::to_string(i) + "/" +
                       std::to_string(i % per_episode) + ".srt");
    };
}

// A hostile answer just under the 32 MiB bound: compact rows of two
// episodes, every subtitle of an episode named alike and its uri one of
// two, so that each one has a parent among all the others.
std::string hostile_subtitles(size_t *rows) {
    std::string o = "[";
    size_t n = 0;
    while (o.size() < 32u * 1024 * 1024 - 256) {
        o += (n ? "," : "");
        o += "{\"key\":\"RVD_ExternalSubtitle_tt0944947_1_" + std::to_string(n % 2 + 1) + "_a.srt_" +
             std::to_string(n) + "\",\"value\":\"h/" + std::to_string(n / 2 % 2) + "/a.srt\",\"p5\":\"a.srt\"}";
        n++;
    }
    *rows = n;
    return o + "]";
}

// Distinct names whose FNV-1a hashes agree in their low 32 bits, so that
// any table of up to 2^32 slots indexed by the low bits puts them in one
// slot. The low 32 bits of FNV-1a depend only on the low 32 bits of its
// state, so two 4-byte blocks that take that state to the same value can be
// swapped for one another: a chain of such pairs gives 2^links names.
std::vector<std::string> flooding_names(size_t count) {
    static const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    const size_t k = sizeof kAlphabet - 1;
    auto step = [](uint32_t h, const std::string &b) {
        for (unsigned char c : b) h = (h ^ c) * 0x1b3u;  // the 64-bit FNV prime's low 32 bits
        return h;
    };
    std::vector<std::pair<std::string, std::string>> links;
    uint32_t state = 0x84222325u;  // the low 32 bits of the 64-bit offset basis
    while ((size_t{1} << links.size()) < count) {
        std::unordered_map<uint32_t, std::string> seen;
        for (size_t i = 0;; i++) {
            std::string b = {kAlphabet[i % k], kAlphabet[i / k % k], kAlphabet[i / k / k % k], kAlphabet[i / k / k / k % k]};
            auto at = seen.emplace(step(state, b), b);
            if (!at.second) {
                links.emplace_back(at.first->second, b);
                state = at.first->first;
                break;
            }
        }
    }
    std::vector<std::string> names(count);
    for (size_t i = 0; i < count; i++)
        for (size_t l = 0; l < links.size(); l++) names[i] += i >> l & 1 ? links[l].second : links[l].first;
    return names;
}

// A hostile answer just under the 32 MiB bound whose uri segments all flood
// one slot of a hash table keyed by the segment: rows of two episodes, each
// subtitle named after the segment of its neighbour's uri.
std::string flooded_subtitles(size_t *rows) {
    const size_t per_row = 200;  // about the size of one row below
    std::vector<std::string> names = flooding_names(32u * 1024 * 1024 / per_row / 2 + 2);
    std::string o = "[";
    size_t n = 0;
    for (;;) {
        const std::string &seg = names[n / 2], &file = names[(n / 2) ^ 1];
        std::string r = std::string(n ? "," : "") + "{\"key\":\"RVD_ExternalSubtitle_tt0944947_1_" +
                        std::to_string(n % 2 + 1) + "_" + file + "\",\"value\":\"h/" + std::to_string(n % 2) +
                        "/" + seg + "\",\"p5\":\"" + file + "\"}";
        if (o.size() + r.size() > 32u * 1024 * 1024 - 256 || (n / 2 | 1) >= names.size()) break;
        o += r;
        n++;
    }
    *rows = n;
    return o + "]";
}

std::string sessionix_row(size_t i) {
    return row("VELTRONA_PlaybackSession_u42_0_tt0944947_1_" + std::to_string(i) + "_2147483648_ps-" +
                   std::to_string(i),
               "");
}

std::string storage_row(size_t i) {
    return row("RVD_ONEDRIVES_u42_" + std::to_string(i),
               "{\"id\":\"b!" + std::to_string(i) +
                   "\",\"driveType\":\"personal\",\"owner\":{\"user\":{\"email\":\"a@x.example\","
                   "\"displayName\":\"Ana\"}},\"quota\":{\"total\":1000,\"used\":250,\"remaining\":750,"
                   "\"state\":\"normal\"}}");
}

void playlists() {
    check(mvfiles_get_playlists(nullptr, nullptr, flip() ? "Movies" : "Series"), mvfiles_playlist_count,
          "playlists look-up failed");
}

void progress() {
    check(mvfiles_get_progress(flip() ? "u42" : "u43", 0, "tt0111161"), mvfiles_progress_count,
          "progress look-up failed");
}

void sessionix() {
    check(mvfiles_get_session_index(flip() ? "u42" : "u43"), mvfiles_sessionix_count,
          "session index look-up failed");
}

void storages() { check(mvfiles_get_storages(), mvfiles_storage_count, "storages look-up failed"); }

}  // namespace

int main(int argc, char **argv) {
    const size_t kLarge = 100000, kTypical = 10;
    auto subtitles = [](int32_t first) {
        return [first] {
            check(mvfiles_get_external_subtitles("tt0944947", 1, flip() ? first : first + 1),
                  mvfiles_sub_count, "subtitles look-up failed");
        };
    };
    std::vector<bench::Case> cases;
    auto add = [&](const char *name, const std::function<std::string(size_t)> &make_row,
                   const std::function<void()> &typical_lookup, const std::function<void()> &large_lookup) {
        cases.push_back({std::string(name) + "/large", kLarge, answer(kLarge, make_row), large_lookup, true});
        cases.push_back({std::string(name) + "/typical", kTypical, answer(kTypical, make_row), typical_lookup,
                         false});
    };
    add("playlists", playlist_row, playlists, playlists);
    cases[0].parses_values = cases[1].parses_values = true;
    add("progress", progress_row, progress, progress);
    // The typical answer holds two episodes; the large one 10,000.
    cases.push_back({"subtitles/large", kLarge, answer(kLarge, subtitle_row(10)), subtitles(7), true});
    cases.push_back({"subtitles/typical", kTypical, answer(kTypical, subtitle_row(5)), subtitles(1), false});
    size_t hostile_rows = 0;
    std::string hostile = hostile_subtitles(&hostile_rows);
    cases.push_back({"subtitles/hostile", hostile_rows, std::move(hostile), subtitles(1), true});
    size_t flooded_rows = 0;
    std::string flooded = flooded_subtitles(&flooded_rows);
    cases.push_back({"subtitles/flooded", flooded_rows, std::move(flooded), subtitles(1), true});
    add("session-index", sessionix_row, sessionix, sessionix);
    add("storages", storage_row, storages, storages);
    cases[10].parses_values = cases[11].parses_values = true;

    bench::print_header("key-value tables: playlists, progress, external subtitles, session index, storages");
    if (!bench::run_or_profile(argc, argv, cases)) return 0;
    if (argc > 1) return 0;  // a subset of cases: no extras

    // Warm heap from here on. Parent linking: 1,000 subtitles of one
    // episode, every one a candidate parent of every other (half of them
    // share a file name).
    std::string linking = answer(1000, [](size_t i) {
        return row("RVD_ExternalSubtitle_tt0944947_1_1_" + std::to_string(i % 500) + ".srt_" + std::to_string(i),
                   "https://subs.example/tt0944947/" + std::to_string(i) + "/" +
                       std::to_string((i + 1) % 500) + ".srt");
    });
    bench::serve(&linking);
    if (mvfiles_kv_fetch("bench", "RVD_ExternalSubtitle_tt0944947") != MVFILES_OK) bench::fail("kv fetch failed");
    std::vector<bench::Runner> link = {{"link", [] {
                                            if (mvfiles_index_subs("tt0944947", 1, 1) != 0)
                                                bench::fail("subtitle table build failed");
                                        }}};
    bench::race(link, 15);
    int children = 0;
    for (int32_t i = 0; i < mvfiles_sub_count(); i++) children += mvfiles_sub_is_child(i);

    // A look-up answered from the rows held: the same progress call twice.
    bench::serve(&cases[3].body);  // progress, typical
    check(mvfiles_get_progress("u42", 0, "tt0111161"), mvfiles_progress_count, "progress look-up failed");
    std::vector<bench::Runner> hit = {{"hit", [] {
                                           check(mvfiles_get_progress("u42", 0, "tt0111161"),
                                                 mvfiles_progress_count, "progress cache hit failed");
                                       }}};
    bench::race(hit);
    double hit_allocs = bench::heap_calls_of(hit[0].fn, 1000);

    std::printf("\nWarm heap\n");
    std::printf("subtitle linking, 1000 subtitles of one episode: %10s  (%d children)\n",
                bench::fmt_time(link[0].median).c_str(), children);
    std::printf("cache hit (progress):                            %10s  (%.0f allocations)\n",
                bench::fmt_time(hit[0].median).c_str(), hit_allocs);
    mvfiles_shutdown();
    return 0;
}
