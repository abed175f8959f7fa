// Lets the compiler check the format strings handed to the library's
// printf-style helpers against their arguments.
#ifndef MVFILES_API_PRINTF_CHECK_H
#define MVFILES_API_PRINTF_CHECK_H

// MinGW's "printf" archetype follows the Microsoft runtime's rules, which
// know neither %zu nor %lld. The library's C++ code formats with MinGW's own
// C99 printf family (libstdc++ turns on __USE_MINGW_ANSI_STDIO), so there the
// helpers are checked under GNU rules instead. MSVC has no such attribute.
#if defined(__MINGW32__) && !defined(__clang__)
#define MVFILES_PRINTF_LIKE(fmt, first) __attribute__((format(gnu_printf, fmt, first)))
#elif defined(__GNUC__)
#define MVFILES_PRINTF_LIKE(fmt, first) __attribute__((format(printf, fmt, first)))
#else
#define MVFILES_PRINTF_LIKE(fmt, first)
#endif

#endif
