// Client state: origin, io installation, the write switch, errors, shutdown.
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "api/core.h"
#include "api/util.h"
#include "mvfiles.h"
#include "support/service.h"

namespace {

class Core : public ::testing::Test {
protected:
    void SetUp() override { mvtest::reset_client(); }
};

TEST_F(Core, LoadStateReadsEmpty) {
    ASSERT_NE(mvfiles_last_error(), nullptr);
    EXPECT_STREQ(mvfiles_last_error(), "");
    EXPECT_EQ(mvfiles_last_http_code(), 0);
    EXPECT_EQ(mvfiles_writes_armed(), 0);
    EXPECT_STREQ(mvfiles_version(), "1.0.0");
}

// Each origin is followed by a look-up through a host transport: a kept
// one is the start of the URL sent, a refused one fails every look-up and
// write with 6, sends nothing and leaves the table held before.
TEST_F(Core, OriginUsedWholeOrNotAtAll) {
    const std::string fits(247, 'h'), over(248, 'h');
    const std::string port = "invalid origin: port must be 1 to 65535";
    struct Case {
        const char *value;
        std::string want;  // the origin kept, or the refusal's text
    } cases[] = {
        {"http://127.0.0.1:8080", "http://127.0.0.1:8080"},
        {"https://svc.example/", "https://svc.example/"},
        {"https://svc.example:8443/base", "https://svc.example:8443/base"},
        {"http://[::1]:8080", "http://[::1]:8080"},
        {"localhost:65535", "https://localhost:65535"},
        {"b\xC3\xBC" "cher.example", "https://b\xC3\xBC" "cher.example"},
        {fits.c_str(), "https://" + fits},
        {nullptr, MVFILES_DEFAULT_ORIGIN},
        {"", MVFILES_DEFAULT_ORIGIN},
        {over.c_str(), "invalid origin: over 255 bytes"},
        {" spaced", "invalid origin: holds a space or a control byte"},
        {"https://a.example\r\nX: 1", "invalid origin: holds a space or a control byte"},
        {"https://a.example#x", "invalid origin: holds '#'"},
        {"https://a.example?x=1", "invalid origin: holds '?'"},
        {"https://a.example\\x", "invalid origin: holds '\\'"},
        {"https://\xFF.example", "invalid origin: not valid UTF-8"},
        {"HTTP://upper.example", "invalid origin: scheme must be http:// or https://"},  // case-sensitive
        {"https://", "invalid origin: no host name"},
        {"https://:80/x", "invalid origin: no host name"},
        {"https://good.example@evil.example", "invalid origin: holds '@'"},
        {"http://[::1/x", "invalid origin: bad IPv6 literal"},
        {"https://a.example:0", port},
        {"https://a.example:65536", port},
    };
    mvtest::Service svc;
    svc.fallback = mvtest::Answer::json(R"([{"key":"k"}])");
    svc.install();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.value ? c.value : "(null)");
        mvfiles_set_host("https://before.example");
        ASSERT_EQ(mvfiles_get_by_imdb("tt4154796", -1, -1), MVFILES_OK);
        size_t sent = svc.count();
        mvfiles_set_host(c.value);
        bool refused = c.want.rfind("invalid origin: ", 0) == 0;
        EXPECT_EQ(g_sf.host, refused ? "https://before.example" : c.want);
        EXPECT_EQ(mvfiles_get_by_imdb("tt0111161", -1, -1), refused ? MVFILES_ERR_ARG : MVFILES_OK);
        if (!refused) {
            EXPECT_EQ(svc.last().url, c.want + "/api/finder/getfiles?id=tt0111161");
            continue;
        }
        EXPECT_EQ(mvfiles_last_error(), c.want);
        EXPECT_EQ(mvfiles_get_by_imdb("tt4154796", -1, -1), MVFILES_ERR_ARG);  // even the cached table
        mvfiles_arm_writes(1);
        EXPECT_EQ(mvfiles_download_magnet("u", "m", nullptr, nullptr, nullptr, nullptr), MVFILES_ERR_ARG);
        mvfiles_arm_writes(0);
        EXPECT_EQ(svc.count(), sent);
        EXPECT_EQ(mvfiles_count(), 1);
    }
}

TEST_F(Core, DefaultOriginIsHttpsHostWithoutSlash) {
    std::string d = MVFILES_DEFAULT_ORIGIN;
    EXPECT_EQ(d.rfind("https://", 0), 0u);
    EXPECT_EQ(d.find('/', 8), std::string::npos);
    EXPECT_STREQ(g_sf.host, "");
    mvfiles_set_io(nullptr);  // every configuration export fills the default
    EXPECT_EQ(d, g_sf.host);
}

