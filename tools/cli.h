// Shared pieces of the mvfiles command-line program: parsed options, the
// command table and the helpers every command uses to report its outcome.
#ifndef MVFILES_CLI_H
#define MVFILES_CLI_H

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace mvcli {

constexpr int EXIT_USAGE = 64;
constexpr int EXIT_IO = 74;      // the output could not be written

// Options that apply to every command.
struct Global {
    std::string corpus;
    bool corpus_set = false;
    std::string host;
    bool host_set = false;
    bool json = false;
    bool arm = false;
    bool version = false;
    std::string corpus_used;   // the corpus in use offline
};

// One option a command accepts.
struct OptionDef {
    const char *name;    // long name without the dashes, also the map key
    char short_name;     // 0 when there is none
    const char *meta;    // value placeholder, nullptr for a plain flag
    const char *help;
};

struct Command;

// The arguments of one command after parsing.
struct Parsed {
    const Command *cmd = nullptr;
    std::vector<std::string> pos;
    std::map<std::string, std::string> opt;

    bool has(const char *name) const { return opt.count(name) != 0; }
    const std::string *get(const char *name) const {
        auto it = opt.find(name);
        return it == opt.end() ? nullptr : &it->second;
    }
};

struct Ctx {
    const Global &g;
    const Parsed &a;
};

struct Command {
    const char *name;
    const char *synopsis;   // arguments after the command name
    const char *summary;    // one line for the command list
    const char *details;    // further help text, may be nullptr
    std::vector<OptionDef> opts;
    size_t min_pos;
    size_t max_pos;         // SIZE_MAX for any number
    bool write;
    int (*run)(Ctx &);
};

// A malformed command line: reported with the usage and exit status 64.
class UsageError : public std::runtime_error {
public:
    UsageError(const Command *c, const std::string &m) : std::runtime_error(m), cmd(c) {}
    const Command *cmd;
};

// args.cpp
// Fills g and p from argv; false when help was asked for (p.cmd then names
// the command whose help is wanted, or is nullptr). Throws UsageError.
bool parse_command_line(int argc, char **argv, Global &g, Parsed &p);
const std::vector<Command> &commands();
const Command *find_command(const std::string &name);
std::string global_usage();
std::string command_usage(const Command &c);
int32_t parse_i32(const Command *c, const char *what, const std::string &text);
double parse_real(const Command *c, const char *what, const std::string &text);
// Season and episode options: -1 when absent.
int32_t opt_i32(const Ctx &x, const char *name, int32_t dflt);

// corpus.cpp
std::string default_corpus();

// platform.cpp
bool is_directory(const std::string &path);
// Directory of the running program, "" when it cannot be told.
std::string program_dir();
#if defined(_WIN32)
// The UTF-16 command line as UTF-8 texts.
std::vector<std::string> utf8_arguments(int argc, wchar_t **argv);

// For the life of the program: UTF-8 on a console, plain bytes on files and
// pipes. Restores the console's code page when it ends.
class Utf8Output {
public:
    Utf8Output();
    ~Utf8Output();
    Utf8Output(const Utf8Output &) = delete;
    Utf8Output &operator=(const Utf8Output &) = delete;

private:
    unsigned saved_code_page_ = 0;
};
#endif

// report.cpp
// Reports a failed library call (its last-error text and last HTTP code) on
// stderr, and as a JSON document on stdout with --json. Returns the exit
// status for the result code.
int fail(Ctx &x, int32_t result);
// Same, with a message of the program's own instead of the library's.
int fail_msg(Ctx &x, int32_t result, const std::string &message);
int exit_status(int32_t result);
// Writes text to stdout whole; false when stdout could not take it.
bool emit(const std::string &text);
// Opens the --json success document: command name, result and HTTP code.
class Json;
void envelope(Json &j, const Ctx &x);
// Closes the document that out holds and writes it with its newline;
// returns 0, or EXIT_IO when stdout could not take it.
int finish_document(Json &j, std::string &out);
// Reports a malformed command line on stderr (and as a document with
// json); returns EXIT_USAGE.
int usage_error(bool json, const UsageError &e);
// Help or version: plain as it is, or value as the member `member` of a
// document.
int print_info(bool json, const char *member, const std::string &value,
               const std::string &plain);

// Command bodies (cmd_*.cpp).
int run_files(Ctx &);
int run_keys(Ctx &);
int run_playable(Ctx &);
int run_file_json(Ctx &);
int run_playlists(Ctx &);
int run_progress(Ctx &);
int run_subtitles(Ctx &);
int run_session_index(Ctx &);
int run_storages(Ctx &);
int run_sessions(Ctx &);
int run_save_progress(Ctx &);
int run_update_session(Ctx &);
int run_download_magnet(Ctx &);

} // namespace mvcli

#endif
