// Getters of the file table: constant-time reads by file (and entry) index.
#include "api/core.h"
#include "files/files.h"

namespace {

const mvfiles_file *file_at(int32_t i) {
    if (!g_sf.files_valid || i < 0 || static_cast<uint64_t>(i) >= g_sf.file_count) return nullptr;
    return &g_sf.files[i];
}

const mvfiles_file *entry_at(int32_t i, int32_t e) {
    const mvfiles_file *f = file_at(i);
    if (!f || e < 0 || static_cast<uint64_t>(e) >= f->entry_count) return nullptr;
    return f;
}

}  // namespace

int32_t mvfiles_count(void) noexcept {
    return g_sf.files_valid ? static_cast<int32_t>(g_sf.file_count) : 0;
}

#define MVFILES_FILE_GETTER(name, type, field, none)  \
    type name(int32_t i) noexcept {                   \
        const mvfiles_file *f = file_at(i);           \
        return f ? f->field : (none);                 \
    }

MVFILES_FILE_GETTER(mvfiles_key, const char *, key, nullptr)
MVFILES_FILE_GETTER(mvfiles_imdb, const char *, imdb, nullptr)
MVFILES_FILE_GETTER(mvfiles_parent_key, const char *, parent_key, nullptr)
MVFILES_FILE_GETTER(mvfiles_filename, const char *, file_name, nullptr)
MVFILES_FILE_GETTER(mvfiles_path, const char *, path, nullptr)
MVFILES_FILE_GETTER(mvfiles_extension, const char *, extension, nullptr)
MVFILES_FILE_GETTER(mvfiles_subtitle_languages, const char *, subtitle_languages, nullptr)
MVFILES_FILE_GETTER(mvfiles_subtitle_language_titles, const char *, subtitle_language_titles,
                    nullptr)
MVFILES_FILE_GETTER(mvfiles_created, const char *, created, nullptr)
MVFILES_FILE_GETTER(mvfiles_record_updated, const char *, record_updated, nullptr)
MVFILES_FILE_GETTER(mvfiles_size, int64_t, size, 0)
MVFILES_FILE_GETTER(mvfiles_duration_seconds, int64_t, duration_seconds, 0)
MVFILES_FILE_GETTER(mvfiles_season, int32_t, season, -1)
MVFILES_FILE_GETTER(mvfiles_episode, int32_t, episode, -1)
MVFILES_FILE_GETTER(mvfiles_is_hdr, int32_t, is_hdr, -1)
MVFILES_FILE_GETTER(mvfiles_is_hevc, int32_t, is_hevc, -1)
MVFILES_FILE_GETTER(mvfiles_is_dolby, int32_t, is_dolby_atmos, -1)
MVFILES_FILE_GETTER(mvfiles_subtitle_count, int32_t, subtitle_count, -1)
MVFILES_FILE_GETTER(mvfiles_audio_channels, int32_t, audio_channels, -1)
MVFILES_FILE_GETTER(mvfiles_video_width, int32_t, video_width, -1)
MVFILES_FILE_GETTER(mvfiles_video_height, int32_t, video_height, -1)

int32_t mvfiles_entry_count(int32_t i) noexcept {
    const mvfiles_file *f = file_at(i);
    return f ? static_cast<int32_t>(f->entry_count) : 0;
}

const char *mvfiles_entry_uri(int32_t i, int32_t e) noexcept {
    const mvfiles_file *f = entry_at(i, e);
    return f ? f->entry_uri[e] : nullptr;
}

const char *mvfiles_entry_url(int32_t i, int32_t e) noexcept {
    const mvfiles_file *f = entry_at(i, e);
    return f ? f->entry_url[e] : nullptr;
}

int32_t mvfiles_entry_is_active(int32_t i, int32_t e) noexcept {
    const mvfiles_file *f = entry_at(i, e);
    return f ? f->entry_active[e] : -1;
}

int32_t mvfiles_entry_content_source(int32_t i, int32_t e) noexcept {
    const mvfiles_file *f = entry_at(i, e);
    return f ? f->entry_source[e] : -1;
}