TEST_F(Core, SetIoAcceptsValidRecordAndRefusesBrokenOnes) {
    mvtest::Service good;
    ASSERT_EQ(mvfiles_set_io(good.io()), 0);
    EXPECT_EQ(g_sf.transport, good.http());
    EXPECT_EQ(g_sf.transport_set, 1);
    EXPECT_STREQ(mvfiles_last_error(), "");

    const char *refusal =
        "io carries no fleet transport (need veltrona_http: use mvfiles_use_curl / "
        "mvfiles_use_fake, or an io built with veltrona_io_over_http)";
    struct Broken {
        const char *what;
        void (*spoil)(veltrona_http &, veltrona_io_ctx &, veltrona_io &);
    } broken[] = {
        {"wrong magic", [](veltrona_http &, veltrona_io_ctx &c, veltrona_io &) { c.magic ^= 1; }},
        {"context size 23", [](veltrona_http &, veltrona_io_ctx &c, veltrona_io &) { c.size = 23; }},
        {"transport size 31", [](veltrona_http &h, veltrona_io_ctx &, veltrona_io &) { h.size = 31; }},
        {"version 2", [](veltrona_http &h, veltrona_io_ctx &, veltrona_io &) { h.version = 2; }},
        {"no request", [](veltrona_http &h, veltrona_io_ctx &, veltrona_io &) { h.request = nullptr; }},
        {"no transport", [](veltrona_http &, veltrona_io_ctx &c, veltrona_io &) { c.http = nullptr; }},
        {"no context", [](veltrona_http &, veltrona_io_ctx &, veltrona_io &io) { io.ctx = nullptr; }},
    };
    for (const auto &b : broken) {
        veltrona_http h = *good.http();
        veltrona_io_ctx ctx = *good.io()->ctx;
        ctx.http = &h;
        veltrona_io io = *good.io();
        io.ctx = &ctx;
        b.spoil(h, ctx, io);
        EXPECT_EQ(mvfiles_set_io(&io), 1) << b.what;
        EXPECT_STREQ(mvfiles_last_error(), refusal) << b.what;
        EXPECT_EQ(g_sf.transport, good.http()) << b.what << ": previous transport kept";
        EXPECT_EQ(g_sf.transport_set, 1);
    }

    // A record without a release operation and with larger sizes is fine.
    veltrona_http h = *good.http();
    h.free = nullptr;
    h.size = 48;
    veltrona_io_ctx ctx = *good.io()->ctx;
    ctx.http = &h;
    ctx.size = 40;
    veltrona_io io = *good.io();
    io.ctx = &ctx;
    EXPECT_EQ(mvfiles_set_io(&io), 0);
    EXPECT_EQ(g_sf.transport, &h);

    mvfiles_set_err("kept");
    EXPECT_EQ(mvfiles_set_io(nullptr), 0);
    EXPECT_EQ(g_sf.transport, nullptr);
    EXPECT_EQ(g_sf.transport_set, 0);
    EXPECT_STREQ(mvfiles_last_error(), "kept");
}

TEST_F(Core, WriteSwitch) {
    EXPECT_EQ(mvfiles_arm_writes(1), 0);
    EXPECT_EQ(mvfiles_writes_armed(), 1);
    EXPECT_STREQ(mvfiles_last_error(), "writes ARMED \xE2\x80\x94 production mutations possible");
    for (int32_t bad : {2, -1, INT32_MIN, INT32_MAX}) {
        EXPECT_EQ(mvfiles_arm_writes(bad), 6);
        EXPECT_STREQ(mvfiles_last_error(), "arm must be 0 or 1");
        EXPECT_EQ(mvfiles_writes_armed(), 1);
    }
    g_sf.last_http_code = 418;
    EXPECT_EQ(mvfiles_arm_writes(0), 0);
    EXPECT_STREQ(mvfiles_last_error(), "writes disarmed");
    EXPECT_EQ(mvfiles_writes_armed(), 0);
    EXPECT_EQ(mvfiles_last_http_code(), 418) << "the switch runs no prologue";
    EXPECT_STREQ(g_sf.host, "");
}

TEST_F(Core, ShutdownForgetsTransportAndKeepsOrigin) {
    mvtest::Service svc;
    svc.install();
    mvfiles_set_host("svc.example");
    mvfiles_arm_writes(1);
    g_sf.last_http_code = 500;
    g_sf.files_ttl = 42;
    mvfiles_shutdown();
    EXPECT_EQ(mvfiles_writes_armed(), 0);
    EXPECT_EQ(mvfiles_last_http_code(), 0);
    EXPECT_STREQ(mvfiles_last_error(), "");
    EXPECT_EQ(g_sf.transport, nullptr);
    EXPECT_EQ(g_sf.transport_set, 0);
    EXPECT_STREQ(g_sf.host, "https://svc.example");
    EXPECT_EQ(g_sf.files_ttl, 42);
    mvfiles_shutdown();  // repeatable
    EXPECT_EQ(g_sf.transport_set, 0);
}

