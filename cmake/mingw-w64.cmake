# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (the posix
# thread model, GCC 12). Used by `make windows`.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MVFILES_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MVFILES_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MVFILES_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MVFILES_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MVFILES_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The DLL and the programs carry their own C++ runtime, libgcc and
# winpthread: a host machine has none of them. -static-libgcc and
# -static-libstdc++ alone still leave an import of libwinpthread-1.dll.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
