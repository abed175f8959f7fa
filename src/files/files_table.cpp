// The file table: built from a finder answer, released as a whole.
#include <cstdlib>
#include <cstring>

#include "api/core.h"
#include "api/util.h"
#include "files/files.h"

namespace {

// The members a record reads, each under its camelCase and PascalCase name.
// Every pair differs only in case, so one pass over an object's members
// finds what the dual-name look-up would: an exact match of the first name
// wins over one of the second, either wins over a case-insensitive match of
// the first, and among equal matches the earliest member wins.
struct Name {
    const char *a, *b;
    size_t len;
};

constexpr size_t cstrlen(const char *s) {
    size_t n = 0;
    while (s[n]) n++;
    return n;
}

#define NAME(a, b) {a, b, cstrlen(a)}

enum FileMember {
    M_KEY, M_IMDB, M_PARENT_KEY, M_FILE_NAME, M_PATH, M_EXTENSION, M_SUB_LANGS, M_SUB_TITLES,
    M_CREATED, M_UPDATED, M_SIZE, M_DURATION, M_SEASON, M_EPISODE, M_HDR, M_HEVC, M_ATMOS,
    M_SUB_COUNT, M_AUDIO, M_WIDTH, M_HEIGHT, M_ENTRIES, M_FILE_COUNT
};

constexpr Name kFileNames[M_FILE_COUNT] = {
    NAME("key", "Key"),
    NAME("imDbID", "imdbID"),
    NAME("parentKey", "ParentKey"),
    NAME("fileName", "FileName"),
    NAME("path", "Path"),
    NAME("extension", "Extension"),
    NAME("subtitleLanguages", "SubtitleLanguages"),
    NAME("subtitleLanguageTitles", "SubtitleLanguageTitles"),
    NAME("created", "Created"),
    NAME("recordUpdated", "RecordUpdated"),
    NAME("size", "Size"),
    NAME("durationSeconds", "DurationSeconds"),
    NAME("season", "Season"),
    NAME("episode", "Episode"),
    NAME("isHDR", "IsHDR"),
    NAME("isHEVC", "IsHEVC"),
    NAME("isDolbyAtmos", "IsDolbyAtmos"),
    NAME("subtitleCount", "SubtitleCount"),
    NAME("audioChannelCount", "AudioChannelCount"),
    NAME("videoWidth", "VideoWidth"),
    NAME("videoHeight", "VideoHeight"),
    NAME("entries", "Entries"),
};

enum EntryMember { E_URI, E_URL, E_ACTIVE, E_SOURCE, E_COUNT };

constexpr Name kEntryNames[E_COUNT] = {
    NAME("uri", "Uri"),
    NAME("url", "Url"),
    NAME("isActive", "IsActive"),
    NAME("accessSource", "AccessSource"),
};

#undef NAME

// Names grouped by length, so that a member key is compared only with the
// names it could be.
constexpr size_t kMaxLen = 24;
constexpr size_t kPerLen = 4;

struct ByLength {
    uint8_t count[kMaxLen + 1];
    uint8_t index[kMaxLen + 1][kPerLen];
};

template <size_t N>
constexpr ByLength group_by_length(const Name (&names)[N]) {
    ByLength g{};
    for (size_t i = 0; i < N; i++) {
        size_t len = names[i].len;
        g.index[len][g.count[len]++] = static_cast<uint8_t>(i);
    }
    return g;
}

constexpr char fold_c(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// The one-pass reader relies on each pair folding to the same text.
template <size_t N>
constexpr bool pairs_fold_equal(const Name (&names)[N]) {
    for (size_t i = 0; i < N; i++) {
        if (cstrlen(names[i].b) != names[i].len) return false;
        for (size_t j = 0; j < names[i].len; j++)
            if (fold_c(names[i].a[j]) != fold_c(names[i].b[j])) return false;
    }
    return true;
}
static_assert(pairs_fold_equal(kFileNames) && pairs_fold_equal(kEntryNames),
              "member name pairs must differ only in case");

constexpr ByLength kFileByLen = group_by_length(kFileNames);
constexpr ByLength kEntryByLen = group_by_length(kEntryNames);

unsigned char fold(unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c; }

// How a member key of the name's length L matches the name: 0 exactly the
// first form, 1 exactly the second, 2 the first with case folded, 3 not at
// all. L is a constant so that the exact comparisons compile to a few loads.
template <size_t L>
uint8_t match_rank(const char *key, const Name &name) {
    if (std::memcmp(key, name.a, L) == 0) return 0;
    if (std::memcmp(key, name.b, L) == 0) return 1;
    for (size_t i = 0; i < L; i++)
        if (fold(static_cast<unsigned char>(key[i])) != fold(static_cast<unsigned char>(name.a[i])))
            return 3;
    return 2;
}

// The matcher for a key of length len (at most kMaxLen).
uint8_t match_len(size_t len, const char *key, const Name &name) {
    switch (len) {
#define LEN(n) \
    case n:    \
        return match_rank<n>(key, name);
        LEN(1) LEN(2) LEN(3) LEN(4) LEN(5) LEN(6) LEN(7) LEN(8) LEN(9) LEN(10) LEN(11) LEN(12)
        LEN(13) LEN(14) LEN(15) LEN(16) LEN(17) LEN(18) LEN(19) LEN(20) LEN(21) LEN(22) LEN(23)
        LEN(24)
#undef LEN
    default:
        return 3;
    }
}

// Exact comparison of n bytes, in word-sized steps that stay inside both texts.
bool same_bytes(const char *x, const char *y, size_t n) {
    uint64_t a, b;
    while (n >= 8) {
        std::memcpy(&a, x, 8);
        std::memcpy(&b, y, 8);
        if (a != b) return false;
        x += 8, y += 8, n -= 8;
    }
    if (n >= 4) {
        uint32_t c, d;
        std::memcpy(&c, x, 4);
        std::memcpy(&d, y, 4);
        if (c != d) return false;
        x += 4, y += 4, n -= 4;
    }
    while (n--)
        if (*x++ != *y++) return false;
    return true;
}

// Objects of one answer list their members in the same order, so each
// position remembers the name found there last time and tries it first.
constexpr size_t kPositions = 32;
struct Layout {
    uint8_t at[kPositions];
    Layout() { std::memset(at, 0xFF, sizeof at); }
};

// Fills out[i] with the value of names[i] in obj (NULL when absent).
template <size_t N>
void find_members(yyjson_val *obj, const Name (&names)[N], const ByLength &by_len,
                  Layout &layout, yyjson_val *(&out)[N]) {
    uint8_t rank[N];
    for (size_t i = 0; i < N; i++) {
        out[i] = nullptr;
        rank[i] = 3;
    }
    yyjson_obj_iter it = yyjson_obj_iter_with(obj);
    yyjson_val *key;
    for (size_t pos = 0; (key = yyjson_obj_iter_next(&it)) != nullptr; pos++) {
        size_t len = unsafe_yyjson_get_len(key);
        if (len > kMaxLen) continue;
        const char *k = unsafe_yyjson_get_str(key);
        uint8_t guess = pos < kPositions ? layout.at[pos] : 0xFF;
        if (guess < N && names[guess].len == len && same_bytes(k, names[guess].a, len)) {
            if (rank[guess] != 0) {
                rank[guess] = 0;
                out[guess] = yyjson_obj_iter_get_val(key);
            }
            continue;
        }
        for (size_t c = 0; c < by_len.count[len]; c++) {
            size_t i = by_len.index[len][c];
            uint8_t r = match_len(len, k, names[i]);
            if (r == 3) continue;
            if (r < rank[i]) {
                rank[i] = r;
                out[i] = yyjson_obj_iter_get_val(key);
            }
            if (pos < kPositions) layout.at[pos] = static_cast<uint8_t>(i);
            break;  // no two names of a table fold to the same text
        }
    }
}

// Conversions of one member value, with the rules of the shared readers.
const char *as_text(yyjson_val *v) { return yyjson_is_str(v) ? unsafe_yyjson_get_str(v) : nullptr; }

int64_t as_int64(yyjson_val *v) {
    int64_t n;
    mvfiles_val_i64(v, &n);
    return n;
}

// 1 or 0 for a boolean, else `none`.
int32_t as_flag(yyjson_val *v, int32_t none) {
    return yyjson_is_bool(v) ? (unsafe_yyjson_get_bool(v) ? 1 : 0) : none;
}

// A count or size: the number read, 0 when absent or not a number.
int32_t as_count(yyjson_val *v) {
    int32_t n;
    mvfiles_val_i32(v, &n);
    return n;
}

// Season or episode: -1 when absent, not a number, or below -1.
int32_t as_ordinal(yyjson_val *v) {
    int32_t n;
    return mvfiles_val_i32(v, &n) && n >= -1 ? n : -1;
}

// The entry arrays of one file share a single block, owned through
// entry_uri: uri pointers, url pointers, then the two integer columns.
void free_entries(mvfiles_file *f) {
    std::free(f->entry_uri);
    f->entry_uri = f->entry_url = nullptr;
    f->entry_active = f->entry_source = nullptr;
    f->entry_count = 0;
}

void free_records(mvfiles_file *files, uint64_t n) {
    for (uint64_t i = 0; i < n; i++) free_entries(&files[i]);
    std::free(files);
}

// Only an integer counts as a content source; its low 32 bits are kept.
int32_t content_source(yyjson_val *src) {
    if (!yyjson_is_obj(src)) return -1;
    yyjson_val *v = mvfiles_geti(src, "contentSource", "ContentSource");
    if (yyjson_is_uint(v)) return static_cast<int32_t>(static_cast<uint32_t>(yyjson_get_uint(v)));
    if (yyjson_is_sint(v))
        return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(yyjson_get_sint(v))));
    return -1;
}

