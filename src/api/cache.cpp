// Cache controls. Each family's entry is its table in g_sf; dropping an
// entry releases the table through its module's release function.
#include <cstring>

#include "api/core.h"
#include "api/util.h"

namespace {

enum family { FILES, KV, SESSIONS, ALL, UNKNOWN };

family family_of(const char *name) {
    if (std::strcmp(name, "files") == 0) return FILES;
    if (std::strcmp(name, "kv") == 0) return KV;
    if (std::strcmp(name, "sessions") == 0) return SESSIONS;
    if (std::strcmp(name, "*") == 0) return ALL;
    return UNKNOWN;
}

bool fresh(int32_t valid, int64_t time, int32_t ttl) {
    return valid == 1 && !mvfiles_cache_expired(time, ttl);
}

bool key_matches(const char *key, const char *stored) {
    return !key || !*key || std::strcmp(key, stored) == 0;
}

}  // namespace

void mvfiles_cache_set_ttl(int32_t files, int32_t kv, int32_t sessions) noexcept {
    if (files > 0) g_sf.files_ttl = files;
    if (kv > 0) g_sf.kv_ttl = kv;
    if (sessions > 0) g_sf.sessions_ttl = sessions;
}

void mvfiles_cache_clear(void) noexcept { mvfiles_free_all(); }

mvfiles_result mvfiles_cache_invalidate(const char *family, const char *key) noexcept {
    if (!family) return MVFILES_ERR_ARG;
    switch (family_of(family)) {
    case ALL:
        mvfiles_cache_clear();
        return MVFILES_OK;
    case FILES:
        if (key_matches(key, g_sf.files_key)) mvfiles_files_free();
        return MVFILES_OK;
    case KV:
        if (key_matches(key, g_sf.kv_tag)) mvfiles_kv_free();
        return MVFILES_OK;
    case SESSIONS:
        if (key_matches(key, g_sf.sessions_key)) mvfiles_sessions_free();
        return MVFILES_OK;
    case UNKNOWN:
        break;
    }
    return MVFILES_ERR_ARG;
}

mvfiles_result mvfiles_cache_has(const char *family, const char *key, int32_t *present) noexcept {
    (void)key;  // the answer concerns the family's current entry, whatever its key
    if (present) *present = 0;
    if (!family) return MVFILES_ERR_ARG;
    int32_t flag = 0;
    switch (family_of(family)) {
    case FILES:
        flag = fresh(g_sf.files_valid, g_sf.files_time, g_sf.files_ttl);
        break;
    case KV:
        flag = fresh(g_sf.kv_valid, g_sf.kv_time, g_sf.kv_ttl);
        break;
    case SESSIONS:
        flag = fresh(g_sf.sessions_valid, g_sf.sessions_time, g_sf.sessions_ttl);
        break;
    case ALL:
        flag = g_sf.files_valid == 1 || g_sf.kv_valid == 1 || g_sf.sessions_valid == 1;
        break;
    case UNKNOWN:
        return MVFILES_ERR_ARG;
    }
    if (present) *present = flag;
    return MVFILES_OK;
}
