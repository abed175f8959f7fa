// Storages: the input is the GetAuth text, a "|", then the drive rows.
#include "fuzz/fuzz.h"
#include "mvfiles.h"

void mvfuzz_read_storages();

int mvfuzz_storages(const uint8_t *data, size_t size) {
    using namespace mvfuzz;
    std::vector<std::string> parts = split(data, size, '|', 2);
    parts.resize(2);
    host().answer = [&](const std::string &, const std::string &url) {
        Reply r;
        r.body = parts[url.find("GetAuth") != std::string::npos ? 0 : 1];
        return r;
    };
    host().install();
    fresh_client();
    int32_t rc = mvfiles_get_storages();
    MVFUZZ_CHECK(rc == MVFILES_OK || rc == MVFILES_ERR_JSON || rc == MVFILES_ERR_EMPTY);
    MVFUZZ_CHECK(rc == MVFILES_OK || mvfiles_storage_count() == 0);
    mvfuzz_read_storages();
    return 0;
}
