// What the suites need from the operating system, the same on Linux and
// Windows: scratch directories, running a program with its output captured,
// a decimal-comma locale and loading a fresh copy of the shared library.
#ifndef MVFILES_TEST_PLATFORM_H
#define MVFILES_TEST_PLATFORM_H

#include <string>
#include <vector>

#include "veltrona_http.h"

namespace mvtest {

// A new empty directory under the system's temporary directory; "" when
// none could be made. Paths use '/' and are UTF-8.
std::string temp_dir();

struct Outcome {
    int status = -1;  // exit status, or -1 when the program did not run to its end
    std::string out, err;
};

// Runs argv[0] (looked up on PATH when it names no directory) with empty
// input and its standard output and error captured. Arguments are UTF-8.
Outcome run_program(const std::vector<std::string> &argv);

// Switches LC_NUMERIC to a locale whose decimal separator is a comma
// (generating one when none is installed, on Linux); false if impossible.
bool use_comma_locale();

// True in a Windows program running under Wine, whose WinHTTP lacks a few
// things Windows has; tests that need them say so and skip there.
bool under_wine();

// The platform's real transport, chosen as mvfiles_use_curl chooses it:
// libcurl where it exists, else WinHTTP.
const veltrona_http *real_transport();

// A freshly loaded copy of a shared library and its symbols; the error text
// of the last failure from error().
class Library {
public:
    explicit Library(const std::string &path);
    ~Library();
    Library(const Library &) = delete;
    Library &operator=(const Library &) = delete;
    bool loaded() const { return handle_ != nullptr; }
    void *symbol(const char *name) const;
    const std::string &error() const { return error_; }

private:
    void *handle_ = nullptr;
    std::string error_;
};

}  // namespace mvtest

#endif
