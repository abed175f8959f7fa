// What the program needs from the operating system: the directory it runs
// from, a directory test, and on Windows its arguments and console output
// in UTF-8. Every text inside the program is UTF-8.
#include <string>
#include <vector>

#include "cli.h"

#if defined(_WIN32)

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

namespace mvcli {

namespace {

std::string narrow(const wchar_t *w) {
    int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return "";
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w, -1, &s[0], n, nullptr, nullptr);
    s.resize(static_cast<size_t>(n) - 1);
    return s;
}

// False for malformed UTF-8, which names no file.
bool widen(const std::string &s, std::wstring &out) {
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s.c_str(), -1, nullptr, 0);
    if (n <= 0) return false;
    out.assign(static_cast<size_t>(n), L'\0');
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s.c_str(), -1, &out[0], n) != n)
        return false;
    out.resize(static_cast<size_t>(n) - 1);
    return true;
}

bool is_console(DWORD which) {
    DWORD mode;
    return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

} // namespace

bool is_directory(const std::string &path) {
    std::wstring w;
    if (!widen(path, w)) return false;
    DWORD attrs = GetFileAttributesW(w.c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY);
}

std::string program_dir() {
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, &buf[0], static_cast<DWORD>(buf.size()));
        if (n == 0) return "";
        if (n < buf.size()) {
            buf.resize(n);
            break;
        }
        if (buf.size() >= 32768) return "";
        buf.resize(buf.size() * 2);
    }
    std::string path = narrow(buf.c_str());
    size_t sep = path.find_last_of("\\/");
    return sep == std::string::npos ? "" : path.substr(0, sep);
}

std::vector<std::string> utf8_arguments(int argc, wchar_t **argv) {
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i) args.push_back(narrow(argv[i]));
    return args;
}

Utf8Output::Utf8Output() {
    // Redirected output carries the bytes exactly as on other systems: no
    // "\r" before each "\n".
    bool out_console = is_console(STD_OUTPUT_HANDLE);
    bool err_console = is_console(STD_ERROR_HANDLE);
    if (!out_console) _setmode(_fileno(stdout), _O_BINARY);
    if (!err_console) _setmode(_fileno(stderr), _O_BINARY);
    if (out_console || err_console) {
        saved_code_page_ = GetConsoleOutputCP();
        SetConsoleOutputCP(CP_UTF8);
    }
}

Utf8Output::~Utf8Output() {
    // The console's code page is shared with the shell that started us.
    std::fflush(stdout);
    std::fflush(stderr);
    if (saved_code_page_) SetConsoleOutputCP(saved_code_page_);
}

} // namespace mvcli

#else

#include <sys/stat.h>
#include <unistd.h>

namespace mvcli {

bool is_directory(const std::string &path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string program_dir() {
    char buf[4096];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof buf - 1) return "";
    std::string path(buf, static_cast<size_t>(n));
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return "";
    return path.substr(0, slash == 0 ? 1 : slash);
}

} // namespace mvcli

#endif
