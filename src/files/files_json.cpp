// One file of the table as compact JSON text.
#include <cstdlib>

#include "api/core.h"
#include "files/files.h"

namespace {
// The text handed out last; it belongs to the library and stays valid until
// the next call, which releases it once a new text has been written.
char *s_json = nullptr;
}  // namespace

const char *mvfiles_file_json(int32_t i) noexcept {
    if (!g_sf.files_valid || i < 0 || static_cast<uint64_t>(i) >= g_sf.file_count) return nullptr;
    // The object is written as received: every member, in the service's
    // order, whatever its length.
    char *text = yyjson_val_write_opts(g_sf.files[i].json, 0, nullptr, nullptr, nullptr);
    if (!text) return nullptr;
    std::free(s_json);
    s_json = text;
    return s_json;
}

void mvfiles_file_json_free() noexcept {
    std::free(s_json);
    s_json = nullptr;
}
