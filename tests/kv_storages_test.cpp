// Storages: the GetAuth check (status, base64 text, decoded JSON) and the
// projection of drive rows into the storage table.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "api/core.h"
#include "mvfiles.h"
#include "support/kv_rows.h"
#include "support/service.h"

namespace {

using mvtest::quote;
using mvtest::rows;
const auto row = mvtest::plain_row;

// base64 of {"user":"u-1","ok":true}
const char kAuth[] = "eyJ1c2VyIjoidS0xIiwib2siOnRydWV9";
const char kAuthPadded[] = "eyJvayI6dHJ1ZX0=";  // {"ok":true}
const char kDriveRows[] =
    "[{\"key\":\"RVD_ONEDRIVES_d1\",\"value\":\"{\\\"id\\\":\\\"d1\\\",\\\"driveType\\\":\\\"personal\\\"}\"}]";
const char kGetAuthUrl[] = "http://127.0.0.1:9/api/APIFunction?name=GetAuth";

class Storages : public ::testing::Test {
protected:
    void SetUp() override {
        mvtest::reset_client();
        mvfiles_set_host("http://127.0.0.1:9");
        svc.install();
    }

    // GetAuth answers auth, the drive rows answer drives.
    void serve(mvtest::Answer auth, std::string drives = kDriveRows) {
        svc.route = [auth, drives](const mvtest::Request &r) {
            if (r.url.find("GetAuth") != std::string::npos) return auth;
            return mvtest::Answer::json(drives);
        };
    }