// Reads the access entries of one file; false when memory ran out (nothing
// is left allocated in f).
bool read_entries(mvfiles_file *f, yyjson_val *arr, Layout &layout) {
    size_t n = yyjson_arr_size(arr);
    if (n == 0) return true;
    const size_t row = 2 * sizeof(const char *) + 2 * sizeof(int32_t);
    if (n > SIZE_MAX / row) return false;
    void *block = std::calloc(n, row);
    if (!block) return false;
    f->entry_uri = static_cast<const char **>(block);
    f->entry_url = f->entry_uri + n;
    f->entry_active = reinterpret_cast<int32_t *>(f->entry_url + n);
    f->entry_source = f->entry_active + n;
    uint64_t k = 0;
    size_t idx, max;
    yyjson_val *e;
    yyjson_arr_foreach(arr, idx, max, e) {
        if (!yyjson_is_obj(e)) continue;
        yyjson_val *m[E_COUNT];
        find_members(e, kEntryNames, kEntryByLen, layout, m);
        f->entry_uri[k] = as_text(m[E_URI]);
        f->entry_url[k] = as_text(m[E_URL]);
        f->entry_active[k] = as_flag(m[E_ACTIVE], 0);
        f->entry_source[k] = content_source(m[E_SOURCE]);
        k++;
    }
    f->entry_count = k;
    return true;
}

