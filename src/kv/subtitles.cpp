// External subtitles: every subtitle row of a title is fetched, the rows of
// the requested episode are kept and linked to the subtitle they derive from.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "api/util.h"
#include "kv/kv.h"

namespace {

const char *last_segment(const char *uri) {
    const char *slash = std::strrchr(uri, '/');
    return slash ? slash + 1 : uri;
}

// A record derives from another when the other's uri differs from its own
// and ends in a path segment equal to its file name; the last such record
// in table order is its parent. Compared pair by pair for a few records.
void link_pairwise(mvfiles_subtitle *t, uint64_t n) {
    for (uint64_t k = 0; k < n; k++) {
        if (!t[k].uri) continue;
        const char *seg = last_segment(t[k].uri);
        for (uint64_t i = 0; i < n; i++) {
            if (i == k || !t[i].filename || !t[i].uri) continue;
            if (std::strcmp(seg, t[i].filename) != 0) continue;
            if (std::strcmp(t[i].uri, t[k].uri) == 0) continue;
            t[i].is_child = 1;
            t[i].parent_id = t[k].id;
        }
    }
}

// The same parents in linear time. For each last segment, last[0] is the
// last record ending in it and last[1] the last one ending in it whose uri
// differs from last[0]'s. A record's parent is the last candidate whose uri
// differs from its own: last[0] when that uri differs, else last[1].
struct SegmentSlot {
    const char *seg;  // NULL: slot free
    size_t len;
    uint64_t hash;
    uint64_t last[2];  // record indexes; n for none
};

uint64_t hash_bytes(const char *s, size_t n) {
    uint64_t h = 1469598103934665603ull;  // FNV-1a
    for (size_t i = 0; i < n; i++) h = (h ^ static_cast<unsigned char>(s[i])) * 1099511628211ull;
    return h;
}

SegmentSlot *find_slot(SegmentSlot *slots, size_t mask, const char *s, size_t len, uint64_t h) {
    for (size_t at = static_cast<size_t>(h) & mask;; at = (at + 1) & mask) {
        SegmentSlot &e = slots[at];
        if (!e.seg || (e.hash == h && e.len == len && std::memcmp(e.seg, s, len) == 0)) return &e;
    }
}

// False when memory for the index runs out: linking many records pair by
// pair instead could block the caller for minutes.
bool link_parents(mvfiles_subtitle *t, uint64_t n) {
    if (n <= 32) {
        link_pairwise(t, n);
        return true;
    }
    size_t cap = 64;
    while (cap < 2 * n && cap < SIZE_MAX / (2 * sizeof(SegmentSlot))) cap *= 2;
    auto *slots = static_cast<SegmentSlot *>(std::calloc(cap, sizeof(SegmentSlot)));
    if (!slots) return false;
    const size_t mask = cap - 1;
    for (uint64_t k = 0; k < n; k++) {
        if (!t[k].uri) continue;
        const char *seg = last_segment(t[k].uri);
        size_t len = std::strlen(seg);
        uint64_t h = hash_bytes(seg, len);
        SegmentSlot *e = find_slot(slots, mask, seg, len, h);
        if (!e->seg) *e = SegmentSlot{seg, len, h, {n, n}};
        // The new last record; the old one stays the runner-up when the
        // uris differ, else the runner-up keeps its place.
        if (e->last[0] != n && std::strcmp(t[e->last[0]].uri, t[k].uri) != 0) e->last[1] = e->last[0];
        e->last[0] = k;
    }
    for (uint64_t i = 0; i < n; i++) {
        if (!t[i].filename || !t[i].uri) continue;
        size_t len = std::strlen(t[i].filename);
        const SegmentSlot *e = find_slot(slots, mask, t[i].filename, len, hash_bytes(t[i].filename, len));
        if (!e->seg) continue;
        uint64_t p = std::strcmp(t[e->last[0]].uri, t[i].uri) != 0 ? e->last[0] : e->last[1];
        if (p == n) continue;
        t[i].is_child = 1;
        t[i].parent_id = t[p].id;
    }
    std::free(slots);
    return true;
}

// Keys are RVD_ExternalSubtitle_<imdb>_<season>_<episode>_<label> (KEY
// LAYOUTS in mvfiles.h): the label is whatever follows the episode's
// prefix, and p5, the label's first part, is taken as the file name. Keeps
// the rows of one episode.
struct EpisodeRows {
    // Room for the longest prefix the look-up lets through, so it is never cut.
    char prefix[192];
    size_t len = 0;
    bool usable;

