// The cache clock: the one place that reads the calendar time.
#include <ctime>

#include "api/core.h"

int64_t mvfiles_now() noexcept {
#if defined(_WIN32)
    return static_cast<int64_t>(_time64(nullptr));
#else
    return static_cast<int64_t>(std::time(nullptr));
#endif
}
