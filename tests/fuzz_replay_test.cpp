// Every corpus file and every past finding through the fuzz targets, so a
// regression shows without libFuzzer.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>

#include "fuzz/fuzz.h"
#include "support/service.h"

void mvfuzz_fail(const char *what, const char *file, int line) {
    ADD_FAILURE_AT(file, line) << "wrong answer: " << what;
}

namespace {

using Target = std::pair<const char *, int (*)(const uint8_t *, size_t)>;
#define MVFUZZ_ENTRY(name) Target{#name, mvfuzz_##name},
const Target kTargets[] = {MVFUZZ_TARGETS(MVFUZZ_ENTRY)};

class Replay : public ::testing::TestWithParam<size_t> {};

TEST_P(Replay, CorpusAndFindings) {
    namespace fs = std::filesystem;
    const Target &target = kTargets[GetParam()];
    mvtest::reset_client();
    size_t inputs = 0;
    for (const char *kind : {"corpus", "findings"}) {
        fs::path dir = fs::path(MVFILES_TESTS_DIR) / "fuzz" / kind / target.first;
        if (!fs::is_directory(dir)) continue;
        for (const auto &entry : fs::directory_iterator(dir)) {
            std::ifstream in(entry.path(), std::ios::binary);
            std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
            SCOPED_TRACE(entry.path().string());
            target.second(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());
            inputs++;
        }
    }
    EXPECT_GT(inputs, 0u) << "no corpus for " << target.first;
    mvtest::reset_client();
}

INSTANTIATE_TEST_SUITE_P(Fuzz, Replay, ::testing::Range<size_t>(0, std::size(kTargets)),
                         [](const ::testing::TestParamInfo<size_t> &i) { return std::string(kTargets[i.param].first); });

}  // namespace
