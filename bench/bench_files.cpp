// File catalogue: the look-up by IMDb id against a bare parse of the same
// answer, at a large answer (50,000 files, about 33 MB, just under the 32 MiB
// bound) and at a typical one (10 files, a few KB); then, on the warm heap,
// the table build alone, every getter over the large table, and a look-up
// answered from the table.
#include <cstdio>
#include <string>
#include <vector>

#include <yyjson.h>

#include "api/core.h"
#include "files/files.h"
#include "mvfiles.h"
#include "support/bench.h"

namespace {

// Objects of about 660 bytes with two access entries each, members in the
// service's order.
std::string make_answer(int files) {
    std::string s;
    s.reserve(static_cast<size_t>(files) * 680);
    s += "[";
    char buf[2048];
    for (int i = 0; i < files; i++) {
        std::snprintf(
            buf, sizeof buf,
            "%s{\"key\":\"file-%08d\",\"imDbID\":\"tt%07d\",\"parentKey\":\"p%06d\","
            "\"fileName\":\"T.S%02dE%02d.%05d.mkv\","
            "\"path\":\"/lib/Season %02d/file-%08d.mkv\","
            "\"extension\":\".mkv\",\"subtitleLanguages\":\"en,fr\","
            "\"subtitleLanguageTitles\":\"English,French\","
            "\"created\":\"2024-01-%02d\",\"recordUpdated\":\"2024-02-%02d\","
            "\"size\":%lld,\"durationSeconds\":%d,\"season\":%d,\"episode\":%d,"
            "\"isHDR\":%s,\"isHEVC\":true,\"isDolbyAtmos\":false,\"subtitleCount\":4,"
            "\"audioChannelCount\":6,\"videoWidth\":3840,\"videoHeight\":2160,"
            "\"entries\":[{\"uri\":\"s:a%08d\",\"url\":\"https://cdn/a/%08d\","
            "\"isActive\":true,\"accessSource\":{\"contentSource\":1}},"
            "{\"uri\":\"s:b%08d\",\"isActive\":false,\"accessSource\":{\"contentSource\":2}}]}",
            i ? "," : "", i, i % 9999999, i / 10, i % 20, i % 30, i, i % 20, i, i % 28 + 1,
            i % 28 + 1, 4000000000LL + i, 2700 + i % 600, i % 20, i % 30,
            (i & 1) ? "true" : "false", i, i, i);
        s += buf;
    }
    s += "]";
    return s;
}

volatile int64_t g_sink;

void read_all() {
    int64_t acc = 0;
    int32_t n = mvfiles_count();
    for (int32_t i = 0; i < n; i++) {
        const char *texts[] = {mvfiles_key(i), mvfiles_imdb(i), mvfiles_parent_key(i),
                               mvfiles_filename(i), mvfiles_path(i), mvfiles_extension(i),
                               mvfiles_subtitle_languages(i), mvfiles_subtitle_language_titles(i),
                               mvfiles_created(i), mvfiles_record_updated(i)};
        for (const char *t : texts) acc += t ? t[0] : 0;
        acc += mvfiles_size(i) + mvfiles_duration_seconds(i) + mvfiles_season(i) +
               mvfiles_episode(i) + mvfiles_is_hdr(i) + mvfiles_is_hevc(i) + mvfiles_is_dolby(i) +
               mvfiles_subtitle_count(i) + mvfiles_audio_channels(i) + mvfiles_video_width(i) +
               mvfiles_video_height(i);
        int32_t ne = mvfiles_entry_count(i);
        for (int32_t e = 0; e < ne; e++) {
            const char *u = mvfiles_entry_uri(i, e), *l = mvfiles_entry_url(i, e);
            acc += (u ? u[0] : 0) + (l ? l[0] : 0) + mvfiles_entry_is_active(i, e) +
                   mvfiles_entry_content_source(i, e);
        }
    }
    g_sink = acc;
}

// Season and episode -2 never match the stored key: every call fetches and
// replaces the table.
void lookup() {
    if (mvfiles_get_by_imdb("tt0111161", -2, -2) != MVFILES_OK) bench::fail("files look-up failed");
}

}  // namespace

int main(int argc, char **argv) {
    const int kLarge = 50000, kTypical = 10;
    std::vector<bench::Case> cases(2);
    cases[0] = {"files/large", kLarge, make_answer(kLarge), lookup, true};
    cases[1] = {"files/typical", kTypical, make_answer(kTypical), lookup, false};

    bench::print_header("files: mvfiles_get_by_imdb");
    if (!bench::run_or_profile(argc, argv, cases)) return 0;
    if (argc > 1) return 0;  // a subset of cases: no extras

    // The heap is warm from here on.
    bench::Case &large = cases[0];
    bench::serve(&large.body);
    lookup();
    if (mvfiles_count() != kLarge) bench::fail("the large answer did not give every file");

    std::vector<bench::Runner> rs;
    rs.push_back({"getters", read_all});
    // The table build alone, from an answer parsed once.
    yyjson_doc *doc =
        yyjson_read_opts(const_cast<char *>(large.body.data()), large.body.size(), 0, nullptr, nullptr);
    if (!doc) bench::fail("yyjson could not parse the answer");
    rs.push_back({"index", [doc] {
                      if (mvfiles_files_index(yyjson_doc_get_root(doc)) != 0) bench::fail("table build failed");
                  }});
    bench::race(rs, 15);
    mvfiles_files_free();  // the records point into doc
    yyjson_doc_free(doc);

    if (mvfiles_get_by_imdb("tt0111161", -1, -1) != MVFILES_OK) bench::fail("files look-up failed");
    std::vector<bench::Runner> hit = {{"hit", [] {
                                           if (mvfiles_get_by_imdb("tt0111161", -1, -1) != MVFILES_OK)
                                               bench::fail("cache hit failed");
                                       }}};
    bench::race(hit);
    double hit_allocs = bench::heap_calls_of(hit[0].fn, 1000);

    std::printf("\nWarm heap, large answer (%d files)\n", kLarge);
    std::printf("table build alone:    %10s\n", bench::fmt_time(rs[1].median).c_str());
    std::printf("every getter, all:    %10s\n", bench::fmt_time(rs[0].median).c_str());
    std::printf("cache hit:            %10s  (%.0f allocations)\n", bench::fmt_time(hit[0].median).c_str(),
                hit_allocs);
    mvfiles_shutdown();
    return 0;
}
