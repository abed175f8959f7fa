// Playback sessions and the three write commands.
#include <cstdio>
#include <string>

#include "cli.h"
#include "json_out.h"
#include "mvfiles.h"
#include "table.h"

namespace mvcli {

namespace {

// Writes go out armed only with --arm. Without it the library is still
// asked, disarmed, so that its own refusal is what the user sees.
void set_arming(const Ctx &x) {
    if (!x.g.arm) return;
    mvfiles_arm_writes(1);
    std::fprintf(stderr, "mvfiles %s: %s\n", x.a.cmd->name, mvfiles_last_error());
}

int write_done(Ctx &x, mvfiles_result r) {
    if (r != MVFILES_OK) return fail(x, r);
    std::string out;
    if (x.g.json) {
        Json j(out);
        envelope(j, x);
        return finish_document(j, out);
    }
    out = std::string(x.a.cmd->name) + ": done (HTTP " + std::to_string(mvfiles_last_http_code()) + ")\n";
    return emit(out) ? 0 : EXIT_IO;
}

const char *opt_pos(const Ctx &x, size_t i) { return i < x.a.pos.size() ? x.a.pos[i].c_str() : nullptr; }

} // namespace

int run_sessions(Ctx &x) {
    mvfiles_result r = mvfiles_get_playback_sessions(x.a.pos[0].c_str());
    if (r != MVFILES_OK) return fail(x, r);
    int32_t n = mvfiles_session_count();
    if (x.g.json) {
        std::string out;
        Json j(out);
        envelope(j, x);
        j.key("ids").str(x.a.pos[0])
            .key("count").num(n)
            .key("sessions").begin_array();
        for (int32_t i = 0; i < n; ++i)
            j.begin_object()
                .key("id").str(mvfiles_session_id(i))
                .key("created").str(mvfiles_session_created(i))
                .key("value").str(mvfiles_session_value(i))
                .end_object();
        j.end_array();
        return finish_document(j, out);
    }
    Table t({"ID", "CREATED", "VALUE"});
    for (int32_t i = 0; i < n; ++i)
        t.row({safe(mvfiles_session_id(i)), safe(mvfiles_session_created(i)), safe(mvfiles_session_value(i))});
    return emit(n ? t.render() : "no sessions\n") ? 0 : EXIT_IO;
}

int run_save_progress(Ctx &x) {
    const auto &p = x.a.pos;
    const Command *c = x.a.cmd;
    int32_t profile = parse_i32(c, "PROFILE", p[1]);
    int32_t season = parse_i32(c, "SEASON", p[3]);
    int32_t episode = parse_i32(c, "EPISODE", p[4]);
    double position = parse_real(c, "POSITION", p[5]);
    double duration = parse_real(c, "DURATION", p[6]);
    set_arming(x);
    return write_done(x, mvfiles_save_progress(p[0].c_str(), profile, p[2].c_str(), season, episode, 0,
                                               position, duration));
}

int run_update_session(Ctx &x) {
    // POSITION and DURATION only make sense together.
    if (x.a.pos.size() == 3) throw UsageError(x.a.cmd, "POSITION needs DURATION");
    set_arming(x);
    return write_done(x, mvfiles_update_playback_session(x.a.pos[0].c_str(), x.a.pos[1].c_str(),
                                                         opt_pos(x, 2), opt_pos(x, 3)));
}

int run_download_magnet(Ctx &x) {
    bool tkey = x.a.has("tkey");
    const char *source = x.a.pos[1].c_str();
    set_arming(x);
    return write_done(x, mvfiles_download_magnet(x.a.pos[0].c_str(), tkey ? nullptr : source, opt_pos(x, 2),
                                                 opt_pos(x, 3), opt_pos(x, 4), tkey ? source : nullptr));
}

} // namespace mvcli
