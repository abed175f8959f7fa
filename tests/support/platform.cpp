#include "support/platform.h"
#include "http/real_transport.h"

#include <atomic>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char **environ;
#endif

namespace fsys = std::filesystem;

namespace mvtest {

namespace {

std::string slurp(const fsys::path &path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

#ifdef _WIN32
std::wstring wide(const std::string &s) {
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
    return w;
}

// One argument quoted so that the C runtime's parser gives it back intact.
void append_quoted(std::wstring *cmd, const std::wstring &arg) {
    if (!cmd->empty()) *cmd += L' ';
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        *cmd += arg;
        return;
    }
    *cmd += L'"';
    size_t slashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        // Backslashes before a quote are doubled, and the quote escaped.
        cmd->append(c == L'"' ? 2 * slashes + 1 : slashes, L'\\');
        slashes = 0;
        *cmd += c;
    }
    cmd->append(2 * slashes, L'\\');
    *cmd += L'"';
}

// Wine, on a loaded machine, now and then fails to start a program with
// ERROR_INTERNAL_ERROR before the program runs at all; that is worth
// another try, any other failure is not.
bool start_process(std::wstring *cmd, STARTUPINFOW *si, PROCESS_INFORMATION *pi) {
    for (int attempt = 0;; ++attempt) {
        if (CreateProcessW(nullptr, &(*cmd)[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, si, pi))
            return true;
        if (GetLastError() != ERROR_INTERNAL_ERROR || attempt == 2) return false;
        Sleep(100);
    }
}

HANDLE open_for_child(const fsys::path &path, bool write) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    return CreateFileW(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                       write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}
#endif

}  // namespace

std::string temp_dir() {
    static std::atomic<unsigned> serial{0};
    std::error_code ec;
    fsys::path base = fsys::temp_directory_path(ec);
    if (ec) return "";
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (int attempt = 0; attempt < 100; ++attempt) {
        fsys::path p = base / ("mvfiles-test-" + std::to_string(stamp) + "-" + std::to_string(serial++));
        if (fsys::create_directory(p, ec)) return p.generic_u8string();
    }
    return "";
}

Outcome run_program(const std::vector<std::string> &argv) {
    Outcome r;
    const std::string dir = temp_dir();
    if (dir.empty() || argv.empty()) {
        r.err = "no temporary directory";
        return r;
    }
    std::string why;  // set when the program could not be started
    const fsys::path out = fsys::u8path(dir + "/out"), err = fsys::u8path(dir + "/err");
#ifdef _WIN32
    std::wstring cmd;
    for (const std::string &a : argv) append_quoted(&cmd, wide(a));
    HANDLE in = open_for_child(L"NUL", false);
    HANDLE o = open_for_child(out, true), e = open_for_child(err, true);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = in;
    si.hStdOutput = o;
    si.hStdError = e;
    PROCESS_INFORMATION pi{};
    if (in == INVALID_HANDLE_VALUE || o == INVALID_HANDLE_VALUE || e == INVALID_HANDLE_VALUE) {
        why = "cannot open the standard handles: " + std::to_string(GetLastError());
    } else if (!start_process(&cmd, &si, &pi)) {
        why = "CreateProcessW failed: " + std::to_string(GetLastError());
    } else {
        DWORD code = 0;
        if (WaitForSingleObject(pi.hProcess, INFINITE) == WAIT_OBJECT_0 &&
            GetExitCodeProcess(pi.hProcess, &code))
            r.status = static_cast<int>(code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    for (HANDLE h : {in, o, e})
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
#else
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&fa, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char *> args;
    for (const auto &a : argv) args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid;
    int rc = posix_spawnp(&pid, args[0], &fa, nullptr, args.data(), environ);
    if (rc == 0) {
        int ws = 0;
        if (waitpid(pid, &ws, 0) == pid && WIFEXITED(ws)) r.status = WEXITSTATUS(ws);
    } else {
        why = std::string("posix_spawnp failed: ") + std::strerror(rc);
    }
    posix_spawn_file_actions_destroy(&fa);
#endif
    r.out = slurp(out);
    r.err = why.empty() ? slurp(err) : why;
    std::error_code ec;
    fsys::remove_all(fsys::u8path(dir), ec);
    return r;
}

bool use_comma_locale() {
#ifdef _WIN32
    const char *names[] = {"German_Germany.1252", "de-DE", "French_France.1252", "fr-FR"};
#else
    const char *names[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "ru_RU.UTF-8", "de_DE"};
#endif
    auto pick = [&] {
        for (const char *n : names)
            if (std::setlocale(LC_NUMERIC, n) && std::strcmp(std::localeconv()->decimal_point, ",") == 0)
                return true;
        std::setlocale(LC_NUMERIC, "C");
        return false;
    };
    if (pick()) return true;
#ifdef _WIN32
    return false;
#else
    const std::string dir = temp_dir();
    if (dir.empty()) return false;
    std::string cmd = "localedef -i de_DE -f UTF-8 " + dir + "/de_DE.UTF-8 >/dev/null 2>&1";
    bool ok = std::system(cmd.c_str()) == 0 && setenv("LOCPATH", dir.c_str(), 1) == 0 && pick();
    // The loaded locale stays mapped; its files are no longer needed.
    std::error_code ec;
    fsys::remove_all(dir, ec);
    return ok;
#endif
}

#ifdef _WIN32
Library::Library(const std::string &path) {
    handle_ = reinterpret_cast<void *>(LoadLibraryW(wide(path).c_str()));
    if (!handle_) error_ = "LoadLibraryW failed: " + std::to_string(GetLastError());
}
Library::~Library() {
    if (handle_) FreeLibrary(reinterpret_cast<HMODULE>(handle_));
}
void *Library::symbol(const char *name) const {
    return handle_ ? reinterpret_cast<void *>(GetProcAddress(reinterpret_cast<HMODULE>(handle_), name))
                   : nullptr;
}
#else
Library::Library(const std::string &path) {
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) error_ = dlerror();
}
Library::~Library() {
    if (handle_) dlclose(handle_);
}
void *Library::symbol(const char *name) const { return handle_ ? dlsym(handle_, name) : nullptr; }
#endif

bool under_wine() {
#ifdef _WIN32
    HMODULE nt = GetModuleHandleA("ntdll.dll");
    return nt && GetProcAddress(nt, "wine_get_version");
#else
    return false;
#endif
}

const veltrona_http *real_transport() {
    return veltrona_http_curl() ? veltrona_http_curl() : veltrona_http_winhttp();
}

}  // namespace mvtest
