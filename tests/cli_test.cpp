// The mvfiles program, run as a user runs it: its output is checked against
// what the library itself returns for the same look-up on the same corpus.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <yyjson.h>

#include "mvfiles.h"
#include "support/loopback.h"
#include "support/platform.h"
#include "support/service.h"

namespace {

using mvtest::Outcome;
using mvtest::temp_dir;

Outcome spawn(const std::vector<std::string> &argv) { return mvtest::run_program(argv); }

// The program on the bundled corpus, named explicitly unless the arguments
// already choose one.
Outcome cli(std::vector<std::string> args, bool with_corpus = true) {
    std::vector<std::string> argv{MVFILES_CLI};
    if (with_corpus) {
        argv.push_back("--corpus");
        argv.push_back(MVFILES_FIXTURES_DIR);
    }
    argv.insert(argv.end(), args.begin(), args.end());
    return spawn(argv);
}

struct Doc {
    yyjson_doc *doc = nullptr;
    explicit Doc(const std::string &text) { doc = yyjson_read(text.data(), text.size(), 0); }
    ~Doc() { yyjson_doc_free(doc); }
    yyjson_val *root() const { return yyjson_doc_get_root(doc); }
    yyjson_val *get(const char *k) const { return yyjson_obj_get(root(), k); }
};

size_t lines(const std::string &s) {
    size_t n = 0;
    for (char c : s) n += c == '\n';
    return n;
}

class Cli : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::strlen(MVFILES_CLI) == 0) GTEST_SKIP() << "the program is not built";
        mvtest::reset_client();
        ASSERT_EQ(mvfiles_fake_corpus(MVFILES_FIXTURES_DIR), 0);
        ASSERT_EQ(mvfiles_use_fake(), 0);
    }
};

TEST_F(Cli, FilesTableShowsEveryFileOfTheTitle) {
    ASSERT_EQ(mvfiles_get_by_imdb("tt4154796", -1, -1), 0);
    ASSERT_GE(mvfiles_count(), 2);
    // Without --corpus the program finds the bundled corpus by itself.
    Outcome r = cli({"files", "tt4154796"}, false);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.rfind("#  KEY", 0), 0u) << r.out;
    size_t entry_lines = 0;
    for (int32_t i = 0; i < mvfiles_count(); ++i) {
        EXPECT_NE(r.out.find(mvfiles_key(i)), std::string::npos) << i;
        EXPECT_NE(r.out.find(mvfiles_filename(i)), std::string::npos) << i;
        std::string res = std::to_string(mvfiles_video_width(i)) + "x" + std::to_string(mvfiles_video_height(i));
        EXPECT_NE(r.out.find(res), std::string::npos) << i;
        for (int32_t e = 0; e < mvfiles_entry_count(i); ++e, ++entry_lines)
            EXPECT_NE(r.out.find(mvfiles_entry_url(i, e)), std::string::npos) << i << "/" << e;
    }
    EXPECT_EQ(lines(r.out), 1 + mvfiles_count() + entry_lines);
}

TEST_F(Cli, FilesJsonCarriesEveryField) {
    ASSERT_EQ(mvfiles_get_by_imdb("tt4154796", -1, -1), 0);
    Outcome r = cli({"--json", "files", "tt4154796"});
    ASSERT_EQ(r.status, 0) << r.err;
    Doc d(r.out);
    ASSERT_TRUE(d.doc) << r.out;
    EXPECT_TRUE(yyjson_get_bool(d.get("ok")));
    EXPECT_EQ(yyjson_get_int(d.get("http")), 200);
    yyjson_val *files = d.get("files");
    ASSERT_EQ(yyjson_arr_size(files), static_cast<size_t>(mvfiles_count()));
    for (int32_t i = 0; i < mvfiles_count(); ++i) {
        yyjson_val *f = yyjson_arr_get(files, static_cast<size_t>(i));
        EXPECT_STREQ(yyjson_get_str(yyjson_obj_get(f, "key")), mvfiles_key(i));
        EXPECT_EQ(yyjson_get_sint(yyjson_obj_get(f, "size")), mvfiles_size(i));
        EXPECT_EQ(yyjson_get_sint(yyjson_obj_get(f, "durationSeconds")), mvfiles_duration_seconds(i));
        yyjson_val *hdr = yyjson_obj_get(f, "hdr");
        EXPECT_EQ(yyjson_is_null(hdr), mvfiles_is_hdr(i) < 0);
        if (!yyjson_is_null(hdr)) {
            EXPECT_EQ(yyjson_get_bool(hdr), mvfiles_is_hdr(i) == 1);
        }
        yyjson_val *entries = yyjson_obj_get(f, "entries");
        ASSERT_EQ(yyjson_arr_size(entries), static_cast<size_t>(mvfiles_entry_count(i)));
        for (int32_t e = 0; e < mvfiles_entry_count(i); ++e) {
            yyjson_val *en = yyjson_arr_get(entries, static_cast<size_t>(e));
            EXPECT_STREQ(yyjson_get_str(yyjson_obj_get(en, "uri")), mvfiles_entry_uri(i, e));
            EXPECT_EQ(yyjson_get_bool(yyjson_obj_get(en, "active")), mvfiles_entry_is_active(i, e) == 1);
        }
    }
}

