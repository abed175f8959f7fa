// mvfiles: command-line access to the catalogue service, offline from a
// fixture corpus or live with --host.
#include <cstdio>
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
    mvfiles_result r = mvfiles_fake_corpus(g.corpus_used.c_str());
    if (r != MVFILES_OK) return fail(x, r);
    mvfiles_use_fake();
    return 0;
}

int run(int argc, char **argv) {
    Global g;
    Parsed p;
    bool go;
    try {
        go = parse_command_line(argc, argv, g, p);
        // The fixture backend keeps at most 511 bytes of its directory; a
        // longer path would silently read from another directory.
        if (go && g.corpus_set && g.corpus.size() > 511)
            throw UsageError(p.cmd, "corpus path too long (at most 511 bytes)");
    } catch (const UsageError &e) {
        std::fprintf(stderr, "mvfiles: %s\n\n%s", e.what(),
                     e.cmd ? command_usage(*e.cmd).c_str() : global_usage().c_str());
        return EXIT_USAGE;
    }
    if (!go) {
        emit(p.cmd ? command_usage(*p.cmd) : global_usage());
        return 0;
    }
    if (g.version) {
        emit(std::string("mvfiles ") + mvfiles_version() + "\n");
        return 0;
    }
    if (!p.cmd) {
        std::fprintf(stderr, "mvfiles: no command given\n\n%s", global_usage().c_str());
        return EXIT_USAGE;
    }

    Ctx x{g, p};
    int rc = setup_transport(g, x);
    if (rc) return rc;
    try {
        rc = p.cmd->run(x);
    } catch (const UsageError &e) {
        std::fprintf(stderr, "mvfiles: %s\n\n%s", e.what(), command_usage(*p.cmd).c_str());
        rc = EXIT_USAGE;
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
