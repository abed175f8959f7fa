// A finder answer through the host transport, then every getter over every
// file and access entry, and the one-file JSON export.
#include <cstdio>
#include <cstring>

#include <yyjson.h>

#include "fuzz/fuzz.h"
#include "mvfiles.h"

int mvfuzz_files(const uint8_t *data, size_t size) {
    using namespace mvfuzz;
    std::string body(reinterpret_cast<const char *>(data), size);
    host().answer = [&](const std::string &, const std::string &) {
        Reply r;
        r.body = body;
        return r;
    };
    host().install();
    // A new id every run, so the table is never answered from the cache and
    // the previous one is there to be kept when the answer is refused.
    static unsigned run = 0;
    char id[16];
    std::snprintf(id, sizeof id, "tt%07u", run++ % 10000000u);
    int32_t before = mvfiles_count();
    const char *first_key = before > 0 ? mvfiles_key(0) : nullptr;

    int32_t rc = mvfiles_get_by_imdb(id, -1, -1);
    MVFUZZ_CHECK(rc == MVFILES_OK || rc == MVFILES_ERR_JSON || rc == MVFILES_ERR_EMPTY);
    if (rc != MVFILES_OK) {
        MVFUZZ_CHECK(mvfiles_count() == before && (before == 0 || mvfiles_key(0) == first_key));
        return 0;
    }
    int32_t n = mvfiles_count();  // 0 when no element was an object
    size_t sink = 0;
    auto text = [&](const char *s) { sink += s ? std::strlen(s) : 0; };
    for (int32_t i = -1; i <= n; i++) {
        const char *(*texts[])(int32_t) = {mvfiles_key, mvfiles_imdb, mvfiles_parent_key, mvfiles_filename,
                                           mvfiles_path, mvfiles_extension, mvfiles_subtitle_languages,
                                           mvfiles_subtitle_language_titles, mvfiles_created,
                                           mvfiles_record_updated};
        for (auto get : texts) text(get(i));
        int32_t (*nums[])(int32_t) = {mvfiles_season, mvfiles_episode, mvfiles_is_hdr, mvfiles_is_hevc,
                                      mvfiles_is_dolby, mvfiles_subtitle_count, mvfiles_audio_channels,
                                      mvfiles_video_width, mvfiles_video_height};
        for (auto get : nums) (void)get(i);
        (void)mvfiles_size(i);
        (void)mvfiles_duration_seconds(i);
        int32_t entries = mvfiles_entry_count(i);
        MVFUZZ_CHECK(entries >= 0 && (i >= 0 && i < n ? true : entries == 0));
        for (int32_t e = -1; e <= entries; e++) {
            text(mvfiles_entry_uri(i, e));
            text(mvfiles_entry_url(i, e));
            int32_t active = mvfiles_entry_is_active(i, e), source = mvfiles_entry_content_source(i, e);
            MVFUZZ_CHECK(e >= 0 && e < entries ? active == 0 || active == 1 : active == -1 && source == -1);
        }
        // The export is the file object as received: it must read back as
        // one JSON object.
        const char *json = mvfiles_file_json(i);
        MVFUZZ_CHECK((json != nullptr) == (i >= 0 && i < n));
        if (json) {
            yyjson_doc *doc = yyjson_read(json, std::strlen(json), 0);
            MVFUZZ_CHECK(doc && yyjson_is_obj(yyjson_doc_get_root(doc)));
            yyjson_doc_free(doc);
        }
    }
    return sink == SIZE_MAX;  // keeps the reads
}
