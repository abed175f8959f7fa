// Loading and freeing the DLL, as a plug-in host does on every cycle,
// leaves nothing behind in the process's heaps, even when the host never
// called mvfiles_shutdown.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>

#include <windows.h>

#include "mvfiles.h"
#include "support/platform.h"

namespace {

// Bytes in use in all heaps of the process (the C runtime's among them).
int64_t heap_bytes_in_use() {
    HANDLE heaps[256];
    DWORD n = GetProcessHeaps(256, heaps);
    int64_t total = 0;
    for (DWORD i = 0; i < n && i < 256; i++) {
        if (!HeapLock(heaps[i])) continue;
        PROCESS_HEAP_ENTRY e{};
        while (HeapWalk(heaps[i], &e))
            if (e.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += e.cbData;
        HeapUnlock(heaps[i]);
    }
    return total;
}

// One host session: load, fill every table and the one-file text, unload.
void cycle() {
    mvtest::Library lib(MVFILES_SHARED_LIB);
    ASSERT_TRUE(lib.loaded()) << lib.error();
    auto corpus = reinterpret_cast<mvfiles_result (*)(const char *)>(lib.symbol("mvfiles_fake_corpus"));
    auto use_fake = reinterpret_cast<mvfiles_result (*)()>(lib.symbol("mvfiles_use_fake"));
    auto files = reinterpret_cast<mvfiles_result (*)(const char *, int32_t, int32_t)>(
        lib.symbol("mvfiles_get_by_imdb"));
    auto file_json = reinterpret_cast<const char *(*)(int32_t)>(lib.symbol("mvfiles_file_json"));
    auto playlists = reinterpret_cast<mvfiles_result (*)(const char *, const char *, const char *)>(
        lib.symbol("mvfiles_get_playlists"));
    auto sessions = reinterpret_cast<mvfiles_result (*)(const char *)>(lib.symbol("mvfiles_get_playback_sessions"));
    ASSERT_TRUE(corpus && use_fake && files && file_json && playlists && sessions);
    ASSERT_EQ(corpus(MVFILES_FIXTURES_DIR), MVFILES_OK);
    ASSERT_EQ(use_fake(), MVFILES_OK);
    ASSERT_EQ(files("tt4154796", -1, -1), MVFILES_OK);
    ASSERT_NE(file_json(0), nullptr);
    ASSERT_EQ(playlists(nullptr, nullptr, "Movies"), MVFILES_OK);
    ASSERT_EQ(sessions("s1,s2"), MVFILES_OK);
}

TEST(DllUnload, CyclesGiveBackWhatTheyTook) {
    // The first cycles pay for the loader's own one-time allocations.
    for (int i = 0; i < 3; i++) ASSERT_NO_FATAL_FAILURE(cycle());
    const int kCycles = 300;
    const int64_t before = heap_bytes_in_use();
    for (int i = 0; i < kCycles; i++) ASSERT_NO_FATAL_FAILURE(cycle());
    const int64_t per_cycle = (heap_bytes_in_use() - before) / kCycles;
    std::printf("heap growth per load and unload: %lld bytes\n", static_cast<long long>(per_cycle));
    EXPECT_LE(per_cycle, 0);
}

}  // namespace
