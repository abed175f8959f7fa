// Where the bundled fixture corpus is: beside the installed program, or in
// the source tree for a program run from its build tree.
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "cli.h"

#ifndef MVFILES_CLI_REL_FIXTURES
#define MVFILES_CLI_REL_FIXTURES "../share/mvfiles/fixtures"
#endif
#ifndef MVFILES_CLI_SOURCE_FIXTURES
#define MVFILES_CLI_SOURCE_FIXTURES "fixtures"
#endif

namespace mvcli {

bool is_directory(const std::string &path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

namespace {

// Directory of the running program, "" when it cannot be told.
std::string program_dir() {
    char buf[4096];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof buf - 1) return "";
    std::string path(buf, static_cast<size_t>(n));
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return "";
    return path.substr(0, slash == 0 ? 1 : slash);
}

} // namespace

std::string default_corpus() {
    std::string dir = program_dir();
    if (!dir.empty()) {
        std::string installed = dir + "/" MVFILES_CLI_REL_FIXTURES;
        if (is_directory(installed)) return installed;
    }
    return MVFILES_CLI_SOURCE_FIXTURES;
}

} // namespace mvcli
