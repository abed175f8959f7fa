// File records as the getters show them: member names, defaults, type
// rules, access entries, and the one-file JSON export.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "api/core.h"
#include "api/util.h"
#include "mvfiles.h"
#include "support/service.h"

namespace {

class FileRecords : public ::testing::Test {
protected:
    void SetUp() override {
        mvtest::reset_client();
        mvfiles_set_host("http://svc.test");
        svc.install();
    }
    void TearDown() override { mvtest::reset_client(); }

    // Builds the table from one answer.
    void load(const std::string &body) {
        g_sf.files_valid = 0;
        svc.push(mvtest::Answer::json(body));
        ASSERT_EQ(mvfiles_get_by_imdb("tt0111161", -1, -1), 0) << mvfiles_last_error();
    }
    // Builds a table of one file object.
    void load_one(const std::string &members) { load("[{" + members + "}]"); }

    mvtest::Service svc;
};

const char *const kFull = R"({
  "key": "K1", "imDbID": "tt0111161", "parentKey": "P1", "fileName": "movie.mkv",
  "path": "/m/movie.mkv", "extension": ".mkv", "subtitleLanguages": "en,fr",
  "subtitleLanguageTitles": "English,French", "created": "2024-01-02",
  "recordUpdated": "2024-03-04", "size": 123456789012, "durationSeconds": 7260,
  "season": 2, "episode": 5, "isHDR": true, "isHEVC": false, "isDolbyAtmos": true,
  "subtitleCount": 4, "audioChannelCount": 6, "videoWidth": 3840, "videoHeight": 2160,
  "entries": [{"uri": "u1", "url": "http://a/1", "isActive": true,
               "accessSource": {"contentSource": 3}}]
})";

TEST_F(FileRecords, EveryGetterReadsItsMember) {
    load(std::string("[") + kFull + "]");
    ASSERT_EQ(mvfiles_count(), 1);
    EXPECT_STREQ(mvfiles_key(0), "K1");
    EXPECT_STREQ(mvfiles_imdb(0), "tt0111161");
    EXPECT_STREQ(mvfiles_parent_key(0), "P1");
    EXPECT_STREQ(mvfiles_filename(0), "movie.mkv");
    EXPECT_STREQ(mvfiles_path(0), "/m/movie.mkv");
    EXPECT_STREQ(mvfiles_extension(0), ".mkv");
    EXPECT_STREQ(mvfiles_subtitle_languages(0), "en,fr");
    EXPECT_STREQ(mvfiles_subtitle_language_titles(0), "English,French");
    EXPECT_STREQ(mvfiles_created(0), "2024-01-02");
    EXPECT_STREQ(mvfiles_record_updated(0), "2024-03-04");
    EXPECT_EQ(mvfiles_size(0), 123456789012LL);
    EXPECT_EQ(mvfiles_duration_seconds(0), 7260);
    EXPECT_EQ(mvfiles_season(0), 2);
    EXPECT_EQ(mvfiles_episode(0), 5);
    EXPECT_EQ(mvfiles_is_hdr(0), 1);
    EXPECT_EQ(mvfiles_is_hevc(0), 0);
    EXPECT_EQ(mvfiles_is_dolby(0), 1);
    EXPECT_EQ(mvfiles_subtitle_count(0), 4);
    EXPECT_EQ(mvfiles_audio_channels(0), 6);
    EXPECT_EQ(mvfiles_video_width(0), 3840);
    EXPECT_EQ(mvfiles_video_height(0), 2160);
    ASSERT_EQ(mvfiles_entry_count(0), 1);
    EXPECT_STREQ(mvfiles_entry_uri(0, 0), "u1");
    EXPECT_STREQ(mvfiles_entry_url(0, 0), "http://a/1");
    EXPECT_EQ(mvfiles_entry_is_active(0, 0), 1);
    EXPECT_EQ(mvfiles_entry_content_source(0, 0), 3);
}

// What every getter gives for one index: absent members (in range) and an
// index outside the table.
void expect_defaults(int32_t i, bool in_range) {
    SCOPED_TRACE(i);
    for (auto get : {mvfiles_key, mvfiles_imdb, mvfiles_parent_key, mvfiles_filename, mvfiles_path,
                     mvfiles_extension, mvfiles_subtitle_languages,
                     mvfiles_subtitle_language_titles, mvfiles_created, mvfiles_record_updated})
        EXPECT_EQ(get(i), nullptr);
    EXPECT_EQ(mvfiles_size(i), 0);
    EXPECT_EQ(mvfiles_duration_seconds(i), 0);
    for (auto get : {mvfiles_season, mvfiles_episode, mvfiles_is_hdr, mvfiles_is_hevc,
                     mvfiles_is_dolby})
        EXPECT_EQ(get(i), -1);
    // Counts and video size read 0 when absent, -1 outside the table.
    for (auto get : {mvfiles_subtitle_count, mvfiles_audio_channels, mvfiles_video_width,
                     mvfiles_video_height})
        EXPECT_EQ(get(i), in_range ? 0 : -1);
    EXPECT_EQ(mvfiles_entry_count(i), 0);
    EXPECT_EQ(mvfiles_entry_uri(i, 0), nullptr);
    EXPECT_EQ(mvfiles_entry_url(i, 0), nullptr);
    EXPECT_EQ(mvfiles_entry_is_active(i, 0), -1);
    EXPECT_EQ(mvfiles_entry_content_source(i, 0), -1);
    if (in_range)
        EXPECT_NE(mvfiles_file_json(i), nullptr);
    else
        EXPECT_EQ(mvfiles_file_json(i), nullptr);
}

