// Storages: the input is the GetAuth text, a "|", then the drive rows.
#include "fuzz/fuzz.h"
#include "mvfiles.h"

void mvfuzz_read_storages();

int mvfuzz_storages(const uint8_t *data, size_t size) {
    using namespace mvfuzz;
    std::vector<std::string> parts = split(data, size, '|', 2);
    parts.resize(2);
    answer = [&](const std::string &url) { return Reply{"200", 200, {}, parts[url.find("GetAuth") == std::string::npos]}; };
    fresh_client();
    int32_t rc = mvfiles_get_storages();
    MVFUZZ_CHECK(rc == MVFILES_OK || ((rc == MVFILES_ERR_JSON || rc == MVFILES_ERR_EMPTY) && !mvfiles_storage_count()));
    mvfuzz_read_storages();
    return 0;
}
