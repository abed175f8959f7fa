// External subtitles: every subtitle row of a title is fetched, the rows of
// the requested episode are kept and linked to the subtitle they derive from.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

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

// The same parents for many records, through the records' last segments
// sorted by (segment, record): each lookup is a binary search, so no answer
// can make the work grow faster than n log n. For each segment, last[0] is
// the last record ending in it and last[1] the last one ending in it whose
// uri differs from last[0]'s. A record's parent is the last candidate whose
// uri differs from its own: last[0] when that uri differs, else last[1].
struct Segment {
    uint64_t head;  // the first 8 bytes, big-endian, zero-padded: most
                    // comparisons end here without reading the text
    const char *seg;
    size_t len;
    uint64_t last[2];  // record indexes; n for none (while sorting: last[0] only)
};

Segment segment(const char *s, size_t len, uint64_t k, uint64_t none) {
    uint64_t head = 0;
    for (size_t i = 0; i < 8; i++) head = head << 8 | (i < len ? static_cast<unsigned char>(s[i]) : 0u);
    return Segment{head, s, len, {k, none}};
}

// Texts hold no NUL, so equal heads leave the order to the bytes and lengths.
int compare(const Segment &a, const Segment &b) {
    if (a.head != b.head) return a.head < b.head ? -1 : 1;
    int c = std::memcmp(a.seg, b.seg, a.len < b.len ? a.len : b.len);
    return c ? c : (a.len < b.len ? -1 : a.len > b.len ? 1 : 0);
}

bool before(const Segment &a, const Segment &b) {
    int c = compare(a, b);
    return c < 0 || (c == 0 && a.last[0] < b.last[0]);
}

// Bottom-up merge sort between `a` and `tmp`: every level costs at most the
// total length of the segments, however alike they are. Runs already in
// order (many records of one segment) are copied without comparing.
void sort_segments(Segment *a, Segment *tmp, size_t n) {
    Segment *src = a, *dst = tmp;
    for (size_t width = 1; width < n; width *= 2) {
        for (size_t lo = 0; lo < n; lo += 2 * width) {
            size_t mid = lo + width < n ? lo + width : n;
            size_t hi = mid + width < n ? mid + width : n;
            size_t i = lo, j = mid, o = lo;
            if (mid < hi && before(src[mid], src[mid - 1]))
                while (i < mid && j < hi) dst[o++] = before(src[j], src[i]) ? src[j++] : src[i++];
            while (i < mid) dst[o++] = src[i++];
            while (j < hi) dst[o++] = src[j++];
        }
        std::swap(src, dst);
    }
    if (src != a) std::memcpy(a, src, n * sizeof *a);
}

const Segment *find_segment(const Segment *s, size_t n, const Segment &name) {
    size_t lo = 0, hi = n;
    while (lo < hi) {
        size_t mid = lo + (hi - lo) / 2;
        int c = compare(s[mid], name);
        if (c == 0) return &s[mid];
        if (c < 0) lo = mid + 1; else hi = mid;
    }
    return nullptr;
}

// False when memory for the index runs out: linking many records pair by
// pair instead could block the caller for minutes.
bool link_parents(mvfiles_subtitle *t, uint64_t n) {
    if (n <= 32) {
        link_pairwise(t, n);
        return true;
    }
    if (n > SIZE_MAX / (2 * sizeof(Segment))) return false;
    auto *segs = static_cast<Segment *>(std::malloc(2 * static_cast<size_t>(n) * sizeof(Segment)));
    if (!segs) return false;
    size_t m = 0;
    for (uint64_t k = 0; k < n; k++) {
        if (!t[k].uri) continue;
        const char *seg = last_segment(t[k].uri);
        segs[m++] = segment(seg, std::strlen(seg), k, n);
    }
    sort_segments(segs, segs + m, m);
    // One entry per segment, its records visited in table order. The new
    // last record; the old one stays the runner-up when the uris differ,
    // else the runner-up keeps its place.
    size_t groups = 0;
    for (size_t at = 0; at < m; at++) {
        uint64_t k = segs[at].last[0];
        if (at == 0 || compare(segs[at], segs[groups - 1]) != 0) {
            segs[groups] = segs[at];
            segs[groups++].last[1] = n;
            continue;
        }
        Segment &g = segs[groups - 1];
        if (std::strcmp(t[g.last[0]].uri, t[k].uri) != 0) g.last[1] = g.last[0];
        g.last[0] = k;
    }
    for (uint64_t i = 0; i < n; i++) {
        if (!t[i].filename || !t[i].uri) continue;
        const Segment *g = find_segment(segs, groups, segment(t[i].filename, std::strlen(t[i].filename), 0, n));
        if (!g) continue;
        uint64_t p = std::strcmp(t[g->last[0]].uri, t[i].uri) != 0 ? g->last[0] : g->last[1];
        if (p == n) continue;
        t[i].is_child = 1;
        t[i].parent_id = t[p].id;
    }
    std::free(segs);
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