TEST_F(FileRecords, DefaultsAndOutOfRange) {
    // No table yet.
    EXPECT_EQ(mvfiles_count(), 0);
    expect_defaults(0, false);

    // Empty objects, and members of the wrong type, take the defaults.
    load(R"([{}, {"key": 1, "fileName": null, "size": "12", "season": "3", "isHDR": 1,
               "videoWidth": "1920", "subtitleCount": true, "entries": {"uri": "x"}}])");
    ASSERT_EQ(mvfiles_count(), 2);
    expect_defaults(0, true);
    expect_defaults(1, true);
    for (int32_t i : {-1, 2, INT32_MIN, INT32_MAX}) expect_defaults(i, false);

    // A released table reads as no table.
    mvfiles_files_free();
    EXPECT_EQ(mvfiles_count(), 0);
    expect_defaults(0, false);
}

// The table reads each member the way the shared dual-name readers would
// read it from the same object: same spelling rules, same conversions.
TEST_F(FileRecords, ReadsMembersLikeTheSharedReaders) {
    auto parse = [](const std::string &obj) {
        std::string copy = obj;
        return yyjson_read(copy.c_str(), copy.size(), 0);
    };
    const char *spellings[] = {R"("fileName":"camel")", R"("FileName":"pascal")",
                               R"("FILENAME":"upper")", R"("filename":"lower")",
                               R"("fileName ":"near")", R"("fileName":7)"};
    // All pairs in one answer, so that each object follows others whose
    // members came in another order or spelling.
    std::string answer = "[";
    std::vector<std::string> objects;
    for (const char *x : spellings)
        for (const char *y : spellings) objects.push_back(std::string("{") + x + "," + y + "}");
    for (const char *x : spellings) objects.push_back(std::string("{") + x + "}");
    for (size_t i = 0; i < objects.size(); i++) answer += (i ? "," : "") + objects[i];
    load(answer + "]");
    ASSERT_EQ(mvfiles_count(), static_cast<int32_t>(objects.size()));
    for (size_t i = 0; i < objects.size(); i++) {
        yyjson_doc *doc = parse(objects[i]);
        const char *want;
        mvfiles_js(&want, yyjson_doc_get_root(doc), "fileName", "FileName");
        EXPECT_STREQ(mvfiles_filename(static_cast<int32_t>(i)), want) << objects[i];
        yyjson_doc_free(doc);
    }

    const char *values[] = {"0", "-1", "-5", "2.9", "-1.5", "-2.5", "99999999999", "-99999999999",
                            "2100000000.0", "1e12", "-1e12", "18446744073709551615", "1e19",
                            "-1e19", "true", "false", "null", "\"3\"", "[]", "{}"};
    for (const char *v : values) {
        std::string members;
        for (const char *name : {"size", "season", "isHDR", "VideoWidth", "SubtitleCount"})
            members += std::string(members.empty() ? "" : ",") + "\"" + name + "\":" + v;
        SCOPED_TRACE(members);
        load_one(members);
        yyjson_doc *doc = parse("{" + members + "}");
        yyjson_val *obj = yyjson_doc_get_root(doc);
        int64_t size;
        int32_t season, width, subs;
        int hdr;
        mvfiles_jll(&size, obj, "size", "Size");
        bool has_season = mvfiles_ji(&season, obj, "season", "Season");
        bool has_hdr = mvfiles_jb(&hdr, obj, "isHDR", "IsHDR");
        mvfiles_ji(&width, obj, "videoWidth", "VideoWidth");
        mvfiles_ji(&subs, obj, "subtitleCount", "SubtitleCount");
        EXPECT_EQ(mvfiles_size(0), size);
        EXPECT_EQ(mvfiles_season(0), has_season && season >= -1 ? season : -1);
        EXPECT_EQ(mvfiles_is_hdr(0), has_hdr ? hdr : -1);
        EXPECT_EQ(mvfiles_video_width(0), width);
        EXPECT_EQ(mvfiles_subtitle_count(0), subs);
        yyjson_doc_free(doc);
    }

    // The cases hosts meet most.
    load_one(R"("Key":"k","FileName":"f","imdbID":"tt1","Season":-5,"IsHDR":1,"Episode":0)");
    EXPECT_STREQ(mvfiles_key(0), "k");
    EXPECT_STREQ(mvfiles_filename(0), "f");
    EXPECT_STREQ(mvfiles_imdb(0), "tt1");
    EXPECT_EQ(mvfiles_season(0), -1);
    EXPECT_EQ(mvfiles_episode(0), 0);
    EXPECT_EQ(mvfiles_is_hdr(0), -1);
}

