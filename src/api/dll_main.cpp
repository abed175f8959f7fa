// The DLL's entry point. A host that loads and frees the library again and
// again (a plug-in host does, on every cycle) must get back everything the
// library took from the heap: the tables it still held when the host did
// not shut it down, and the reserve the C++ runtime keeps for throwing
// exceptions when memory runs out. Both stay in the C runtime's heap, which
// outlives this module.
#if defined(_WIN32)

#include <cstdlib>  // also tells which C++ library this is (__GLIBCXX__)

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "api/core.h"

#if defined(__GLIBCXX__)
// libstdc++ defines this release of its emergency exception pool but
// declares it in no header.
namespace __gnu_cxx {
void __freeres() noexcept;
}
#endif

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    // reserved is NULL for FreeLibrary. At process exit it is not: the heap
    // goes with the process, and other modules may already be torn down.
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        mvfiles_release_for_unload();
#if defined(__GLIBCXX__)
        __gnu_cxx::__freeres();
#endif
    }
    return TRUE;
}

#endif
