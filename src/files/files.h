// File catalogue: the file record, the table builder and the two fetches
// that the look-up exports run.
#ifndef MVFILES_FILES_FILES_H
#define MVFILES_FILES_FILES_H

#include <cstdint>
#include <yyjson.h>

#include "api/core.h"

// One file object of a finder answer. Texts point into g_sf.files_doc and
// are NULL when the member was absent or not a string.
struct mvfiles_file {
    const char *key;
    const char *imdb;
    const char *parent_key;
    const char *file_name;
    const char *path;
    const char *extension;
    const char *subtitle_languages;
    const char *subtitle_language_titles;
    const char *created;
    const char *record_updated;
    int64_t size;
    int64_t duration_seconds;
    int32_t season;          // -1 when absent or below -1
    int32_t episode;         // -1 when absent or below -1
    int32_t is_hdr;          // 1, 0, or -1 (unknown)
    int32_t is_hevc;
    int32_t is_dolby_atmos;
    int32_t subtitle_count;  // 0 when absent
    int32_t audio_channels;
    int32_t video_width;
    int32_t video_height;
    yyjson_val *json;        // the whole file object
    // Parallel arrays of entry_count access entries; NULL when there are none.
    const char **entry_uri;
    const char **entry_url;
    int32_t *entry_active;
    int32_t *entry_source;
    uint64_t entry_count;
};

// Builds the file table from the root of a parsed answer and replaces the
// current one (the caller then stores the document in files_doc). 0, also
// when the root is absent, not an array or empty (nothing changes); -1 when
// memory ran out (the current table is untouched).
int32_t mvfiles_files_index(yyjson_val *root) noexcept;

// Validates the id and always requests the files of that title.
mvfiles_result mvfiles_files_fetch(const char *id, int32_t season, int32_t episode) noexcept;

// Requests the files with the given keys (POST of a JSON array).
mvfiles_result mvfiles_files_fetch_keys(const char *const *keys, uint64_t count) noexcept;

#endif