    mvtest::Service svc;
};

std::string status_text(long status) {
    return "storages: GetAuth HTTP " + std::to_string(status) +
           " (measured 500 on gcp \xE2\x80\x94 fixture-only)";
}

struct AuthCase {
    const char *name;
    mvtest::Answer answer;
    mvfiles_result rc;
    std::string message;
};

TEST_F(Storages, GetAuthMustBe200WithBase64OfJson) {
    auto ok = [](const std::string &body) { return mvtest::Answer::json(body); };
    const AuthCase cases[] = {
        {"padded", ok(kAuthPadded), 0, ""},
        {"trailing CR LF and blanks", ok(std::string(kAuthPadded) + "\r\n \n"), 0, ""},
        {"without padding", ok(kAuth), 0, ""},
        {"text ends at its first NUL", ok(std::string("e30=") + '\0' + "!!"), 0, ""},
        {"wrapped over lines", ok("eyJ1c2VyIjoidS0x\nIiwib2siOnRydWV9"), 3, "storages: GetAuth body is not base64"},
        {"url-safe minus", ok("e30-"), 3, "storages: GetAuth body is not base64"},
        {"url-safe underscore", ok("e3_="), 3, "storages: GetAuth body is not base64"},
        {"data after padding", ok("e30=e30="), 3, "storages: GetAuth body is not base64"},
        {"trailing tab", ok("e30=\t"), 3, "storages: GetAuth body is not base64"},
        {"empty body", ok(""), 3, "storages: GetAuth JSON invalid"},
        {"only padding", ok("===="), 3, "storages: GetAuth JSON invalid"},
        {"decodes to text", ok("bm90IGpzb24="), 3, "storages: GetAuth JSON invalid"},
        {"status 204", mvtest::Answer::json("", 204), 2, status_text(204)},
        {"status 404", mvtest::Answer::json("{}", 404), 5, status_text(404)},
        {"status 500", mvtest::Answer::json(kAuth, 500), 2, status_text(500)},
        {"transport", mvtest::Answer::failure("reset"), 1, "transport: transport: reset"},
    };
    for (const AuthCase &c : cases) {
        SCOPED_TRACE(c.name);
        mvtest::reset_client();
        mvfiles_set_host("http://127.0.0.1:9");
        svc.install();
        svc.requests.clear();
        serve(c.answer);
        EXPECT_EQ(mvfiles_get_storages(), c.rc);
        EXPECT_EQ(mvfiles_last_error(), c.message);
        ASSERT_GE(svc.count(), 1u);
        EXPECT_EQ(svc.requests[0].url, kGetAuthUrl);
        EXPECT_EQ(svc.requests[0].method, "GET");
        if (c.rc == 0) {
            ASSERT_EQ(svc.count(), 2u);
            EXPECT_EQ(svc.requests[1].url, "http://127.0.0.1:9/api/KeyValue/StartsWith?k=RVD_ONEDRIVES");
            EXPECT_EQ(mvfiles_storage_count(), 1);
        } else {
            EXPECT_EQ(svc.count(), 1u);  // no row request after a GetAuth failure
            EXPECT_EQ(mvfiles_last_http_code(), c.answer.fail ? 0 : c.answer.status);
            EXPECT_EQ(g_sf.kv_valid, 0);
        }
    }
}

TEST_F(Storages, GetAuthFailureKeepsTheStorageTable) {
    serve(mvtest::Answer::json(kAuth));
    ASSERT_EQ(mvfiles_get_storages(), 0);
    const mvfiles_storage *table = g_sf.storages;
    serve(mvtest::Answer::json("", 500));
    EXPECT_EQ(mvfiles_get_storages(), 2);
    EXPECT_EQ(g_sf.storages, table);
    ASSERT_EQ(mvfiles_storage_count(), 1);
    EXPECT_STREQ(mvfiles_storage_id(0), "d1");
    EXPECT_STREQ(mvfiles_storage_type(0), "personal");
}

struct DriveCase {
    const char *name;
    const char *value;
    bool projected;
    const char *email = nullptr, *user_name = nullptr, *id = nullptr, *state = nullptr, *type = nullptr;
    int64_t total = 0, used = 0, remaining = 0;
};

TEST_F(Storages, DriveObjectsAreProjected) {
    const DriveCase cases[] = {
        {"full drive",
         "{\"id\":\"b!1\",\"driveType\":\"business\",\"owner\":{\"user\":{\"email\":\"a@x.example\","
         "\"displayName\":\"Ana\"}},\"quota\":{\"total\":1000,\"used\":250,\"remaining\":750,"
         "\"state\":\"normal\"}}",
         true, "a@x.example", "Ana", "b!1", "normal", "business", 1000, 250, 750},
        {"second key names",
         "{\"Id\":\"b!2\",\"DriveType\":\"personal\",\"Owner\":{\"User\":{\"Email\":\"b@x.example\","
         "\"DisplayName\":\"Bo\"}},\"Quota\":{\"Total\":5,\"Used\":1,\"Remaining\":4,\"State\":\"nearing\"}}",
         true, "b@x.example", "Bo", "b!2", "nearing", "personal", 5, 1, 4},
        {"quota not an object", "{\"id\":\"b!3\",\"quota\":[1000,250]}", true, nullptr, nullptr, "b!3", nullptr,
         nullptr, 0, 0, 0},
        {"no owner", "{\"id\":\"b!4\",\"quota\":{\"total\":9}}", true, nullptr, nullptr, "b!4", nullptr, nullptr,
         9, 0, 0},
        {"user not an object", "{\"owner\":{\"user\":\"a@x.example\"},\"driveType\":7}", true, nullptr, nullptr,
         nullptr, nullptr, nullptr, 0, 0, 0},
        {"empty object", "{}", true, nullptr, nullptr, nullptr, nullptr, nullptr, 0, 0, 0},
        {"array value", "[{\"id\":\"b!5\"}]", false},
        {"text value", "drive b!6", false},
        {"blank before {", " {\"id\":\"b!7\"}", false},
        {"invalid JSON", "{\"id\":", false},
        {"null value", nullptr, false},
    };
    std::vector<std::string> r;
    for (const DriveCase &c : cases) r.push_back(row(std::string("RVD_ONEDRIVES_") + c.name, c.value));
    // Item rows share the prefix and are projected alike.
    r.push_back(row("RVD_ONEDRIVESITEMS_b!1", "{\"id\":\"item-1\",\"driveType\":\"personal\"}"));
    serve(mvtest::Answer::json(kAuth), rows(r));
    ASSERT_EQ(mvfiles_get_storages(), 0);
    EXPECT_STREQ(mvfiles_last_error(), "");
    EXPECT_STREQ(g_sf.kv_tag, "storages");

    auto same = [](const char *got, const char *want) {
        return want ? (got && std::strcmp(got, want) == 0) : got == nullptr;
    };
    int32_t i = 0;
    for (const DriveCase &c : cases) {
        if (!c.projected) continue;
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(same(mvfiles_storage_email(i), c.email));
        EXPECT_TRUE(same(mvfiles_storage_name(i), c.user_name));
        EXPECT_TRUE(same(mvfiles_storage_id(i), c.id));
        EXPECT_TRUE(same(mvfiles_storage_state(i), c.state));
        EXPECT_TRUE(same(mvfiles_storage_type(i), c.type));
        EXPECT_EQ(mvfiles_storage_total(i), c.total);
        EXPECT_EQ(mvfiles_storage_used(i), c.used);
        EXPECT_EQ(mvfiles_storage_remaining(i), c.remaining);
        EXPECT_EQ(mvfiles_storage_files_count(i), 0);
        i++;
    }
    EXPECT_STREQ(mvfiles_storage_id(i), "item-1");
    EXPECT_EQ(mvfiles_storage_count(), i + 1);
    EXPECT_EQ(mvfiles_storage_id(i + 1), nullptr);
    EXPECT_EQ(mvfiles_storage_total(-1), 0);
}

TEST_F(Storages, RowsWithoutDrivesGiveAnEmptyTable) {
    serve(mvtest::Answer::json(kAuth), rows({row("RVD_ONEDRIVES_x", "[]"), "7"}));
    ASSERT_EQ(mvfiles_get_storages(), 0);
    EXPECT_EQ(mvfiles_storage_count(), 0);
    EXPECT_EQ(g_sf.kv_count, 1u);
}

}  // namespace