// One run of each key-value look-up and of sessions: the table has a row
// per record and the JSON document the same count as the library.
TEST_F(Cli, KeyValueAndSessionCommandsMatchTheLibrary) {
    struct Case {
        std::vector<std::string> args;
        const char *array;
        int32_t (*lookup)();
    };
    const Case cases[] = {
        {{"playlists", "Movies"}, "playlists",
         [] { return mvfiles_get_playlists(nullptr, nullptr, "Movies") ? -1 : mvfiles_playlist_count(); }},
        {{"progress", "--user", "u42", "--profile", "0", "tt0944947"}, "progress",
         [] { return mvfiles_get_progress("u42", 0, "tt0944947") ? -1 : mvfiles_progress_count(); }},
        {{"subtitles", "tt0944947", "-s", "1", "-e", "1"}, "subtitles",
         [] { return mvfiles_get_external_subtitles("tt0944947", 1, 1) ? -1 : mvfiles_sub_count(); }},
        {{"session-index"}, "sessions",
         [] { return mvfiles_get_session_index(nullptr) ? -1 : mvfiles_sessionix_count(); }},
        {{"storages"}, "storages", [] { return mvfiles_get_storages() ? -1 : mvfiles_storage_count(); }},
        {{"sessions", "ps-7f3a91"}, "sessions",
         [] { return mvfiles_get_playback_sessions("ps-7f3a91") ? -1 : mvfiles_session_count(); }},
    };
    for (const auto &c : cases) {
        int32_t n = c.lookup();
        ASSERT_GT(n, 0) << c.args[0] << ": " << mvfiles_last_error();
        Outcome r = cli(c.args);
        ASSERT_EQ(r.status, 0) << c.args[0] << ": " << r.err;
        EXPECT_EQ(lines(r.out), static_cast<size_t>(n) + 1) << r.out;

        std::vector<std::string> json_args{"--json"};
        json_args.insert(json_args.end(), c.args.begin(), c.args.end());
        r = cli(json_args);
        ASSERT_EQ(r.status, 0) << r.err;
        Doc d(r.out);
        ASSERT_TRUE(d.doc) << r.out;
        EXPECT_EQ(yyjson_get_int(d.get("count")), n) << c.args[0];
        EXPECT_EQ(yyjson_arr_size(d.get(c.array)), static_cast<size_t>(n)) << c.args[0];
    }
}

