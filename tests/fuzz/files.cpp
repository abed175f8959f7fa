// A finder answer through the host transport, then every getter over every
// file and access entry, and the one-file JSON export.
#include <cstring>

#include <yyjson.h>

#include "fuzz/fuzz.h"
#include "mvfiles.h"

int mvfuzz_files(const uint8_t *data, size_t size) {
    using namespace mvfuzz;
    std::string body(reinterpret_cast<const char *>(data), size);
    answer = [&](const std::string &url) {
        return Reply{"200", 200, {}, url.find("tt0111161") != std::string::npos ? "[{\"key\":\"held\"}]" : body};
    };
    fresh_client();
    MVFUZZ_CHECK(mvfiles_get_by_imdb("tt0111161", -1, -1) == MVFILES_OK);
    int32_t rc = mvfiles_get_by_imdb("tt0000002", -1, -1);
    MVFUZZ_CHECK(rc == MVFILES_OK || rc == MVFILES_ERR_JSON || rc == MVFILES_ERR_EMPTY);
    // A refused answer leaves the table held before it as it was.
    int32_t n = mvfiles_count();  // 0 when no element was an object
    MVFUZZ_CHECK(rc == MVFILES_OK || (n == 1 && std::strcmp(mvfiles_key(0), "held") == 0));
    read_rows(n, mvfiles_key, mvfiles_imdb, mvfiles_parent_key, mvfiles_filename, mvfiles_path, mvfiles_extension,
              mvfiles_subtitle_languages, mvfiles_subtitle_language_titles, mvfiles_created, mvfiles_record_updated,
              mvfiles_size, mvfiles_duration_seconds, mvfiles_season, mvfiles_episode, mvfiles_is_hdr, mvfiles_is_hevc,
              mvfiles_is_dolby, mvfiles_subtitle_count, mvfiles_audio_channels, mvfiles_video_width,
              mvfiles_video_height);
    for (int32_t i = -1; i <= n; i++) {
        int32_t entries = mvfiles_entry_count(i);
        MVFUZZ_CHECK(entries >= 0 && (entries == 0 || (i >= 0 && i < n)));
        for (int32_t e = -1; e <= entries; e++) {
            read_text(mvfiles_entry_uri(i, e));
            read_text(mvfiles_entry_url(i, e));
            int32_t active = mvfiles_entry_is_active(i, e), source = mvfiles_entry_content_source(i, e);
            MVFUZZ_CHECK(e >= 0 && e < entries ? active == 0 || active == 1 : active == -1 && source == -1);
        }
        // The export is the file object as received: it reads back as JSON.
        const char *json = mvfiles_file_json(i);
        MVFUZZ_CHECK((json != nullptr) == (i >= 0 && i < n));
        yyjson_doc *doc = json ? yyjson_read(json, std::strlen(json), 0) : nullptr;
        MVFUZZ_CHECK(!json || yyjson_is_obj(yyjson_doc_get_root(doc)));
        yyjson_doc_free(doc);
    }
    return 0;
}