    EpisodeRows(const char *imdb, int32_t season, int32_t episode) noexcept {
        mvfiles_text t(prefix, sizeof prefix);
        t.add("RVD_ExternalSubtitle_").add(imdb ? imdb : "").add("_").add(season).add("_");
        t.add(episode).add("_");
        usable = t.whole();
        if (usable) len = t.length();
    }

    bool operator()(mvfiles_subtitle &s, const mvfiles_kv_row &row) const noexcept {
        if (!usable || !row.key || std::strncmp(row.key, prefix, len) != 0) return false;
        s = mvfiles_subtitle{};
        s.key = row.key;
        s.uri = row.value;
        s.label = row.key + len;
        s.filename = row.p[5];
        s.id = mvfiles_stable_hash_impl(row.key, std::strlen(row.key));
        return true;
    }
};

}  // namespace

int32_t mvfiles_index_subs(const char *imdb, int32_t season, int32_t episode) noexcept {
    EpisodeRows keep(imdb, season, episode);
    // Most rows belong to other episodes: only the records kept are written.
    auto *table = mvfiles_kv_new_table<mvfiles_subtitle>(false);
    if (!table) return -1;
    uint64_t kept = 0;
    for (uint64_t i = 0; i < g_sf.kv_count; i++)
        if (keep(table[kept], g_sf.kv_rows[i])) kept++;
    if (!link_parents(table, kept)) {
        std::free(table);
        return -1;
    }
    std::free(g_sf.subtitles);
    g_sf.subtitles = table;
    g_sf.subtitle_count = kept;
    return 0;
}

mvfiles_result mvfiles_get_external_subtitles(const char *imdb_id, int32_t season,
                                              int32_t episode) noexcept {
    if (mvfiles_result rc = mvfiles_lookup_prologue()) return rc;
    if (!imdb_id || !*imdb_id) return mvfiles_fail(MVFILES_ERR_ARG, "imdb id required");
    char prefix[128];
    // A cut prefix would fetch the subtitles of other titles.
    if (!mvfiles_text(prefix, sizeof prefix).add("RVD_ExternalSubtitle_").add(imdb_id).whole()) {
        return mvfiles_fail(MVFILES_ERR_ARG, "subtitles: key prefix too long (at most %zu bytes)",
                            sizeof prefix - 1);
    }
    char key[160];
    mvfiles_text(key, sizeof key).add("subs|").add(imdb_id).add("|").add(season).add("|").add(episode);
    return mvfiles_kv_lookup(key, prefix, g_sf.subtitles, g_sf.subtitle_count,
                             EpisodeRows(imdb_id, season, episode), link_parents, "oom: subtitles");
}

int32_t mvfiles_sub_count(void) noexcept { return static_cast<int32_t>(g_sf.subtitle_count); }

const char *mvfiles_sub_key(int32_t i) noexcept {
    return mvfiles_kv_index_ok(i, g_sf.subtitle_count) ? g_sf.subtitles[i].key : nullptr;
}

const char *mvfiles_sub_uri(int32_t i) noexcept {
    return mvfiles_kv_index_ok(i, g_sf.subtitle_count) ? g_sf.subtitles[i].uri : nullptr;
}

const char *mvfiles_sub_label(int32_t i) noexcept {
    return mvfiles_kv_index_ok(i, g_sf.subtitle_count) ? g_sf.subtitles[i].label : nullptr;
}

const char *mvfiles_sub_filename(int32_t i) noexcept {
    return mvfiles_kv_index_ok(i, g_sf.subtitle_count) ? g_sf.subtitles[i].filename : nullptr;
}

const char *mvfiles_sub_updated(int32_t i) noexcept {
    return mvfiles_kv_index_ok(i, g_sf.subtitle_count) ? g_sf.subtitles[i].updated : nullptr;
}

int64_t mvfiles_sub_id(int32_t i) noexcept {
    return mvfiles_kv_index_ok(i, g_sf.subtitle_count) ? g_sf.subtitles[i].id : 0;
}

int64_t mvfiles_sub_parent_id(int32_t i) noexcept {
    return mvfiles_kv_index_ok(i, g_sf.subtitle_count) ? g_sf.subtitles[i].parent_id : 0;
}

int32_t mvfiles_sub_enabled(int32_t i) noexcept {
    return mvfiles_kv_index_ok(i, g_sf.subtitle_count) ? g_sf.subtitles[i].enabled : 0;
}

int32_t mvfiles_sub_is_child(int32_t i) noexcept {
    return mvfiles_kv_index_ok(i, g_sf.subtitle_count) ? g_sf.subtitles[i].is_child : 0;
}
