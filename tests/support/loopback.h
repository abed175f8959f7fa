// Starts tests/loopback_server.py on 127.0.0.1 for the duration of a test
// and stops it again. Plain POSIX, no test framework, so that benchmarks
// can use it too.
#ifndef MVFILES_TEST_LOOPBACK_H
#define MVFILES_TEST_LOOPBACK_H

#include <string>
#include <sys/types.h>

namespace mvtest {

class Loopback {
public:
    Loopback() = default;
    ~Loopback() { stop(); }
    Loopback(const Loopback &) = delete;
    Loopback &operator=(const Loopback &) = delete;

    // Runs `script` with python3; cert and key (both or neither) add the
    // HTTPS port, hostile its misbehaving routes and the garbage port.
    // Returns false (with why()) when the server did not start.
    bool start(const std::string &script, const std::string &fixtures = "",
               const std::string &cert = "", const std::string &key = "",
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

private:
    pid_t pid_ = -1;
    int stdin_fd_ = -1;
    int port_ = 0;
    int https_port_ = 0;
    int garbage_port_ = 0;
    std::string why_;
};

// Writes a self-signed certificate for 127.0.0.1 and its key into a new
// temporary directory; false when openssl is not there.
bool make_self_signed(std::string *dir, std::string *cert, std::string *key);
void remove_dir(const std::string &dir);

}  // namespace mvtest

#endif
