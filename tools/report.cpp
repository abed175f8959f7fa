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

int fail_msg(Ctx &x, int32_t result, const std::string &message) {
    int32_t http = mvfiles_last_http_code();
    const char *name = x.a.cmd ? x.a.cmd->name : "mvfiles";
    std::fprintf(stderr, "mvfiles %s: %s (result %d, HTTP %d)\n", name,
                 message.empty() ? "failed without a message" : message.c_str(),
                 static_cast<int>(result), static_cast<int>(http));
    if (result == MVFILES_ERR_NOT_ARMED)
        std::fprintf(stderr, "mvfiles %s: nothing was sent; pass --arm to allow this write\n", name);
    if (result == MVFILES_ERR_TRANSPORT && !x.g.host_set && !is_directory(x.g.corpus_used))
        std::fprintf(stderr, "mvfiles %s: the corpus directory '%s' does not exist\n", name,
                     x.g.corpus_used.c_str());
    if (x.g.json) {
        std::string out;
        Json j(out);
        j.begin_object()
            .key("command").str(name)
            .key("ok").boolean(false)
            .key("result").num(result)
            .key("error").str(message)
            .key("http").num(http)
            .end_object();
        out += '\n';
        emit(out);
    }
    return exit_status(result);
}

void envelope(Json &j, const Ctx &x) {
    j.begin_object()
        .key("command").str(x.a.cmd->name)
        .key("ok").boolean(true)
        .key("result").num(0)
        .key("http").num(mvfiles_last_http_code());
}

int fail(Ctx &x, int32_t result) { return fail_msg(x, result, mvfiles_last_error()); }

} // namespace mvcli
