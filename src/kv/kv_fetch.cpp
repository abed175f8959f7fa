// Key-value rows (placeholder until the key-value module lands).
#include "api/core.h"

void mvfiles_kv_free() noexcept {}
