// Commands over the user's key-value data: playlists, progress, subtitles,
// session-index, storages.
#include <string>

#include "cli.h"
#include "json_out.h"
#include "mvfiles.h"
#include "table.h"

namespace mvcli {

namespace {

int finish_table(const Table &t, const char *none) {
    return emit(t.rows() ? t.render() : std::string(none) + "\n") ? 0 : EXIT_IO;
}

// Season and episode numbers read from a key: negative ones mean "none".
std::string part_num(int32_t v) { return v < 0 ? "-" : std::to_string(v); }

std::string used_of_total(int64_t used, int64_t total) {
    std::string s = human_size(used) + " / " + human_size(total);
    if (total > 0 && used >= 0) s += " (" + percent(static_cast<double>(used) / static_cast<double>(total)) + ")";
    return s;
}

} // namespace

int run_playlists(Ctx &x) {
    const std::string &type = x.a.pos[0];
    mvfiles_result r = mvfiles_get_playlists(nullptr, nullptr, type.c_str());
    if (r != MVFILES_OK) return fail(x, r);
    int32_t n = mvfiles_playlist_count();
    if (x.g.json) {
        std::string out;
        Json j(out);
        envelope(j, x);
        j.key("type").str(type).key("count").num(n).key("playlists").begin_array();
        for (int32_t i = 0; i < n; ++i) {
            j.begin_object().key("index").num(i).key("key").str(mvfiles_playlist_key(i))
                .key("id").num_or_null(mvfiles_playlist_id(i))
                .key("name").str(mvfiles_playlist_name(i))
                .key("logo").str(mvfiles_playlist_logo(i))
                .key("origin").str(mvfiles_playlist_origin(i))
                .key("value").str(mvfiles_playlist_value(i))
                .key("imdbIds").begin_array();
            for (int32_t k = 0; k < mvfiles_playlist_imdb_count(i); ++k) j.str(mvfiles_playlist_imdb(i, k));
            j.end_array().end_object();
        }
        j.end_array();
        return finish_document(j, out);
    }
    Table t({">#", ">ID", "NAME", "ORIGIN", ">IDS", "IMDB IDS"});
    for (int32_t i = 0; i < n; ++i) {
        int64_t id = mvfiles_playlist_id(i);
        int32_t count = mvfiles_playlist_imdb_count(i);
        // Every id, not only those that fit the library's joined text.
        std::string ids;
        for (int32_t k = 0; k < count; ++k) {
            if (k) ids += ',';
            ids += safe(mvfiles_playlist_imdb(i, k), "");
        }
        t.row({std::to_string(i), id < 0 ? "-" : std::to_string(id), safe(mvfiles_playlist_name(i)),
               safe(mvfiles_playlist_origin(i)), std::to_string(count), count ? ids : "-"});
    }
    return finish_table(t, "no playlists");
}

int run_progress(Ctx &x) {
    const std::string *user = x.a.get("user");
    int32_t profile = opt_i32(x, "profile", 0);
    mvfiles_result r = mvfiles_get_progress(user ? user->c_str() : nullptr, profile, x.a.pos[0].c_str());
    if (r != MVFILES_OK) return fail(x, r);
    int32_t n = mvfiles_progress_count();
    if (x.g.json) {
        std::string out;
        Json j(out);
        envelope(j, x);
        j.key("query").begin_object().key("user").str(user ? user->c_str() : nullptr)
            .key("profile").num(profile).key("id").str(x.a.pos[0]).end_object();
        j.key("count").num(n).key("progress").begin_array();
        for (int32_t i = 0; i < n; ++i)
            j.begin_object()
                .key("key").str(mvfiles_progress_key(i))
                .key("season").num_or_null(mvfiles_progress_season(i))
                .key("episode").num_or_null(mvfiles_progress_episode(i))
                .key("size").num(mvfiles_progress_size(i))
                .key("value").real(mvfiles_progress_value(i))
                .end_object();
        j.end_array();
        return finish_document(j, out);
    }
    Table t({"KEY", ">SEASON", ">EPISODE", ">SIZE", ">WATCHED"});
    for (int32_t i = 0; i < n; ++i)
        t.row({safe(mvfiles_progress_key(i)), part_num(mvfiles_progress_season(i)),
               part_num(mvfiles_progress_episode(i)), std::to_string(mvfiles_progress_size(i)),
               percent(mvfiles_progress_value(i))});
    return finish_table(t, "no watch positions");
}

int run_subtitles(Ctx &x) {
    int32_t s = opt_i32(x, "season", -1), e = opt_i32(x, "episode", -1);
    mvfiles_result r = mvfiles_get_external_subtitles(x.a.pos[0].c_str(), s, e);
    if (r != MVFILES_OK) return fail(x, r);
    int32_t n = mvfiles_sub_count();
    if (x.g.json) {
        std::string out;
        Json j(out);
        envelope(j, x);
        j.key("query").begin_object().key("id").str(x.a.pos[0]).key("season").num_or_null(s)
            .key("episode").num_or_null(e).end_object();
        j.key("count").num(n).key("subtitles").begin_array();
        for (int32_t i = 0; i < n; ++i) {
            bool child = mvfiles_sub_is_child(i) == 1;
            j.begin_object()
                .key("id").num(mvfiles_sub_id(i))
                .key("parentId");
            if (child) j.num(mvfiles_sub_parent_id(i)); else j.null();
            j.key("isChild").boolean(child)
                .key("key").str(mvfiles_sub_key(i))
                .key("fileName").str(mvfiles_sub_filename(i))
                .key("label").str(mvfiles_sub_label(i))
                .key("uri").str(mvfiles_sub_uri(i))
                .end_object();
        }
        j.end_array();
        return finish_document(j, out);
    }
    Table t({">ID", ">PARENT", "CHILD", "FILE NAME", "LABEL", "URI"});
    for (int32_t i = 0; i < n; ++i)
        t.row({std::to_string(mvfiles_sub_id(i)), num_or_dash(mvfiles_sub_parent_id(i)),
               mvfiles_sub_is_child(i) == 1 ? "child" : "-", safe(mvfiles_sub_filename(i)),
               safe(mvfiles_sub_label(i)), safe(mvfiles_sub_uri(i))});
    return finish_table(t, "no subtitles");
}

int run_session_index(Ctx &x) {
    const std::string *user = x.a.get("user");
    mvfiles_result r = mvfiles_get_session_index(user ? user->c_str() : nullptr);
    if (r != MVFILES_OK) return fail(x, r);
    int32_t n = mvfiles_sessionix_count();
    if (x.g.json) {
        std::string out;
        Json j(out);
        envelope(j, x);
        j.key("query").begin_object().key("user").str(user ? user->c_str() : nullptr).end_object();
        j.key("count").num(n).key("sessions").begin_array();
        for (int32_t i = 0; i < n; ++i)
            j.begin_object()
                .key("key").str(mvfiles_sessionix_key(i))
                .key("user").str(mvfiles_sessionix_user(i))
                .key("profile").num(mvfiles_sessionix_profile(i))
                .key("imdbId").str(mvfiles_sessionix_imdb(i))
                .key("season").num_or_null(mvfiles_sessionix_season(i))
                .key("episode").num_or_null(mvfiles_sessionix_episode(i))
                .key("size").num(mvfiles_sessionix_size(i))
                .key("sessionKey").str(mvfiles_sessionix_sessionkey(i))
                .end_object();
        j.end_array();
        return finish_document(j, out);
    }
    Table t({"USER", ">PROFILE", "IMDB", ">SEASON", ">EPISODE", ">SIZE", "SESSION KEY"});
    for (int32_t i = 0; i < n; ++i)
        t.row({safe(mvfiles_sessionix_user(i)), std::to_string(mvfiles_sessionix_profile(i)),
               safe(mvfiles_sessionix_imdb(i)), part_num(mvfiles_sessionix_season(i)),
               part_num(mvfiles_sessionix_episode(i)), std::to_string(mvfiles_sessionix_size(i)),
               safe(mvfiles_sessionix_sessionkey(i))});
    return finish_table(t, "no playback sessions");
}

int run_storages(Ctx &x) {
    mvfiles_result r = mvfiles_get_storages();
    if (r != MVFILES_OK) return fail(x, r);
    int32_t n = mvfiles_storage_count();
    if (x.g.json) {
        std::string out;
        Json j(out);
        envelope(j, x);
        j.key("count").num(n).key("storages").begin_array();
        for (int32_t i = 0; i < n; ++i)
            j.begin_object()
                .key("id").str(mvfiles_storage_id(i))
                .key("type").str(mvfiles_storage_type(i))
                .key("email").str(mvfiles_storage_email(i))
                .key("name").str(mvfiles_storage_name(i))
                .key("state").str(mvfiles_storage_state(i))
                .key("total").num(mvfiles_storage_total(i))
                .key("used").num(mvfiles_storage_used(i))
                .key("remaining").num(mvfiles_storage_remaining(i))
                .end_object();
        j.end_array();
        return finish_document(j, out);
    }
    Table t({"ID", "TYPE", "EMAIL", "NAME", "STATE", "USED / TOTAL"});
    for (int32_t i = 0; i < n; ++i)
        t.row({safe(mvfiles_storage_id(i)), safe(mvfiles_storage_type(i)), safe(mvfiles_storage_email(i)),
               safe(mvfiles_storage_name(i)), safe(mvfiles_storage_state(i)),
               used_of_total(mvfiles_storage_used(i), mvfiles_storage_total(i))});
    return finish_table(t, "no storages");
}

} // namespace mvcli
