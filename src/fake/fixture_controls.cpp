// Exported controls of the offline fixture backend: installing it, its
// corpus directory, its failure mode and its statistics.
#include <cstdio>
#include <cstring>

#include "api/core.h"
#include "api/util.h"
#include "fake/fixture_backend.h"
#include "mvfiles.h"

// The directory last given to mvfiles_fake_corpus, handed to the backend
// again whenever it is installed.
static char s_corpus_dir[512];
// The backend's record, one for the library's life, once installed.
static const veltrona_http *s_backend;

bool mvfiles_transport_is_fixture() noexcept { return s_backend && g_sf.transport == s_backend; }

mvfiles_result mvfiles_use_fake(void) noexcept {
    mvfiles_default_origin_check();
    const veltrona_http *h = mvfiles_fake_backend(s_corpus_dir[0] ? s_corpus_dir : nullptr);
    s_backend = h;
    g_sf.transport = h;
    g_sf.transport_set = 1;
    mvfiles_set_err("");
    return MVFILES_OK;
}

mvfiles_result mvfiles_fake_corpus(const char *dir) noexcept {
    if (!dir) return MVFILES_ERR_ARG;
    // A cut path would name another directory: refused, the current one kept.
    if (std::strlen(dir) >= sizeof s_corpus_dir) return MVFILES_ERR_ARG;
#if defined(_WIN32)
    // Windows opens the path as UTF-16: bytes that are not UTF-8 (a host's
    // ANSI text) would name no file, or another one. Elsewhere a path is
    // any bytes, as the file system takes it.
    if (!mvfiles_utf8_valid(dir, std::strlen(dir))) return MVFILES_ERR_ARG;
#endif
    if (dir != s_corpus_dir) std::snprintf(s_corpus_dir, sizeof s_corpus_dir, "%s", dir);
    // An empty text leaves the backend's live directory as it is.
    mvfiles_fake_backend(s_corpus_dir);
    return MVFILES_OK;
}

mvfiles_result mvfiles_fake_mode(int32_t mode) noexcept {
    if (mode < 0 || mode > 6) return MVFILES_ERR_ARG;
    mvfiles_fake_set_mode(mode);
    return MVFILES_OK;
}

int64_t mvfiles_fake_calls(void) noexcept { return mvfiles_fake_calls_internal(); }

int64_t mvfiles_fake_fail_count(void) noexcept { return mvfiles_fake_fail_internal(); }

const char *mvfiles_fake_last_url(void) noexcept { return mvfiles_fake_last_url_internal(); }

void mvfiles_fake_reset(void) noexcept { mvfiles_fake_wipe_stats(); }
