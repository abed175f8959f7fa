// Playback sessions: a sessions answer, every getter, and the flag at every
// position of every value checked against the character there.
#include <cstring>

#include "fuzz/fuzz.h"
#include "mvfiles.h"

int mvfuzz_sessions(const uint8_t *data, size_t size) {
    using namespace mvfuzz;
    std::string body(reinterpret_cast<const char *>(data), size);
    answer = [&](const std::string &) { return Reply{"200", 200, {}, body}; };
    fresh_client();
    int32_t rc = mvfiles_get_playback_sessions("s-1,s-2");
    MVFUZZ_CHECK(rc == MVFILES_OK || rc == MVFILES_ERR_JSON || rc == MVFILES_ERR_EMPTY);
    read_rows(mvfiles_session_count(), mvfiles_session_id, mvfiles_session_created);
    for (int32_t i = -1; i <= mvfiles_session_count(); i++) {
        const char *v = mvfiles_session_value(i);
        int32_t len = v ? static_cast<int32_t>(std::strlen(v)) : 0;
        for (int32_t p = -1; p <= len; p++)
            MVFUZZ_CHECK(mvfiles_session_bit(i, p) == (p < 0 || p >= len ? -1 : v[p] == '1' ? 1 : v[p] == '0' ? 0 : -1));
    }
    return 0;
}
