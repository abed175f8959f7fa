// Launcher of the loopback test server.
#include "support/loopback.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <yyjson.h>

#include "support/platform.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace mvtest {

namespace {

std::vector<std::string> server_args(const std::string &script, const std::string &fixtures, bool tls,
                                     int lifetime_s, bool hostile) {
    std::vector<std::string> args = {"python3", script, "--lifetime", std::to_string(lifetime_s)};
    if (!fixtures.empty()) {
        args.push_back("--fixtures");
        args.push_back(fixtures);
    }
    if (tls) args.push_back("--self-signed");
    if (hostile) args.push_back("--hostile");
    return args;
}

}  // namespace

std::string Loopback::writes() const {
    const veltrona_http *t = real_transport();
    std::string url = this->url("/_stats");
    std::string body;
    veltrona_http_request req;
    std::memset(&req, 0, sizeof req);
    req.size = VELTRONA_HTTP_REQUEST_SIZE;
    req.method = "GET";
    req.url = url.c_str();
    req.on_body = [](void *ctx, const void *d, uint64_t n) -> int32_t {
        static_cast<std::string *>(ctx)->append(static_cast<const char *>(d), n);
        return 0;
    };
    req.cb_ctx = &body;
    int32_t status = 0;
    char *err = nullptr;
    int32_t rc = t->request(nullptr, &req, &status, &err);
    if (err) t->free(nullptr, err);
    if (rc != 0 || status != 200) return "";
    yyjson_doc *doc = yyjson_read(body.data(), body.size(), 0);
    char *text = yyjson_val_write(yyjson_obj_get(yyjson_doc_get_root(doc), "writes"), 0, nullptr);
    std::string out = text ? text : "";
    std::free(text);
    yyjson_doc_free(doc);
    return out;
}

bool Loopback::read_ports(const std::string &line) {
    if (std::sscanf(line.c_str(), "http=%d https=%d garbage=%d", &port_, &https_port_, &garbage_port_) != 3 ||
        port_ <= 0) {
        why_ = "loopback server did not start: '" + line + "'";
        stop();
        return false;
    }
    return true;
}

#ifdef _WIN32

namespace {

// The Linux path of the port file as this (Wine) process opens it: the
// Linux root is drive Z:.
std::string wine_path(const std::string &linux_path) { return "Z:" + linux_path; }

std::string file_text(const std::string &path) {
    std::string text;
    if (FILE *f = std::fopen(path.c_str(), "rb")) {
        char buf[256];
        size_t n = std::fread(buf, 1, sizeof buf, f);
        text.assign(buf, n);
        std::fclose(f);
    }
    return text;
}

}  // namespace

bool Loopback::start(const std::string &script, const std::string &fixtures, bool tls, int lifetime_s,
                     bool hostile) {
    stop();
    // Wine numbers its processes afresh with each new server, so the next
    // run's processes get this run's ids again; the time this process made
    // its first name keeps a port file that an earlier run left behind (its
    // server outlived a test cut short) from being read as this server's.
    static int serial = 0;
    static const unsigned long long first_start = GetTickCount64();
    port_file_ = "/tmp/mvfiles-loopback-" + std::to_string(GetCurrentProcessId()) + "-" +
                 std::to_string(first_start) + "-" + std::to_string(++serial) + ".ports";
    DeleteFileA(wine_path(port_file_).c_str());
    std::vector<std::string> args = server_args(script, fixtures, tls, lifetime_s, hostile);
    args[0] = "/usr/bin/python3";
    args.push_back("--port-file");
    args.push_back(port_file_);
    std::string cmd;
    for (const std::string &a : args) cmd += (cmd.empty() ? "\"" : " \"") + a + "\"";
    // The server's standard handles go to NUL: a Linux child would otherwise
    // hold this process's output pipes open (and CTest waiting) until it
    // leaves.
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE nul = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                             OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = si.hStdOutput = si.hStdError = nul;
    PROCESS_INFORMATION pi = {};
    BOOL started = CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    DWORD why = GetLastError();
    if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
    if (!started) {
        why_ = "cannot start python3: " + std::to_string(why);
        port_file_.clear();
        return false;
    }
    // Wine starts a Linux program without a Windows process: it reports
    // success with no process handle, and what it puts in the thread handle
    // is no handle of the child but a leftover value. Closing it would
    // close whichever of this process's handles has that number, and the
    // socket that next gets the number then fails to connect.
    if (pi.hProcess) {
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    std::string line;
    for (int i = 0; i < 400 && line.find('\n') == std::string::npos; i++) {
        Sleep(25);
        line = file_text(wine_path(port_file_));
    }
    return read_ports(line);
}

void Loopback::stop() {
    if (!port_file_.empty()) {
        std::string gone = wine_path(port_file_ + ".gone");
        DeleteFileA(wine_path(port_file_).c_str());
        // Wait until the server has closed its ports.
        for (int i = 0; i < 200 && GetFileAttributesA(gone.c_str()) == INVALID_FILE_ATTRIBUTES; i++) Sleep(10);
        DeleteFileA(gone.c_str());
        port_file_.clear();
    }
    port_ = https_port_ = garbage_port_ = 0;
}

#else

bool Loopback::start(const std::string &script, const std::string &fixtures, bool tls, int lifetime_s,
                     bool hostile) {
    stop();
    int in_pipe[2], out_pipe[2];
    if (pipe(in_pipe) != 0) {
        why_ = "pipe failed";
        return false;
    }
    if (pipe(out_pipe) != 0) {
        close(in_pipe[0]);
        close(in_pipe[1]);
        why_ = "pipe failed";
        return false;
    }
    std::vector<std::string> args = server_args(script, fixtures, tls, lifetime_s, hostile);
    std::vector<char *> argv;
    for (auto &a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);

    pid_t pid = fork();
    if (pid < 0) {
        why_ = "fork failed";
        return false;
    }
    if (pid == 0) {
        dup2(in_pipe[0], 0);
        dup2(out_pipe[1], 1);
        close(in_pipe[0]);
        close(in_pipe[1]);
        close(out_pipe[0]);
        close(out_pipe[1]);
        execvp("python3", argv.data());
        _exit(127);
    }
    close(in_pipe[0]);
    close(out_pipe[1]);
    fcntl(in_pipe[1], F_SETFD, FD_CLOEXEC);
    pid_ = pid;
    stdin_fd_ = in_pipe[1];

    // The first line names the ports: "http=N https=M garbage=G".
    std::string line;
    char c;
    struct pollfd pfd = {out_pipe[0], POLLIN, 0};
    while (line.size() < 200) {
        int r = poll(&pfd, 1, 10000);
        if (r <= 0) break;
        ssize_t n = read(out_pipe[0], &c, 1);
        if (n <= 0) break;
        if (c == '\n') break;
        line.push_back(c);
    }
    close(out_pipe[0]);
    return read_ports(line);
}

void Loopback::stop() {
    if (stdin_fd_ >= 0) {
        close(stdin_fd_);  // the server leaves at end of its input
        stdin_fd_ = -1;
    }
    if (pid_ > 0) {
        kill(static_cast<pid_t>(pid_), SIGTERM);
        int st = 0;
        while (waitpid(static_cast<pid_t>(pid_), &st, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
    }
    port_ = https_port_ = garbage_port_ = 0;
}

#endif

}  // namespace mvtest