TEST_F(Cli, SubtitleChildrenNameTheirParent) {
    ASSERT_EQ(mvfiles_get_external_subtitles("tt0111161", -1, -1), 0);
    int child = -1;
    for (int32_t i = 0; i < mvfiles_sub_count(); ++i)
        if (mvfiles_sub_is_child(i)) child = i;
    ASSERT_GE(child, 0) << "the corpus has a derived subtitle";
    Outcome r = cli({"subtitles", "tt0111161"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string parent = std::to_string(mvfiles_sub_parent_id(child));
    std::string id = std::to_string(mvfiles_sub_id(child));
    size_t at = r.out.find(id + "  " + parent + "  child");
    EXPECT_NE(at, std::string::npos) << r.out;
}

TEST_F(Cli, FileJsonIsTheLibrarysText) {
    ASSERT_EQ(mvfiles_get_by_imdb("tt4154796", -1, -1), 0);
    Outcome r = cli({"file-json", "tt4154796", "1"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, std::string(mvfiles_file_json(1)) + "\n");
    Doc d(r.out);
    EXPECT_TRUE(yyjson_is_obj(d.root()));
}

TEST_F(Cli, PlayableAnswersWithItsWordAndExitZero) {
    // A corpus whose path is not ASCII (UTF-8 arguments, UTF-16 on Windows).
    namespace fsys = std::filesystem;
    const std::string parent = temp_dir();
    const std::string utf8_dir = parent + "/corpus-J\xC3\xBCrgen-\xC3\xBC";
    ASSERT_TRUE(fsys::create_directory(fsys::u8path(utf8_dir)));
    fsys::copy_file(fsys::u8path(MVFILES_FIXTURES_DIR "/getfiles.movie-multi.json"),
                    fsys::u8path(utf8_dir + "/getfiles.movie-multi.json"));
    struct Case {
        std::vector<std::string> args;
        int status;
        const char *out;
    };
    const Case cases[] = {
        {{"playable", "tt4154796"}, 0, "playable\n"},
        {{"playable", "tt0000001"}, 0, "not playable\n"},
        {{"--corpus", utf8_dir, "playable", "tt4154796"}, 0, "playable\n"},
        // A failed look-up is a failure, never "playable".
        {{"--corpus", "/nonexistent/corpus", "playable", "tt4154796"}, 1, ""},
        {{"playable", "abc"}, 6, ""},
    };
    for (const auto &c : cases) {
        Outcome r = cli(c.args, c.args[0] != "--corpus");
        EXPECT_EQ(r.status, c.status) << c.args.back() << r.err;
        EXPECT_EQ(r.out, c.out) << c.args.back();
    }
    std::error_code ec;
    fsys::remove_all(fsys::u8path(parent), ec);
}

// Failures exit with the library's result code and show its message and
// the HTTP code on stderr; nothing goes to stdout.
TEST_F(Cli, FailuresExitWithTheResultCode) {
    struct Case {
        std::vector<std::string> args;
        int status;
        const char *err;
    };
    const Case cases[] = {
        {{"files", "tt0000001"}, 5, "no files for this id (HTTP 404) (result 5, HTTP 404)"},
        {{"files", "abc"}, 6, "imdb id must look like"},
        {{"keys", "k1", "k2"}, 2, "getfiles POST: HTTP 405 (server is GET-only, SPEC D3)"},
        {{"playlists", "movies"}, 6, "type must be Production, Movies or Series (got 'movies')"},
        {{"file-json", "tt4154796", "99"}, 6, "index 99 out of range"},
        {{"save-progress", "u42", "0", "tt0111161", "-1", "-1", "100", "1000"}, 9,
         "NOT_ARMED: save_progress mutates a real user's watch position"},
        {{"update-session", "k", "YWJj", "10", "20"}, 9, "NOT_ARMED: update_playback_session"},
        {{"download-magnet", "u42", "magnet:?xt=urn:btih:0"}, 9, "NOT_ARMED: download_magnet"},
        // Armed, the writes reach the offline backend, which has no write routes.
        {{"--arm", "save-progress", "u42", "0", "tt0111161", "-1", "-1", "100", "1000"}, 1, "NO write routes"},
        {{"update-session", "k", "YWJj", "--arm"}, 1, "NO write routes"},
        {{"--arm", "download-magnet", "u42", "T", "--tkey"}, 1, "NO write routes"},
    };
    for (const auto &c : cases) {
        Outcome r = cli(c.args);
        EXPECT_EQ(r.status, c.status) << c.args[0] << " " << c.args[1];
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "") << c.args[0];
    }
    // A missing corpus is a transport failure, and the program says why.
    Outcome r = spawn({MVFILES_CLI, "--corpus", "/nonexistent/corpus", "files", "tt4154796"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("transport: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("'/nonexistent/corpus' does not exist"), std::string::npos) << r.err;
    r = spawn({MVFILES_CLI, "--corpus", std::string(600, 'd'), "files", "tt4154796"});
    EXPECT_EQ(r.status, 6);
    EXPECT_NE(r.err.find("corpus path over 511 bytes"), std::string::npos) << r.err;
}

TEST_F(Cli, JsonFailureIsAlsoADocument) {
    Outcome r = cli({"--json", "files", "tt0000001"});
    EXPECT_EQ(r.status, 5);
    Doc d(r.out);
    ASSERT_TRUE(d.doc) << r.out;
    EXPECT_FALSE(yyjson_get_bool(d.get("ok")));
    EXPECT_EQ(yyjson_get_int(d.get("result")), 5);
    EXPECT_EQ(yyjson_get_int(d.get("http")), 404);
    EXPECT_STREQ(yyjson_get_str(d.get("error")), "no files for this id (HTTP 404)");

    // The library echoes the id in its message, with control bytes escaped
    // (a byte that is not UTF-8 reaches it as "\\xFF" here, as U+FFFD
    // through a Windows command line).
    r = cli({"--json", "files", "tt\xff\x01"});
    EXPECT_EQ(r.status, 6);
    Doc bad(r.out);
    ASSERT_TRUE(bad.doc) << r.out;
    EXPECT_NE(std::string(yyjson_get_str(bad.get("error"))).find("\\x01')"), std::string::npos) << r.out;
}

// --json gives one document on stdout whatever happens, opening with the
// same envelope, its result the exit status; a missing number is null.
TEST_F(Cli, JsonIsOneDocumentForEveryOutcome) {
    struct Case {
        std::vector<std::string> args;
        int status;
        const char *member;   // what the document carries besides the envelope
    };
    const Case cases[] = {
        {{"files", "tt0944947", "-s", "1", "-e", "1"}, 0, "files"},
        {{"keys", "k1"}, 2, "error"},
        {{"playable", "tt0111161"}, 0, "playable"},
        {{"--corpus", "/nonexistent/corpus", "playable", "tt0111161"}, 1, "hint"},
        {{"file-json", "tt4154796", "0"}, 0, "file"},
        {{"playlists", "Series"}, 0, "playlists"},
        {{"progress", "--user", "u42", "tt0111161"}, 0, "progress"},
        {{"subtitles", "tt0111161"}, 0, "subtitles"},
        {{"session-index", "--user", "u7"}, 0, "sessions"},
        {{"storages"}, 0, "storages"},
        {{"sessions", "x"}, 0, "sessions"},
        {{"download-magnet", "u42", "magnet:?xt=urn:btih:0"}, 9, "hint"},
        {{}, 64, "error"},
        {{"files"}, 64, "error"},
        {{"files", "tt0944947", "-s", "x"}, 64, "error"},
        {{"files", "tt0944947", "-s", "1", "--season", "2"}, 64, "error"},
        {{"--version"}, 0, "version"},
        {{"files", "--help"}, 0, "help"},
    };
    for (const auto &c : cases) {
        bool own_corpus = !c.args.empty() && c.args[0] == "--corpus";
        std::string where = c.args.empty() ? "(none)" : c.args.back();
        EXPECT_EQ(cli(c.args, !own_corpus).status, c.status) << where;
        std::vector<std::string> args = c.args;
        args.insert(args.begin(), "--json");
        Outcome r = cli(args, !own_corpus);
        EXPECT_EQ(r.status, c.status) << where;
        EXPECT_EQ(lines(r.out), 1u) << r.out;
        Doc d(r.out);
        ASSERT_TRUE(yyjson_is_obj(d.root())) << where << ": " << r.out;
        EXPECT_TRUE(yyjson_is_str(d.get("command")) || yyjson_is_null(d.get("command"))) << r.out;
        EXPECT_EQ(yyjson_get_bool(d.get("ok")), c.status == 0) << r.out;
        EXPECT_EQ(yyjson_get_int(d.get("result")), c.status) << r.out;
        EXPECT_TRUE(yyjson_is_int(d.get("http"))) << r.out;
        EXPECT_NE(d.get(c.member), nullptr) << where << ": " << r.out;
        EXPECT_EQ(r.out.find(":-1"), std::string::npos) << r.out;
    }
}

TEST_F(Cli, HelpAndUsageErrors) {
    struct Case {
        std::vector<std::string> args;
        int status;
        const char *text;   // on stdout for help, on stderr for usage errors
    };
    const Case cases[] = {
        {{"--help"}, 0, "usage: mvfiles [OPTIONS] COMMAND"},
        {{"-h"}, 0, "CHANGE REAL DATA"},
        {{"files", "--help"}, 0, "usage: mvfiles [OPTIONS] files ID [-s N] [-e N]"},
        {{"help", "download-magnet"}, 0, "CHANGES REAL DATA"},
        {{"save-progress", "-h"}, 0, "runs only with --arm"},
        {{}, 64, "no command given"},
        {{"bogus"}, 64, "unknown command 'bogus'"},
        {{"files"}, 64, "missing arguments"},
        {{"files", "tt1", "tt2"}, 64, "too many arguments"},
        {{"files", "tt1", "-s", "one"}, 64, "--season must be a whole number"},
        {{"files", "tt1", "--season"}, 64, "needs a value"},
        {{"files", "tt1", "--bogus"}, 64, "unknown option '--bogus'"},
        {{"storages", "--user", "u"}, 64, "unknown option"},
        {{"update-session", "k", "b", "10"}, 64, "POSITION needs DURATION"},
        {{"save-progress", "u", "0", "tt1", "1", "1", "nan", "10"}, 64, "POSITION must be a finite number"},
        {{"--host", "h.example", "files", "tt1"}, 64, "--corpus and --host exclude each other"},
    };
    for (const auto &c : cases) {
        Outcome r = cli(c.args, c.status == 64 && c.args.size() && c.args[0] == "--host");
        std::string where = c.args.empty() ? "(none)" : c.args[0];
        EXPECT_EQ(r.status, c.status) << where;
        const std::string &text = c.status == 0 ? r.out : r.err;
        EXPECT_NE(text.find(c.text), std::string::npos) << where << ": " << text;
        if (c.status == 0) {
            EXPECT_EQ(r.err, "");
        } else {
            EXPECT_NE(r.err.find("usage: mvfiles"), std::string::npos) << where;
        }
    }
}

// Texts from the service cannot drive the terminal: control characters are
// shown escaped in tables, while --json keeps the text exact.
TEST_F(Cli, ControlCharactersFromTheServiceAreEscaped) {
    std::string dir = temp_dir();
    ASSERT_FALSE(dir.empty());
    const std::string name = "evil\x1b[2Jname\xc2\x9b" "1m.mkv";
    std::ofstream(dir + "/getfiles.movie-single.json")
        << "[{\"key\":\"k1\",\"fileName\":\"evil\\u001b[2Jname\\u009b1m.mkv\",\"size\":1536}]";
    Outcome r = cli({"--corpus", dir, "files", "tt0111161"}, false);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
    EXPECT_NE(r.out.find("evil\\x1b[2Jname\\xc2\\x9b1m.mkv"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("1.5 KiB"), std::string::npos) << r.out;

    r = cli({"--corpus", dir, "--json", "files", "tt0111161"}, false);
    ASSERT_EQ(r.status, 0) << r.err;
    Doc d(r.out);
    ASSERT_TRUE(d.doc) << r.out;
    yyjson_val *f = yyjson_arr_get(d.get("files"), 0);
    EXPECT_EQ(std::string(yyjson_get_str(yyjson_obj_get(f, "fileName"))), name);
    std::error_code ec;
    std::filesystem::remove_all(std::filesystem::u8path(dir), ec);
}

// After installation the program finds its library and the bundled corpus
// relative to itself, whatever the prefix.
TEST_F(Cli, InstalledProgramFindsLibraryAndCorpus) {
#ifdef MVFILES_INSTALLED_PREFIX
    // Cross-built: CTest installs the tree on the build machine before this suite.
    const std::string prefix = MVFILES_INSTALLED_PREFIX;
    if (!std::filesystem::is_directory(prefix + "/bin"))
        GTEST_SKIP() << "no installed tree in " << prefix << " (the install_tree test makes it)";
#else
    if (std::system("cmake --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no cmake";
    std::string cli_path = MVFILES_CLI;
    std::string build = cli_path.substr(0, cli_path.rfind("/tools/"));
    std::string prefix = temp_dir();
    ASSERT_FALSE(prefix.empty());
    std::string cmd = "cmake --install '" + build + "' --prefix '" + prefix + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
#endif
    Outcome r = spawn({prefix + "/bin/mvfiles", "files", "tt4154796"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, cli({"files", "tt4154796"}).out);
    // It is the installed copy of the corpus that answers.
    std::remove((prefix + "/share/mvfiles/fixtures/getfiles.movie-multi.json").c_str());
    r = spawn({prefix + "/bin/mvfiles", "files", "tt4154796"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("getfiles fixture missing"), std::string::npos) << r.err;
    std::error_code ec;
    std::filesystem::remove_all(prefix, ec);
}

// With --host the same look-ups go to a live service over HTTP; a write
// leaves the program only when armed.
TEST_F(Cli, HostRunsAgainstALiveService) {
    mvtest::Loopback server;
    if (!server.start(MVFILES_TESTS_DIR "/loopback_server.py", MVFILES_FIXTURES_DIR))
        GTEST_SKIP() << server.why();
    const std::string host = server.origin();
    Outcome r = cli({"--host", host, "files", "tt4154796"}, false);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, cli({"files", "tt4154796"}).out);

    r = cli({"--host", host, "files", "tt0000001"}, false);
    EXPECT_EQ(r.status, 5);
    EXPECT_NE(r.err.find("HTTP 404"), std::string::npos) << r.err;

    const std::vector<std::string> save{"save-progress", "u42", "0", "tt0111161", "-1", "-1", "100", "1000"};
    std::vector<std::string> args{"--host", host};
    args.insert(args.end(), save.begin(), save.end());
    r = cli(args, false);
    EXPECT_EQ(r.status, 9);
    EXPECT_EQ(server.writes(), "[]");

    args.push_back("--arm");
    r = cli(args, false);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "save-progress: done (HTTP 200)\n");
    EXPECT_NE(r.err.find("writes ARMED"), std::string::npos) << r.err;
    std::string w = server.writes();
    EXPECT_TRUE(w.size() > 2 && w.find("},{") == std::string::npos) << "one write: " << w;
}

}  // namespace
