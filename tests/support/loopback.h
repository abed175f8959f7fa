// Starts tests/loopback_server.py on 127.0.0.1 for the duration of a test
// and stops it again. No test framework, so that benchmarks can use it too.
//
// On Linux the server is a child reading our pipe. A Windows test runs
// under Wine and starts the server as a native Linux process, which cannot
// share pipes with it: the server then writes its ports to a file and
// leaves once that file is removed.
#ifndef MVFILES_TEST_LOOPBACK_H
#define MVFILES_TEST_LOOPBACK_H

#include <string>

namespace mvtest {

class Loopback {
public:
    Loopback() = default;
    ~Loopback() { stop(); }
    Loopback(const Loopback &) = delete;
    Loopback &operator=(const Loopback &) = delete;

    // Runs `script` with python3, serving `fixtures` when given; `tls` adds
    // an HTTPS port with a new self-signed certificate for 127.0.0.1,
    // `hostile` the misbehaving routes and the garbage port.
    // Returns false (with why()) when the server did not start.
    bool start(const std::string &script, const std::string &fixtures = "", bool tls = false,
               int lifetime_s = 120, bool hostile = false);
    void stop();

    int port() const { return port_; }
    int https_port() const { return https_port_; }
    int garbage_port() const { return garbage_port_; }
    std::string origin() const { return "http://127.0.0.1:" + std::to_string(port_); }
    std::string url(const std::string &path) const { return origin() + path; }
    std::string https_url(const std::string &path) const {
        return "https://127.0.0.1:" + std::to_string(https_port_) + path;
    }
    const std::string &why() const { return why_; }
    // The writes the server received, as the JSON text of its statistics'
    // "writes" array (asked over the platform's real transport); "" when
    // they could not be read.
    std::string writes() const;

private:
    bool read_ports(const std::string &line);

    // The server process and its input, used on POSIX only.
    [[maybe_unused]] long long pid_ = -1;
    [[maybe_unused]] int stdin_fd_ = -1;
    std::string port_file_;
    int port_ = 0;
    int https_port_ = 0;
    int garbage_port_ = 0;
    std::string why_;
};

}  // namespace mvtest

#endif
