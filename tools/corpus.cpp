// Where the bundled fixture corpus is: beside the installed program, or in
// the source tree for a program run from its build tree.
#include <string>

#include "cli.h"

#ifndef MVFILES_CLI_REL_FIXTURES
#define MVFILES_CLI_REL_FIXTURES "../share/mvfiles/fixtures"
#endif
#ifndef MVFILES_CLI_SOURCE_FIXTURES
#define MVFILES_CLI_SOURCE_FIXTURES "fixtures"
#endif

namespace mvcli {

std::string default_corpus() {
    std::string dir = program_dir();
    if (!dir.empty()) {
        std::string installed = dir + "/" MVFILES_CLI_REL_FIXTURES;
        if (is_directory(installed)) return installed;
    }
    return MVFILES_CLI_SOURCE_FIXTURES;
}

} // namespace mvcli
