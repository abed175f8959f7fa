// The file table: built from a finder answer, released as a whole.
#include <cstdlib>
#include <cstring>

#include "api/arena.h"
#include "api/core.h"
#include "api/members.h"
#include "api/util.h"
#include "files/files.h"

namespace {

using namespace mvfiles_members;

// The members a record reads, each under its camelCase and PascalCase name,
// found in one pass over each object (api/members.h).
enum FileMember {
    M_KEY, M_IMDB, M_PARENT_KEY, M_FILE_NAME, M_PATH, M_EXTENSION, M_SUB_LANGS, M_SUB_TITLES,
    M_CREATED, M_UPDATED, M_SIZE, M_DURATION, M_SEASON, M_EPISODE, M_HDR, M_HEVC, M_ATMOS,
    M_SUB_COUNT, M_AUDIO, M_WIDTH, M_HEIGHT, M_ENTRIES, M_FILE_COUNT
};

constexpr Name kFileNames[M_FILE_COUNT] = {
    MVFILES_MEMBER("key", "Key"),
    MVFILES_MEMBER("imDbID", "imdbID"),
    MVFILES_MEMBER("parentKey", "ParentKey"),
    MVFILES_MEMBER("fileName", "FileName"),
    MVFILES_MEMBER("path", "Path"),
    MVFILES_MEMBER("extension", "Extension"),
    MVFILES_MEMBER("subtitleLanguages", "SubtitleLanguages"),
    MVFILES_MEMBER("subtitleLanguageTitles", "SubtitleLanguageTitles"),
    MVFILES_MEMBER("created", "Created"),
    MVFILES_MEMBER("recordUpdated", "RecordUpdated"),
    MVFILES_MEMBER("size", "Size"),
    MVFILES_MEMBER("durationSeconds", "DurationSeconds"),
    MVFILES_MEMBER("season", "Season"),
    MVFILES_MEMBER("episode", "Episode"),
    MVFILES_MEMBER("isHDR", "IsHDR"),
    MVFILES_MEMBER("isHEVC", "IsHEVC"),
    MVFILES_MEMBER("isDolbyAtmos", "IsDolbyAtmos"),
    MVFILES_MEMBER("subtitleCount", "SubtitleCount"),
    MVFILES_MEMBER("audioChannelCount", "AudioChannelCount"),
    MVFILES_MEMBER("videoWidth", "VideoWidth"),
    MVFILES_MEMBER("videoHeight", "VideoHeight"),
    MVFILES_MEMBER("entries", "Entries"),
};

enum EntryMember { E_URI, E_URL, E_ACTIVE, E_SOURCE, E_COUNT };

constexpr Name kEntryNames[E_COUNT] = {
    MVFILES_MEMBER("uri", "Uri"),
    MVFILES_MEMBER("url", "Url"),
    MVFILES_MEMBER("isActive", "IsActive"),
    MVFILES_MEMBER("accessSource", "AccessSource"),
};

static_assert(member_names_ok(kFileNames) && member_names_ok(kEntryNames),
              "member name pairs must differ only in case, and no two names of a table"
              " may fold to the same text");

constexpr ByLength kFileByLen = group_by_length(kFileNames);
constexpr ByLength kEntryByLen = group_by_length(kEntryNames);

// Kept from table to table: an answer lists its members as the one before.
Layout s_files_layout, s_entries_layout;

// Conversions of one member value, with the rules of the shared readers;
// the usual value, a non-negative integer, is read here.
const char *as_text(yyjson_val *v) { return yyjson_is_str(v) ? unsafe_yyjson_get_str(v) : nullptr; }

int64_t as_int64(yyjson_val *v) {
    if (yyjson_is_uint(v)) {
        uint64_t u = unsafe_yyjson_get_uint(v);
        return u > static_cast<uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(u);
    }
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
    if (yyjson_is_uint(v)) {
        uint64_t u = unsafe_yyjson_get_uint(v);
        return u > INT32_MAX ? INT32_MAX : static_cast<int32_t>(u);
    }
    int32_t n;
    mvfiles_val_i32(v, &n);
    return n;
}

// Season or episode: -1 when absent, not a number, or below -1.
int32_t as_ordinal(yyjson_val *v) {
    if (yyjson_is_uint(v)) return as_count(v);
    int32_t n;
    return mvfiles_val_i32(v, &n) && n >= -1 ? n : -1;
}

// Only an integer counts as a content source; its low 32 bits are kept.
int32_t content_source(yyjson_val *src) {
    if (!yyjson_is_obj(src)) return -1;
    // The exact first name is what the dual-name look-up finds first.
    yyjson_val *v = yyjson_obj_getn(src, "contentSource", 13);
    if (!v) v = mvfiles_geti(src, "contentSource", "ContentSource");
    if (yyjson_is_uint(v)) return static_cast<int32_t>(static_cast<uint32_t>(yyjson_get_uint(v)));
    if (yyjson_is_sint(v))
        return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(yyjson_get_sint(v))));
    return -1;
}

// Reads the access entries of one file into the table's arena (uri
// pointers, url pointers, then the two integer columns); false when memory
// ran out.
bool read_entries(mvfiles_file *f, yyjson_val *arr, Layout &layout, mvfiles_arena &arena) {
    f->entry_uri = f->entry_url = nullptr;
    f->entry_active = f->entry_source = nullptr;
    f->entry_count = 0;
    size_t n = yyjson_arr_size(arr);
    if (n == 0) return true;
    const size_t row = 2 * sizeof(const char *) + 2 * sizeof(int32_t);
    if (n > SIZE_MAX / row) return false;
    void *block = arena.take(n * row);
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
        Found<E_COUNT> m;
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
bool read_record(mvfiles_file *f, yyjson_val *obj, Layout &files_layout, Layout &entries_layout,
                 mvfiles_arena &arena) {
    Found<M_FILE_COUNT> m;
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
    return read_entries(f, m[M_ENTRIES], entries_layout, arena);
}

}  // namespace

int32_t mvfiles_files_index(yyjson_val *root) noexcept {
    size_t n = yyjson_arr_size(root);
    if (!yyjson_is_arr(root) || n == 0) return 0;
    // Every field of every kept record is written, so the table needs no
    // zeroing.
    // The records and their entry columns share one chain of blocks: a
    // small answer takes one allocation.
    if (n > SIZE_MAX / sizeof(mvfiles_file)) return -1;
    mvfiles_arena arena;
    auto *files = static_cast<mvfiles_file *>(arena.take(n * sizeof(mvfiles_file)));
    if (!files) return -1;
    uint64_t count = 0;
    size_t idx, max;
    yyjson_val *obj;
    yyjson_arr_foreach(root, idx, max, obj) {
        if (!yyjson_is_obj(obj)) continue;
        if (!read_record(&files[count], obj, s_files_layout, s_entries_layout, arena)) {
            mvfiles_arena_free(arena.head);
            return -1;
        }
        count++;
    }
    mvfiles_files_free();
    g_sf.files = files;
    g_sf.files_blocks = arena.head;
    g_sf.file_count = count;
    g_sf.files_valid = 1;
    if (g_sf.files_ttl <= 0) g_sf.files_ttl = 300;
    g_sf.files_time = mvfiles_now();
    return 0;
}

void mvfiles_files_free() noexcept {
    mvfiles_arena_free(g_sf.files_blocks);
    g_sf.files_blocks = nullptr;
    g_sf.files = nullptr;
    g_sf.file_count = 0;
    if (g_sf.files_doc) {
        yyjson_doc_free(g_sf.files_doc);
        g_sf.files_doc = nullptr;
    }
    g_sf.files_valid = 0;
}
