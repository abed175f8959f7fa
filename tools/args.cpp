// The command table, usage texts and the command-line parser.
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>

#include "cli.h"

namespace mvcli {

namespace {

const OptionDef OPT_SEASON{"season", 's', "N", "season number (none when omitted)"};
const OptionDef OPT_EPISODE{"episode", 'e', "N", "episode number (none when omitted)"};

const char WRITE_WARNING[] =
    "This command CHANGES REAL DATA on the service. It runs only with --arm;\n"
    "without --arm the library refuses it (exit status 9) and nothing is sent.\n";

std::vector<Command> make_commands() {
    return {
        {"files", "ID [-s N] [-e N]", "list the files of an IMDb title",
         "ID is an IMDb id such as tt4154796; -s and -e narrow a series to a\n"
         "season and an episode.\n",
         {OPT_SEASON, OPT_EPISODE}, 1, 1, false, run_files},
        {"keys", "KEY...", "list the files with the given file keys",
         "Asks the service for the files with the given keys (1 to 4096).\n",
         {}, 1, SIZE_MAX, false, run_keys},
        {"playable", "ID [-s N] [-e N]", "tell whether a title can be played",
         "Prints \"playable\" or \"not playable\" (exit status 0 for both).\n",
         {OPT_SEASON, OPT_EPISODE}, 1, 1, false, run_playable},
        {"file-json", "ID INDEX", "print one file of a title as JSON",
         "Looks up the files of ID and prints file INDEX (0-based) as the\n"
         "service sent it, compact JSON.\n",
         {}, 2, 2, false, run_file_json},
        {"playlists", "TYPE", "list the curated playlists of one type",
         "TYPE is Production, Movies or Series.\n", {}, 1, 1, false, run_playlists},
        {"progress", "[--user U] [--profile N] ID", "list saved watch positions of a title",
         nullptr,
         {{"user", 'u', "U", "user id (empty when omitted)"},
          {"profile", 'p', "N", "profile number (default 0)"}},
         1, 1, false, run_progress},
        {"subtitles", "ID [-s N] [-e N]", "list external subtitles of a title",
         "Lists the subtitles added for one episode of a series, or for a film\n"
         "without -s and -e; a subtitle derived from another shows its parent's id.\n",
         {{"season", 's', "N", "season number (default -1: a film)"},
          {"episode", 'e', "N", "episode number (default -1: a film)"}},
         1, 1, false, run_subtitles},
        {"session-index", "[--user U]", "list the playback-session index",
         "Lists the index rows of one user, or of all users without --user.\n",
         {{"user", 'u', "U", "user id (all users when omitted)"}}, 0, 0, false, run_session_index},
        {"storages", "", "list the user's cloud storages", nullptr, {}, 0, 0, false, run_storages},
        {"sessions", "IDS", "show playback-session rows by their ids",
         "IDS is sent to the service as it is.\n", {}, 1, 1, false, run_sessions},
        {"save-progress", "USER PROFILE ID SEASON EPISODE POSITION DURATION",
         "save a watch position (WRITE)",
         "Saves POSITION/DURATION (both in seconds) as the watched fraction of an\n"
         "episode (season and episode -1 for a film).\n",
         {}, 7, 7, true, run_save_progress},
        {"update-session", "KEY BASE64 [POSITION DURATION]", "overwrite a playback-session row (WRITE)",
         "Sends BASE64 as the new body of the session row KEY; POSITION and\n"
         "DURATION travel along when both are given.\n",
         {}, 2, 4, true, run_update_session},
        {"download-magnet", "USER SOURCE [STORAGE [DOWNLOADER [EXTENSION]]] [--tkey]",
         "queue a download (WRITE)",
         "SOURCE is a magnet link, or a tkey with --tkey; STORAGE is a storage id,\n"
         "DOWNLOADER a downloader id and EXTENSION a file extension.\n",
         {{"tkey", 't', nullptr, "SOURCE is a tkey, not a magnet link"}}, 2, 5, true,
         run_download_magnet},
    };
}

const OptionDef GLOBAL_OPTS[] = {
    {"corpus", 0, "DIR", "offline corpus directory (default: the bundled fixtures)"},
    {"host", 0, "ORIGIN", "use the live service at ORIGIN instead of the offline corpus"},
    {"json", 0, nullptr, "machine-readable output: one JSON document on stdout"},
    {"arm", 0, nullptr, "allow the write commands to change real data"},
    {"help", 'h', nullptr, "show help (after a command: that command's help)"},
    {"version", 0, nullptr, "show the library version"},
};

void append_opt(std::string &out, const OptionDef &o) {
    std::string left = "  ";
    left += o.short_name ? std::string("-") + o.short_name + ", " : std::string("    ");
    left += "--";
    left += o.name;
    if (o.meta) {
        left += ' ';
        left += o.meta;
    }
    if (left.size() < 26) left.append(26 - left.size(), ' ');
    else left += "  ";
    out += left;
    out += o.help;
    out += '\n';
}

bool looks_negative_number(const char *s) {
    return s[0] == '-' && ((s[1] >= '0' && s[1] <= '9') || (s[1] == '.' && s[2] >= '0' && s[2] <= '9'));
}

} // namespace

const std::vector<Command> &commands() {
    static const std::vector<Command> list = make_commands();
    return list;
}

const Command *find_command(const std::string &name) {
    for (const auto &c : commands())
        if (name == c.name) return &c;
    return nullptr;
}

std::string global_usage() {
    std::string out =
        "usage: mvfiles [OPTIONS] COMMAND [ARGS...]\n"
        "\n"
        "Looks up the mvfiles catalogue: files of a title, the user's key-value\n"
        "data and playback sessions. Without --host every look-up is answered\n"
        "offline from a fixture corpus.\n"
        "\n"
        "commands:\n";
    for (const auto &c : commands()) {
        std::string left = "  ";
        left += c.name;
        if (left.size() < 18) left.append(18 - left.size(), ' ');
        out += left + c.summary + "\n";
    }
    out += "\noptions (before or after the command):\n";
    for (const auto &o : GLOBAL_OPTS) append_opt(out, o);
    out +=
        "\n"
        "save-progress, update-session and download-magnet CHANGE REAL DATA on\n"
        "the service; they run only with --arm.\n"
        "\n"
        "Exit status: 0 on success, the library's result code (1-9) on failure,\n"
        "64 for a malformed command line, 74 when the output could not be\n"
        "written. 'mvfiles COMMAND --help' shows more.\n";
    return out;
}

std::string command_usage(const Command &c) {
    std::string out = "usage: mvfiles [OPTIONS] ";
    out += c.name;
    if (*c.synopsis) {
        out += ' ';
        out += c.synopsis;
    }
    out += "\n\n";
    out += c.summary;
    out += ".\n";
    if (c.details) {
        out += '\n';
        out += c.details;
    }
    if (c.write) {
        out += '\n';
        out += WRITE_WARNING;
    }
    if (!c.opts.empty()) {
        out += "\noptions:\n";
        for (const auto &o : c.opts) append_opt(out, o);
    }
    out += "\nglobal options:\n";
    for (const auto &o : GLOBAL_OPTS) append_opt(out, o);
    return out;
}

int32_t parse_i32(const Command *c, const char *what, const std::string &text) {
    const char *s = text.c_str();
    char *end = nullptr;
    errno = 0;
    long long v = std::strtoll(s, &end, 10);
    if (text.empty() || *end || errno == ERANGE || v < INT32_MIN || v > INT32_MAX || s[0] == ' ')
        throw UsageError(c, std::string(what) + " must be a whole number (got '" + text + "')");
    return static_cast<int32_t>(v);
}

double parse_real(const Command *c, const char *what, const std::string &text) {
    const char *s = text.c_str();
    char *end = nullptr;
    errno = 0;
    double v = std::strtod(s, &end);
    if (text.empty() || *end || s[0] == ' ' || !std::isfinite(v))
        throw UsageError(c, std::string(what) + " must be a finite number (got '" + text + "')");
    return v;
}

int32_t opt_i32(const Ctx &x, const char *name, int32_t dflt) {
    const std::string *v = x.a.get(name);
    if (!v) return dflt;
    std::string what = "--";
    what += name;
    return parse_i32(x.a.cmd, what.c_str(), *v);
}

// Parses the whole command line. Global options may stand before or after
// the command; "--" ends the options; "-5" and the like are arguments, so
// negative numbers need no "--". Returns false when help was asked for.
bool parse_command_line(int argc, char **argv, Global &g, Parsed &p) {
    bool help = false;
    bool options_done = false;
    std::set<std::string> seen;
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        const Command *c = p.cmd;
        if (options_done || arg[0] != '-' || arg[1] == 0 || looks_negative_number(arg)) {
            if (!c) {
                c = find_command(arg);
                if (!c) {
                    if (std::strcmp(arg, "help") == 0) {
                        if (i + 1 < argc) {
                            p.cmd = find_command(argv[i + 1]);
                            if (!p.cmd) throw UsageError(nullptr, std::string("unknown command '") + argv[i + 1] + "'");
                        }
                        return false;
                    }
                    throw UsageError(nullptr, std::string("unknown command '") + arg + "'");
                }
                p.cmd = c;
            } else {
                p.pos.emplace_back(arg);
            }
            continue;
        }
        if (std::strcmp(arg, "--") == 0) {
            options_done = true;
            continue;
        }

        // Split "--name=value"; "-x" names its option by its short letter.
        std::string name, value;
        bool has_value = false;
        if (arg[1] == '-') {
            name = arg + 2;
            size_t eq = name.find('=');
            if (eq != std::string::npos) {
                value = name.substr(eq + 1);
                name.erase(eq);
                has_value = true;
            }
        } else {
            if (arg[2] != 0) throw UsageError(c, std::string("unknown option '") + arg + "'");
            char letter = arg[1];
            const OptionDef *hit = nullptr;
            if (c)
                for (const auto &o : c->opts)
                    if (o.short_name == letter) hit = &o;
            for (const auto &o : GLOBAL_OPTS)
                if (!hit && o.short_name == letter) hit = &o;
            if (!hit) throw UsageError(c, std::string("unknown option '") + arg + "'");
            name = hit->name;
        }

        const OptionDef *def = nullptr;
        bool global = false;
        if (c)
            for (const auto &o : c->opts)
                if (name == o.name) def = &o;
        if (!def)
            for (const auto &o : GLOBAL_OPTS)
                if (name == o.name) {
                    def = &o;
                    global = true;
                }
        if (!def) throw UsageError(c, std::string("unknown option '") + arg + "'");
        // A second value would silently win over the first.
        if (!seen.insert(name).second)
            throw UsageError(c, std::string("option '--") + name + "' given more than once");

        if (def->meta && !has_value) {
            if (i + 1 >= argc)
                throw UsageError(c, std::string("option '") + arg + "' needs a value (" + def->meta + ")");
            value = argv[++i];
        } else if (!def->meta && has_value) {
            throw UsageError(c, std::string("option '--") + name + "' takes no value");
        }

        if (!global) {
            p.opt[name] = value;
        } else if (name == "corpus") {
            g.corpus = value;
            g.corpus_set = true;
        } else if (name == "host") {
            g.host = value;
            g.host_set = true;
        } else if (name == "json") {
            g.json = true;
        } else if (name == "arm") {
            g.arm = true;
        } else if (name == "help") {
            help = true;
        } else if (name == "version") {
            g.version = true;
        }
    }
    if (help) return false;
    if (!p.cmd) return true;
    if (p.pos.size() < p.cmd->min_pos) throw UsageError(p.cmd, "missing arguments");
    if (p.pos.size() > p.cmd->max_pos) throw UsageError(p.cmd, "too many arguments");
    if (g.corpus_set && g.host_set) throw UsageError(p.cmd, "--corpus and --host exclude each other");
    return true;
}

} // namespace mvcli