TEST_F(Core, ErrorTextKeepsFirst255Bytes) {
    std::string big(400, 'x');
    mvfiles_set_err("%s", big.c_str());
    EXPECT_EQ(std::strlen(mvfiles_last_error()), 255u);
    mvfiles_set_err("n=%zu v=%lld", static_cast<size_t>(7), -3LL);
    EXPECT_STREQ(mvfiles_last_error(), "n=7 v=-3");
    mvfiles_set_err("");
    EXPECT_STREQ(mvfiles_last_error(), "");
}

TEST_F(Core, PrologueFillsOriginAndClearsOutcome) {
    mvfiles_set_err("old");
    g_sf.last_http_code = 404;
    mvfiles_lookup_prologue();
    EXPECT_STREQ(g_sf.host, MVFILES_DEFAULT_ORIGIN);
    EXPECT_STREQ(mvfiles_last_error(), "");
    EXPECT_EQ(mvfiles_last_http_code(), 0);
}

// Messages are valid UTF-8 and show a caller's control bytes escaped; an
// argument that cannot go into a JSON body is the caller's fault. None of
// these sends anything.
TEST_F(Core, MessagesAndArgumentTexts) {
    const std::string long_id = "a" + [] { std::string e; for (int i = 0; i < 150; i++) e += "\xC3\xA9"; return e; }();
    const char *bad_key[] = {"k1", "k\xFF"};
    const char *bad_then_empty[] = {"\xFF", ""};
    std::vector<const char *> too_many(4097, "\xFF");
    // Echoes the bound cuts, never inside a "\\" or a "\x01".
    const std::string got = "imdb id must look like tt\xE2\x80\xA6 (got 'a", slashes = "a" + std::string(120, '\\'),
                      ctrls = "a" + std::string(120, '\x01');
    std::string shown_slashes = got, shown_ctrls = got;
    for (int i = 0; i < 109; i++) shown_slashes += "\\\\", shown_ctrls += i < 54 ? "\\x01" : "";
    struct Case {
        std::function<mvfiles_result()> call;
        mvfiles_result rc;
        std::string text;  // "" : only valid UTF-8 and at most 255 bytes
    } cases[] = {
        {[&] { return mvfiles_get_by_imdb(long_id.c_str(), -1, -1); }, MVFILES_ERR_ARG, ""},
        {[] { return mvfiles_get_by_imdb("x\r\nX: 1", -1, -1); }, MVFILES_ERR_ARG,
         "imdb id must look like tt\xE2\x80\xA6 (got 'x\\r\\nX: 1')"},
        {[] { return mvfiles_get_by_imdb("\xFFtt\xC3", -1, -1); }, MVFILES_ERR_ARG,
         "imdb id must look like tt\xE2\x80\xA6 (got '\\xFFtt\\xC3')"},
        {[] { return mvfiles_get_playlists(nullptr, nullptr, "Mo\x01vies\t\xC3\xA9"); }, MVFILES_ERR_ARG,
         "type must be Production, Movies or Series (got 'Mo\\x01vies\\t\xC3\xA9')"},
        {[] { mvfiles_set_err("transport: %s", "cut \xE2\x80"); return MVFILES_OK; }, MVFILES_OK,
         "transport: cut \\xE2\\x80"},
        {[&] { return mvfiles_get_by_keys(bad_key, 2); }, MVFILES_ERR_ARG, "keys[1] not valid UTF-8"},
        {[&] { return mvfiles_get_by_keys(bad_then_empty, 2); }, MVFILES_ERR_ARG, "keys[1] empty"},
        {[&] { return mvfiles_get_by_keys(too_many.data(), 4097); }, MVFILES_ERR_ARG,
         "too many keys (max 4096)"},
        {[] { return mvfiles_get_by_imdb("a\\nb", -1, -1); }, MVFILES_ERR_ARG,
         "imdb id must look like tt\xE2\x80\xA6 (got 'a\\\\nb')"},
        {[&] { return mvfiles_get_by_imdb(slashes.c_str(), -1, -1); }, MVFILES_ERR_ARG, shown_slashes},
        {[&] { return mvfiles_get_by_imdb(ctrls.c_str(), -1, -1); }, MVFILES_ERR_ARG, shown_ctrls},
        {[] { return mvfiles_download_magnet("u", "m", nullptr, nullptr, nullptr, "\xED\xA0\x80"); },
         MVFILES_ERR_ARG, "tkey not valid UTF-8"},
    };
    mvfiles_fake_corpus(MVFILES_FIXTURES_DIR);
    mvfiles_use_fake();
    mvfiles_arm_writes(1);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.call(), c.rc);
        const char *e = mvfiles_last_error();
        EXPECT_TRUE(c.text.empty() || e == c.text) << e;
        EXPECT_TRUE(mvfiles_utf8_valid(e, std::strlen(e)));
        EXPECT_GE(std::strlen(e), c.text.empty() ? 254u : 0u);  // cut at the last whole character
    }
    EXPECT_EQ(mvfiles_fake_calls(), 0);
}

}  // namespace
