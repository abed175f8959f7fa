// The file table: built from a finder answer, released as a whole.
#include <cstdlib>

#include "api/core.h"
#include "api/util.h"
#include "files/files.h"

namespace {

void free_entries(mvfiles_file *f) {
    std::free(f->entry_uri);
    std::free(f->entry_url);
    std::free(f->entry_active);
    std::free(f->entry_source);
    f->entry_uri = f->entry_url = nullptr;
    f->entry_active = f->entry_source = nullptr;
    f->entry_count = 0;
}

void free_records(mvfiles_file *files, uint64_t n) {
    for (uint64_t i = 0; i < n; i++) free_entries(&files[i]);
    std::free(files);
}

// Only an integer counts as a content source; its low 32 bits are kept.
int32_t content_source(yyjson_val *entry) {
    yyjson_val *src = mvfiles_geti(entry, "accessSource", "AccessSource");
    if (!yyjson_is_obj(src)) return -1;
    yyjson_val *v = mvfiles_geti(src, "contentSource", "ContentSource");
    if (yyjson_is_uint(v)) return static_cast<int32_t>(static_cast<uint32_t>(yyjson_get_uint(v)));
    if (yyjson_is_sint(v))
        return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(yyjson_get_sint(v))));
    return -1;
}

// Reads the access entries of one file object; false when memory ran out
// (nothing is left allocated in f).
bool read_entries(mvfiles_file *f, yyjson_val *obj) {
    yyjson_val *arr = mvfiles_geti(obj, "entries", "Entries");
    size_t n = yyjson_arr_size(arr);
    if (n == 0) return true;
    f->entry_uri = static_cast<const char **>(std::calloc(n, sizeof(const char *)));
    f->entry_url = static_cast<const char **>(std::calloc(n, sizeof(const char *)));
    f->entry_active = static_cast<int32_t *>(std::calloc(n, sizeof(int32_t)));
    f->entry_source = static_cast<int32_t *>(std::calloc(n, sizeof(int32_t)));
    if (!f->entry_uri || !f->entry_url || !f->entry_active || !f->entry_source) {
        free_entries(f);
        return false;
    }
    uint64_t k = 0;
    size_t idx, max;
    yyjson_val *e;
    yyjson_arr_foreach(arr, idx, max, e) {
        if (!yyjson_is_obj(e)) continue;
        int active;
        mvfiles_js(&f->entry_uri[k], e, "uri", "Uri");
        mvfiles_js(&f->entry_url[k], e, "url", "Url");
        mvfiles_jb(&active, e, "isActive", "IsActive");
        f->entry_active[k] = active;
        f->entry_source[k] = content_source(e);
        k++;
    }
    f->entry_count = k;
    return true;
}

void read_record(mvfiles_file *f, yyjson_val *obj) {
    f->json = obj;
    f->season = f->episode = -1;
    f->is_hdr = f->is_hevc = f->is_dolby_atmos = -1;
    mvfiles_js(&f->key, obj, "key", "Key");
    mvfiles_js(&f->imdb, obj, "imDbID", "imdbID");
    mvfiles_js(&f->parent_key, obj, "parentKey", "ParentKey");
    mvfiles_js(&f->file_name, obj, "fileName", "FileName");
    mvfiles_js(&f->path, obj, "path", "Path");
    mvfiles_js(&f->extension, obj, "extension", "Extension");
    mvfiles_js(&f->subtitle_languages, obj, "subtitleLanguages", "SubtitleLanguages");
    mvfiles_js(&f->subtitle_language_titles, obj, "subtitleLanguageTitles",
               "SubtitleLanguageTitles");
    mvfiles_js(&f->created, obj, "created", "Created");
    mvfiles_js(&f->record_updated, obj, "recordUpdated", "RecordUpdated");
    mvfiles_jll(&f->size, obj, "size", "Size");
    mvfiles_jll(&f->duration_seconds, obj, "durationSeconds", "DurationSeconds");
    int32_t n;
    if (mvfiles_ji(&n, obj, "season", "Season") && n >= -1) f->season = n;
    if (mvfiles_ji(&n, obj, "episode", "Episode") && n >= -1) f->episode = n;
    int b;
    if (mvfiles_jb(&b, obj, "isHDR", "IsHDR")) f->is_hdr = b;
    if (mvfiles_jb(&b, obj, "isHEVC", "IsHEVC")) f->is_hevc = b;
    if (mvfiles_jb(&b, obj, "isDolbyAtmos", "IsDolbyAtmos")) f->is_dolby_atmos = b;
    mvfiles_ji(&f->subtitle_count, obj, "subtitleCount", "SubtitleCount");
    mvfiles_ji(&f->audio_channels, obj, "audioChannelCount", "AudioChannelCount");
    mvfiles_ji(&f->video_width, obj, "videoWidth", "VideoWidth");
    mvfiles_ji(&f->video_height, obj, "videoHeight", "VideoHeight");
}

}  // namespace

int32_t mvfiles_files_index(yyjson_val *root) noexcept {
    size_t n = yyjson_arr_size(root);
    if (!yyjson_is_arr(root) || n == 0) return 0;
    auto *files = static_cast<mvfiles_file *>(std::calloc(n, sizeof(mvfiles_file)));
    if (!files) return -1;
    uint64_t count = 0;
    size_t idx, max;
    yyjson_val *obj;
    yyjson_arr_foreach(root, idx, max, obj) {
        if (!yyjson_is_obj(obj)) continue;
        mvfiles_file *f = &files[count];
        read_record(f, obj);
        if (!read_entries(f, obj)) {
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
