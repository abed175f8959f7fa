// Playback-session table: the row record and the fetch that fills it.
#ifndef MVFILES_SESSIONS_SESSIONS_H
#define MVFILES_SESSIONS_SESSIONS_H

#include "api/core.h"

// One session row; every text is borrowed from g_sf.sessions_doc and is
// NULL when the member is absent, null or not a string.
struct mvfiles_session {
    const char *id;
    const char *created;
    const char *value;  // flag characters: '1' set, '0' clear
};

// POSTs the ids text and, on success, replaces the session table and its
// cache entry. A failure leaves the previous table and entry untouched.
mvfiles_result mvfiles_sessions_fetch(const char *ids) noexcept;

#endif
