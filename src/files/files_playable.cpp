// Playability: does any file of a title carry an access entry?
#include "api/core.h"
#include "files/files.h"

int32_t mvfiles_is_playable_se(const char *imdb_id, int32_t season, int32_t episode) noexcept {
    mvfiles_result r = mvfiles_get_by_imdb(imdb_id, season, episode);
    if (r == MVFILES_ERR_EMPTY || r == MVFILES_ERR_NOT_FOUND) return 0;
    // A transport failure must not read as 1 (playable); the last-error
    // text keeps the transport's message.
    if (r == MVFILES_ERR_TRANSPORT) return -1;
    if (r != MVFILES_OK) return r;
    for (uint64_t i = 0; i < g_sf.file_count; i++)
        if (g_sf.files[i].entry_count > 0) return 1;
    return 0;
}

int32_t mvfiles_is_playable(const char *imdb_id) noexcept {
    return mvfiles_is_playable_se(imdb_id, -1, -1);
}
