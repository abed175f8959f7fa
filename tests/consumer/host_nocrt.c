/* The minimal host for a toolchain without a C runtime to link (the MSVC
 * target on the build machine): it reads the same title as host.c and
 * reports through its exit code alone. */
#include "mvfiles.h"

__declspec(dllimport) void __stdcall ExitProcess(unsigned int code);

void host_start(void) {
    unsigned int code;
    mvfiles_fake_corpus(HOST_FIXTURES_DIR);
    mvfiles_use_fake();
    code = mvfiles_get_by_imdb("tt4154796", -1, -1) == MVFILES_OK && mvfiles_count() == 3 ? 0 : 1;
    mvfiles_shutdown();
    ExitProcess(code);
}
