// Launcher of the loopback test server.
#include "support/loopback.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace mvtest {

bool Loopback::start(const std::string &script, const std::string &fixtures, const std::string &cert,
                     const std::string &key, int lifetime_s, bool hostile) {
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
    std::string lifetime = std::to_string(lifetime_s);
    std::vector<std::string> args = {"python3", script, "--lifetime", lifetime};
    if (!fixtures.empty()) {
        args.push_back("--fixtures");
        args.push_back(fixtures);
    }
    if (!cert.empty()) {
        args.push_back("--cert");
        args.push_back(cert);
        args.push_back("--key");
        args.push_back(key);
    }
    if (hostile) args.push_back("--hostile");
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
    if (std::sscanf(line.c_str(), "http=%d https=%d garbage=%d", &port_, &https_port_, &garbage_port_) != 3 ||
        port_ <= 0) {
        why_ = "loopback server did not start: '" + line + "'";
        stop();
        return false;
    }
    return true;
}

void Loopback::stop() {
    if (stdin_fd_ >= 0) {
        close(stdin_fd_);  // the server leaves at end of its input
        stdin_fd_ = -1;
    }
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int st = 0;
        while (waitpid(pid_, &st, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
    }
    port_ = https_port_ = garbage_port_ = 0;
}

bool make_self_signed(std::string *dir, std::string *cert, std::string *key) {
    char tmpl[] = "/tmp/mvfiles-tls-XXXXXX";
    if (!mkdtemp(tmpl)) return false;
    *dir = tmpl;
    *cert = *dir + "/cert.pem";
    *key = *dir + "/key.pem";
    std::string cmd = "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1"
                      " -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout '" +
                      *key + "' -out '" + *cert + "' >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

void remove_dir(const std::string &dir) {
    if (dir.empty()) return;
    std::string cmd = "rm -rf '" + dir + "'";
    if (std::system(cmd.c_str()) != 0) {
    }
}

}  // namespace mvtest