TEST_F(FileRecords, AccessEntries) {
    load_one(R"("entries":[
        {"uri":"a","url":"ua","isActive":true,"accessSource":{"contentSource":3}},
        "not an entry",
        {"accessSource":{"contentSource":"3"}},
        7, null, [],
        {"isActive":1,"accessSource":{"contentSource":3.5}},
        {"accessSource":"3"},
        {"AccessSource":{"ContentSource":-7}},
        {"accessSource":{"contentSource":4294967299}},
        {"accessSource":{"source":3}},
        {"uri":5,"url":null,"isActive":false}
    ])");
    // Only the objects count, in order; the others leave no gap.
    ASSERT_EQ(mvfiles_entry_count(0), 8);
    const int32_t sources[] = {3, -1, -1, -1, -7, 3, -1, -1};
    const int32_t active[] = {1, 0, 0, 0, 0, 0, 0, 0};
    for (int32_t e = 0; e < 8; e++) {
        SCOPED_TRACE(e);
        EXPECT_EQ(mvfiles_entry_content_source(0, e), sources[e]);
        EXPECT_EQ(mvfiles_entry_is_active(0, e), active[e]);
    }
    EXPECT_STREQ(mvfiles_entry_uri(0, 0), "a");
    EXPECT_STREQ(mvfiles_entry_url(0, 0), "ua");
    EXPECT_EQ(mvfiles_entry_uri(0, 7), nullptr);
    EXPECT_EQ(mvfiles_entry_url(0, 7), nullptr);
    for (int32_t e : {-1, 8}) {
        EXPECT_EQ(mvfiles_entry_uri(0, e), nullptr);
        EXPECT_EQ(mvfiles_entry_is_active(0, e), -1);
        EXPECT_EQ(mvfiles_entry_content_source(0, e), -1);
    }

    load_one(R"("entries":["z", 1])");
    EXPECT_EQ(mvfiles_entry_count(0), 0);
}

TEST_F(FileRecords, TableFollowsTheAnswer) {
    load(R"([1, {"key":"a"}, "x", null, {"key":"b"}, [], {"key":"c"}])");
    ASSERT_EQ(mvfiles_count(), 3);
    EXPECT_STREQ(mvfiles_key(0), "a");
    EXPECT_STREQ(mvfiles_key(1), "b");
    EXPECT_STREQ(mvfiles_key(2), "c");
    EXPECT_EQ(g_sf.files_ttl, 300);
    EXPECT_LE(mvfiles_now() - g_sf.files_time, 1);

    // Only non-objects: a valid, empty table.
    load(R"([1, "x", null])");
    EXPECT_EQ(g_sf.files_valid, 1);
    EXPECT_EQ(mvfiles_count(), 0);
    EXPECT_EQ(mvfiles_key(0), nullptr);
    EXPECT_EQ(mvfiles_file_json(0), nullptr);
}

TEST_F(FileRecords, FileJsonIsTheWholeObjectAsSent) {
    load(R"([ {"zeta" : 1, "key" : "K", "extra" : {"b" : [1, 2.5, true, null], "a" : "\u00e9\n"},
              "alpha" : "x"} ])");
    EXPECT_STREQ(mvfiles_file_json(0),
                 "{\"zeta\":1,\"key\":\"K\",\"extra\":{\"b\":[1,2.5,true,null],\"a\":\"\xC3\xA9\\n\"},"
                 "\"alpha\":\"x\"}");

    // Far beyond any fixed buffer: 100 members of 400 bytes each.
    std::string obj = "{\"key\":\"big\"";
    for (int i = 0; i < 100; i++)
        obj += ",\"m" + std::to_string(i) + "\":\"" + std::string(400, static_cast<char>('a' + i % 26)) +
               "\"";
    obj += "}";
    ASSERT_GT(obj.size(), 32768u);
    load("[" + obj + ",{\"key\":\"small\"}]");
    const char *text = mvfiles_file_json(0);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::strlen(text), obj.size());
    EXPECT_EQ(std::string(text), obj);

    // The text survives the table it came from, until the next call.
    std::string copy = text;
    mvfiles_files_free();
    EXPECT_EQ(std::string(text), copy);
    load("[" + obj + ",{\"key\":\"small\"}]");
    EXPECT_STREQ(mvfiles_file_json(1), "{\"key\":\"small\"}");
    EXPECT_EQ(std::string(mvfiles_file_json(0)), obj);
}

}  // namespace
