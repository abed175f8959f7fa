# Cross-compiling the shipped 64-bit Windows binaries: MinGW-w64's GCC
# compiles, as with mingw-w64.cmake, and lld links, through clang's MinGW
# driver (Debian's GCC always runs GNU ld). lld writes a PDB beside each
# binary, named in its debug directory (CodeView), so that a crash dump
# from a host can be symbolised. Used by `make windows`.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

set(MVFILES_LLVM_VERSION 14)
set(_gcc_dir /usr/lib/gcc/${MVFILES_MINGW_TRIPLE}/12-posix)
# The driver links what GCC's does: the same start-up files, MinGW-w64
# runtime and GCC 12 runtime libraries (posix threads), all static;
# winpthread it needs named. The PE header gets no build time.
set(MVFILES_LINK_DRIVER "clang++-${MVFILES_LLVM_VERSION} --target=${MVFILES_MINGW_TRIPLE} --sysroot=${CMAKE_FIND_ROOT_PATH} -fuse-ld=lld-${MVFILES_LLVM_VERSION} -L${_gcc_dir} -Wl,--no-insert-timestamp -Qunused-arguments")
set(CMAKE_C_STANDARD_LIBRARIES "-lpthread" CACHE STRING "")
set(CMAKE_CXX_STANDARD_LIBRARIES "-lpthread" CACHE STRING "")
# Read after CMake's own link rules are set, to put the driver in them.
set(CMAKE_USER_MAKE_RULES_OVERRIDE ${CMAKE_CURRENT_LIST_DIR}/mingw-w64-lld-rules.cmake)

# Set on the shipped targets by windows-dll.cmake.
set(MVFILES_PDB ON)
set(MVFILES_PE_STRIP llvm-objcopy-${MVFILES_LLVM_VERSION})
