# Cross-compiling the shipped 64-bit Windows binaries with clang and lld
# over Debian's MinGW-w64 runtime and GCC 12's C++ runtime (posix thread
# model), the same objects the GCC toolchain (mingw-w64.cmake) links. lld
# writes a PDB beside each binary (CodeView, which GCC cannot emit), so a
# crash dump from a host can be symbolised. Used by `make windows`.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MVFILES_MINGW_TRIPLE x86_64-w64-mingw32)
set(MVFILES_CLANG_VERSION 14)
set(MVFILES_MINGW_SYSROOT /usr/${MVFILES_MINGW_TRIPLE})
set(MVFILES_MINGW_GCC_DIR /usr/lib/gcc/${MVFILES_MINGW_TRIPLE}/12-posix)

set(CMAKE_C_COMPILER clang-${MVFILES_CLANG_VERSION})
set(CMAKE_CXX_COMPILER clang++-${MVFILES_CLANG_VERSION})
set(CMAKE_C_COMPILER_TARGET ${MVFILES_MINGW_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${MVFILES_MINGW_TRIPLE})
set(CMAKE_SYSROOT ${MVFILES_MINGW_SYSROOT})
# windres preprocesses with the MinGW gcc; the resource compiler makes no code.
set(CMAKE_RC_COMPILER ${MVFILES_MINGW_TRIPLE}-windres)
set(CMAKE_AR llvm-ar-${MVFILES_CLANG_VERSION})
set(CMAKE_RANLIB llvm-ranlib-${MVFILES_CLANG_VERSION})

# clang does not look for GCC's C++ headers under a "12-posix" directory.
set(_cxx ${MVFILES_MINGW_GCC_DIR}/include/c++)
set(CMAKE_CXX_FLAGS_INIT "-nostdinc++ -isystem ${_cxx} -isystem ${_cxx}/${MVFILES_MINGW_TRIPLE} -isystem ${_cxx}/backward")
# CodeView debug information, which lld turns into the PDB.
set(CMAKE_C_FLAGS_INIT "-gcodeview -Qunused-arguments")
string(APPEND CMAKE_CXX_FLAGS_INIT " -gcodeview")

# The binaries carry their own C++ runtime, libgcc and winpthread, as with
# GCC: a host machine has none of them. GCC adds winpthread by itself,
# clang needs it named. The PE header gets no build time (reproducible
# builds), and each binary's PDB is named in its debug directory by file
# name only, without the build machine's directory.
set(_link "-fuse-ld=lld-${MVFILES_CLANG_VERSION} -L${MVFILES_MINGW_GCC_DIR} -static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${_link}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${_link}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${_link}")
set(CMAKE_C_STANDARD_LIBRARIES "-lpthread" CACHE STRING "")
set(CMAKE_CXX_STANDARD_LIBRARIES "-lpthread" CACHE STRING "")
# Set on the shipped targets by windows-dll.cmake.
set(MVFILES_PDB ON)
set(MVFILES_PE_STRIP llvm-objcopy-${MVFILES_CLANG_VERSION})

set(CMAKE_FIND_ROOT_PATH ${MVFILES_MINGW_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
