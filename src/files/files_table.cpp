// File table (placeholder until the file catalogue lands).
#include "api/core.h"

void mvfiles_files_free() noexcept {}
