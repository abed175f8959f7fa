# A host for the MSVC target, built with clang and lld-link. No MSVC C
# runtime exists here to link, so the host is the runtime-free host_nocrt.c
# and CMake's own checks only compile.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(CMAKE_C_COMPILER clang-14)
set(CMAKE_C_COMPILER_TARGET x86_64-pc-windows-msvc)
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
set(CMAKE_C_FLAGS_INIT "-ffreestanding")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -nostdlib -Wl,/nodefaultlib,/entry:host_start,/subsystem:console")
# ExitProcess, from MinGW-w64's import library, which lld-link reads too.
set(CMAKE_C_STANDARD_LIBRARIES /usr/x86_64-w64-mingw32/lib/libkernel32.a CACHE STRING "")
set(MVFILES_HOST_NO_CRT ON)
