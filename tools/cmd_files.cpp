// Commands over the file catalogue: files, keys, playable, file-json.
#include <string>
#include <vector>

#include "cli.h"
#include "json_out.h"
#include "mvfiles.h"
#include "table.h"

namespace mvcli {

namespace {

std::string resolution(int32_t w, int32_t h) {
    if (w <= 0 && h <= 0) return "-";
    return std::to_string(w) + "x" + std::to_string(h);
}

std::string source_text(int32_t s) { return s < 0 ? "?" : std::to_string(s); }

std::string files_table() {
    Table t({">#", "KEY", "FILE NAME", ">SIZE", ">DURATION", "S/E", "HDR", "HEVC", "ATMOS", ">CH",
             "RESOLUTION", ">ENTRIES"});
    int32_t n = mvfiles_count();
    for (int32_t i = 0; i < n; ++i) {
        int32_t entries = mvfiles_entry_count(i);
        t.row({std::to_string(i), safe(mvfiles_key(i)), safe(mvfiles_filename(i)),
               human_size(mvfiles_size(i)), hms(mvfiles_duration_seconds(i)),
               season_episode(mvfiles_season(i), mvfiles_episode(i)), flag_text(mvfiles_is_hdr(i)),
               flag_text(mvfiles_is_hevc(i)), flag_text(mvfiles_is_dolby(i)),
               num_or_dash(mvfiles_audio_channels(i)),
               resolution(mvfiles_video_width(i), mvfiles_video_height(i)), std::to_string(entries)});
        for (int32_t e = 0; e < entries; ++e) {
            std::string line = "      entry " + std::to_string(e) + ": ";
            line += mvfiles_entry_is_active(i, e) == 1 ? "active" : "inactive";
            line += ", source " + source_text(mvfiles_entry_content_source(i, e));
            line += ", uri " + safe(mvfiles_entry_uri(i, e));
            line += ", url " + safe(mvfiles_entry_url(i, e));
            t.note(line);
        }
    }
    if (n == 0) return "no files\n";
    return t.render();
}

void files_json(Json &j) {
    int32_t n = mvfiles_count();
    j.key("count").num(n).key("files").begin_array();
    for (int32_t i = 0; i < n; ++i) {
        j.begin_object()
            .key("index").num(i)
            .key("key").str(mvfiles_key(i))
            .key("imdbId").str(mvfiles_imdb(i))
            .key("parentKey").str(mvfiles_parent_key(i))
            .key("fileName").str(mvfiles_filename(i))
            .key("path").str(mvfiles_path(i))
            .key("extension").str(mvfiles_extension(i))
            .key("size").num(mvfiles_size(i))
            .key("durationSeconds").num(mvfiles_duration_seconds(i))
            .key("season").num_or_null(mvfiles_season(i))
            .key("episode").num_or_null(mvfiles_episode(i))
            .key("hdr").flag(mvfiles_is_hdr(i))
            .key("hevc").flag(mvfiles_is_hevc(i))
            .key("dolbyAtmos").flag(mvfiles_is_dolby(i))
            .key("subtitleCount").num(mvfiles_subtitle_count(i))
            .key("subtitleLanguages").str(mvfiles_subtitle_languages(i))
            .key("subtitleLanguageTitles").str(mvfiles_subtitle_language_titles(i))
            .key("audioChannels").num(mvfiles_audio_channels(i))
            .key("videoWidth").num(mvfiles_video_width(i))
            .key("videoHeight").num(mvfiles_video_height(i))
            .key("created").str(mvfiles_created(i))
            .key("recordUpdated").str(mvfiles_record_updated(i))
            .key("entries").begin_array();
        for (int32_t k = 0; k < mvfiles_entry_count(i); ++k)
            j.begin_object()
                .key("uri").str(mvfiles_entry_uri(i, k))
                .key("url").str(mvfiles_entry_url(i, k))
                .key("active").boolean(mvfiles_entry_is_active(i, k) == 1)
                .key("contentSource").num_or_null(mvfiles_entry_content_source(i, k))
                .end_object();
        j.end_array().end_object();
    }
    j.end_array();
}

void query_se(Json &j, int32_t s, int32_t e) {
    j.key("season").num_or_null(s).key("episode").num_or_null(e);
}

int print_files(Ctx &x, void (*query)(Json &, const Ctx &)) {
    if (!x.g.json) return emit(files_table()) ? 0 : EXIT_IO;
    std::string out;
    Json j(out);
    envelope(j, x);
    j.key("query").begin_object();
    query(j, x);
    j.end_object();
    files_json(j);
    return finish_document(j, out);
}

} // namespace

int run_files(Ctx &x) {
    int32_t s = opt_i32(x, "season", -1), e = opt_i32(x, "episode", -1);
    mvfiles_result r = mvfiles_get_by_imdb(x.a.pos[0].c_str(), s, e);
    if (r != MVFILES_OK) return fail(x, r);
    return print_files(x, [](Json &j, const Ctx &c) {
        j.key("id").str(c.a.pos[0]);
        query_se(j, opt_i32(c, "season", -1), opt_i32(c, "episode", -1));
    });
}

int run_keys(Ctx &x) {
    std::vector<const char *> keys;
    for (const auto &k : x.a.pos) keys.push_back(k.c_str());
    mvfiles_result r = mvfiles_get_by_keys(keys.data(), keys.size());
    if (r != MVFILES_OK) return fail(x, r);
    return print_files(x, [](Json &j, const Ctx &c) {
        j.key("keys").begin_array();
        for (const auto &k : c.a.pos) j.str(k);
        j.end_array();
    });
}

int run_playable(Ctx &x) {
    int32_t s = opt_i32(x, "season", -1), e = opt_i32(x, "episode", -1);
    int32_t r = mvfiles_is_playable_se(x.a.pos[0].c_str(), s, e);
    // -1 is the library's word for a look-up that failed in the transport.
    if (r < 0) return fail(x, MVFILES_ERR_TRANSPORT);
    if (r != 0 && r != 1) return fail(x, r);
    if (!x.g.json) return emit(r ? "playable\n" : "not playable\n") ? 0 : EXIT_IO;
    std::string out;
    Json j(out);
    envelope(j, x);
    j.key("query").begin_object().key("id").str(x.a.pos[0]);
    query_se(j, s, e);
    j.end_object().key("playable").boolean(r == 1);
    // Why a title is not playable: nothing found, or no file with an entry.
    const char *why = mvfiles_last_error();
    j.key("reason");
    if (r == 0 && *why) j.str(why); else j.null();
    return finish_document(j, out);
}

int run_file_json(Ctx &x) {
    int32_t index = parse_i32(x.a.cmd, "INDEX", x.a.pos[1]);
    mvfiles_result r = mvfiles_get_by_imdb(x.a.pos[0].c_str(), -1, -1);
    if (r != MVFILES_OK) return fail(x, r);
    int32_t n = mvfiles_count();
    if (index < 0 || index >= n)
        return fail_msg(x, MVFILES_ERR_ARG,
                        "index " + std::to_string(index) + " out of range (" + x.a.pos[0] + " has " +
                            std::to_string(n) + (n == 1 ? " file)" : " files)"));
    const char *text = mvfiles_file_json(index);
    if (!text) return fail_msg(x, MVFILES_ERR_OOM, "oom: file as JSON");
    std::string out;
    if (!x.g.json) {
        out = text;
        out += '\n';
        return emit(out) ? 0 : EXIT_IO;
    }
    Json j(out);
    envelope(j, x);
    j.key("query").begin_object().key("id").str(x.a.pos[0]).key("index").num(index).end_object();
    j.key("file").raw(text);
    return finish_document(j, out);
}

} // namespace mvcli