// Reads one file object; false when memory ran out.
bool read_record(mvfiles_file *f, yyjson_val *obj, Layout &files_layout, Layout &entries_layout) {
    yyjson_val *m[M_FILE_COUNT];
    find_members(obj, kFileNames, kFileByLen, files_layout, m);
    f->json = obj;
    f->key = as_text(m[M_KEY]);
    f->imdb = as_text(m[M_IMDB]);
    f->parent_key = as_text(m[M_PARENT_KEY]);
    f->file_name = as_text(m[M_FILE_NAME]);
    f->path = as_text(m[M_PATH]);
    f->extension = as_text(m[M_EXTENSION]);
    f->subtitle_languages = as_text(m[M_SUB_LANGS]);
    f->subtitle_language_titles = as_text(m[M_SUB_TITLES]);
    f->created = as_text(m[M_CREATED]);
    f->record_updated = as_text(m[M_UPDATED]);
    f->size = as_int64(m[M_SIZE]);
    f->duration_seconds = as_int64(m[M_DURATION]);
    f->season = as_ordinal(m[M_SEASON]);
    f->episode = as_ordinal(m[M_EPISODE]);
    f->is_hdr = as_flag(m[M_HDR], -1);
    f->is_hevc = as_flag(m[M_HEVC], -1);
    f->is_dolby_atmos = as_flag(m[M_ATMOS], -1);
    f->subtitle_count = as_count(m[M_SUB_COUNT]);
    f->audio_channels = as_count(m[M_AUDIO]);
    f->video_width = as_count(m[M_WIDTH]);
    f->video_height = as_count(m[M_HEIGHT]);
    return read_entries(f, m[M_ENTRIES], entries_layout);
}

}  // namespace

int32_t mvfiles_files_index(yyjson_val *root) noexcept {
    size_t n = yyjson_arr_size(root);
    if (!yyjson_is_arr(root) || n == 0) return 0;
    auto *files = static_cast<mvfiles_file *>(std::calloc(n, sizeof(mvfiles_file)));
    if (!files) return -1;
    uint64_t count = 0;
    Layout files_layout, entries_layout;
    size_t idx, max;
    yyjson_val *obj;
    yyjson_arr_foreach(root, idx, max, obj) {
        if (!yyjson_is_obj(obj)) continue;
        if (!read_record(&files[count], obj, files_layout, entries_layout)) {
            free_records(files, count);
            return -1;
        }
        count++;
    }
    mvfiles_files_free();
    g_sf.files = files;
    g_sf.file_count = count;
    g_sf.files_valid = 1;
    if (g_sf.files_ttl <= 0) g_sf.files_ttl = 300;
    g_sf.files_time = mvfiles_now();
    return 0;
}

void mvfiles_files_free() noexcept {
    if (g_sf.files) free_records(g_sf.files, g_sf.file_count);
    g_sf.files = nullptr;
    g_sf.file_count = 0;
    if (g_sf.files_doc) {
        yyjson_doc_free(g_sf.files_doc);
        g_sf.files_doc = nullptr;
    }
    g_sf.files_valid = 0;
}
