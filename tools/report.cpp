// Reporting outcomes: failures on stderr (and as JSON with --json), exit
// statuses, and writing the output.
#include <cstdio>
#include <string>

#include "cli.h"
#include "json_out.h"
#include "mvfiles.h"

namespace mvcli {

int exit_status(int32_t result) {
    if (result == 0) return 0;
    if (result > 0 && result < EXIT_USAGE) return result;
    return 1;   // -1 (a failed playability look-up) and anything unexpected
}

bool emit(const std::string &text) {
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
}

namespace {

// The members every --json document begins with; cmd is nullptr when no
// command ran (--help, --version, a command line without one).
void open_document(Json &j, const Command *cmd, bool ok, int32_t result, int32_t http) {
    j.begin_object().key("command");
    if (cmd) j.str(cmd->name); else j.null();
    j.key("ok").boolean(ok).key("result").num(result).key("http").num(http);
}

// A failure's document: the envelope, the message and a hint or null.
int emit_failure(const Command *cmd, int32_t result, int32_t http, const std::string &message,
                 const std::string &hint) {
    std::string out;
    Json j(out);
    open_document(j, cmd, false, result, http);
    j.key("error").str(message).key("hint");
    if (hint.empty()) j.null(); else j.str(hint);
    return finish_document(j, out);
}

} // namespace

int finish_document(Json &j, std::string &out) {
    j.end_object();
    out += '\n';
    return emit(out) ? 0 : EXIT_IO;
}

int fail_msg(Ctx &x, int32_t result, const std::string &message) {
    int32_t http = mvfiles_last_http_code();
    const char *name = x.a.cmd ? x.a.cmd->name : "mvfiles";
    std::fprintf(stderr, "mvfiles %s: %s (result %d, HTTP %d)\n", name,
                 message.empty() ? "failed without a message" : message.c_str(),
                 static_cast<int>(result), static_cast<int>(http));
    std::string hint;
    if (result == MVFILES_ERR_NOT_ARMED)
        hint = "nothing was sent; pass --arm to allow this write";
    if (result == MVFILES_ERR_TRANSPORT && !x.g.host_set && !is_directory(x.g.corpus_used))
        hint = "the corpus directory '" + x.g.corpus_used + "' does not exist";
    if (!hint.empty()) std::fprintf(stderr, "mvfiles %s: %s\n", name, hint.c_str());
    if (x.g.json) emit_failure(x.a.cmd, result, http, message, hint);
    return exit_status(result);
}

int usage_error(bool json, const UsageError &e) {
    std::fprintf(stderr, "mvfiles: %s\n\n%s", e.what(),
                 e.cmd ? command_usage(*e.cmd).c_str() : global_usage().c_str());
    if (json) emit_failure(e.cmd, EXIT_USAGE, 0, e.what(), "");
    return EXIT_USAGE;
}

int print_info(bool json, const char *member, const std::string &value,
               const std::string &plain) {
    if (!json) return emit(plain) ? 0 : EXIT_IO;
    std::string out;
    Json j(out);
    open_document(j, nullptr, true, 0, 0);
    j.key(member).str(value);
    return finish_document(j, out);
}

void envelope(Json &j, const Ctx &x) { open_document(j, x.a.cmd, true, 0, mvfiles_last_http_code()); }

int fail(Ctx &x, int32_t result) { return fail_msg(x, result, mvfiles_last_error()); }

} // namespace mvcli
