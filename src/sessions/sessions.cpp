// Playback sessions (placeholder until the sessions module lands).
#include "api/core.h"

void mvfiles_sessions_free() noexcept {}
