// Client state: origin, io installation, the write switch, errors, shutdown.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "api/core.h"
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

TEST_F(Core, SetHostForms) {
    const std::string long_value(300, 'h');
    struct Case {
        const char *value;
        std::string want;
    } cases[] = {
        {"http://127.0.0.1:8080", "http://127.0.0.1:8080"},
        {"https://svc.example/", "https://svc.example/"},
        {"svc.example:8443", "https://svc.example:8443"},
        {"HTTP://upper.example", "https://HTTP://upper.example"},  // scheme test is case-sensitive
        {" spaced", "https:// spaced"},                            // never trimmed
        {long_value.c_str(), "https://" + long_value.substr(0, 247)},
        {nullptr, MVFILES_DEFAULT_ORIGIN},
        {"", MVFILES_DEFAULT_ORIGIN},
    };
    for (const auto &c : cases) {
        mvfiles_set_host("https://before.example");
        mvfiles_set_host(c.value);
        EXPECT_EQ(std::string(g_sf.host), c.want) << (c.value ? c.value : "(null)");
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

}  // namespace
