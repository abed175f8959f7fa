// mvfiles: command-line access to the catalogue service, offline from a
// fixture corpus or live with --host.
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "cli.h"
#include "mvfiles.h"

namespace {

using namespace mvcli;

// Installs the transport the options ask for. Returns 0 or an exit status.
int setup_transport(Global &g, Ctx &x) {
    if (g.host_set) {
        mvfiles_set_host(g.host.c_str());
        mvfiles_result r = mvfiles_use_curl();
        if (r != MVFILES_OK) return fail(x, r);
        return 0;
    }
    g.corpus_used = g.corpus_set ? g.corpus : default_corpus();
    // The library refuses a path it cannot keep whole and says nothing.
    mvfiles_result r = mvfiles_fake_corpus(g.corpus_used.c_str());
    if (r != MVFILES_OK) return fail_msg(x, r, "corpus path over 511 bytes");
    mvfiles_use_fake();
    return 0;
}

// Whether --json stands among the options, for a command line that was not
// parsed up to it (an error, or "help COMMAND" before it).
bool asks_for_json(int argc, char **argv) {
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i)
        if (std::strcmp(argv[i], "--json") == 0) return true;
    return false;
}

int run(int argc, char **argv) {
    Global g;
    Parsed p;
    bool go;
    try {
        go = parse_command_line(argc, argv, g, p);
        if (go && !g.version && !p.cmd) throw UsageError(nullptr, "no command given");
    } catch (const UsageError &e) {
        return usage_error(g.json || asks_for_json(argc, argv), e);
    }
    if (!go) {
        std::string help = p.cmd ? command_usage(*p.cmd) : global_usage();
        return print_info(g.json || asks_for_json(argc, argv), "help", help, help);
    }
    if (g.version)
        return print_info(g.json, "version", mvfiles_version(),
                          std::string("mvfiles ") + mvfiles_version() + "\n");

    Ctx x{g, p};
    int rc = setup_transport(g, x);
    if (rc) return rc;
    try {
        rc = p.cmd->run(x);
    } catch (const UsageError &e) {
        rc = usage_error(g.json, e);
    }
    mvfiles_shutdown();
    return rc;
}

int program_main(int argc, char **argv) {
    int rc;
    try {
        rc = run(argc, argv);
    } catch (const std::bad_alloc &) {
        std::fputs("mvfiles: out of memory\n", stderr);
        return MVFILES_ERR_OOM;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "mvfiles: %s\n", e.what());
        return 1;
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fputs("mvfiles: cannot write the output\n", stderr);
        return EXIT_IO;
    }
    return rc;
}

} // namespace

#if defined(_WIN32)
// Windows hands the arguments over in UTF-16; the program works in UTF-8.
int wmain(int argc, wchar_t **wargv) {
    Utf8Output output;
    std::vector<std::string> args;
    std::vector<char *> argv;
    try {
        args = utf8_arguments(argc, wargv);
        for (std::string &a : args) argv.push_back(&a[0]);
        argv.push_back(nullptr);
    } catch (const std::bad_alloc &) {
        std::fputs("mvfiles: out of memory\n", stderr);
        return MVFILES_ERR_OOM;
    }
    return program_main(static_cast<int>(args.size()), argv.data());
}
#else
int main(int argc, char **argv) { return program_main(argc, argv); }
#endif
