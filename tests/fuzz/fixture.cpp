// The fixture backend routing a fuzzed URL (first byte: GET, POST or PUT),
// checked against a plain router written from its route table.
#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>

#include "fake/fixture_backend.h"
#include "fuzz/fuzz.h"

namespace {

struct Outcome {
    int32_t rc, status;
    std::string body, err;
    bool operator==(const Outcome &o) const { return rc == o.rc && status == o.status && body == o.body && err == o.err; }
};

Outcome fixture(const std::string &name, int32_t status, const char *missing) {
    static std::map<std::string, std::string> files;
    if (!files.count(name)) {
        std::ifstream in(MVFILES_FIXTURES_DIR "/" + name, std::ios::binary);
        files[name] = std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return files[name].empty() ? Outcome{-1, 0, "", missing} : Outcome{0, status, files[name], ""};
}

// After the first "name=" anywhere in the URL, up to "&", cut to cap - 1.
std::string qval(const std::string &url, const std::string &name, size_t cap) {
    size_t at = url.find(name + "=");
    if (at == std::string::npos) return "";
    std::string v = url.substr(at + name.size() + 1);
    return v.substr(0, std::min(v.find('&'), cap - 1));
}

// Leading digits, compared as a number.
bool number_is(const std::string &v, const char *n) {
    std::string digits = v.substr(0, v.find_first_not_of("0123456789"));
    return digits.erase(0, digits.find_first_not_of('0')) == n;
}

Outcome route(const std::string &url, bool post) {
    const Outcome not_found{0, 404, "{\"type\":\"x\",\"title\":\"Not Found\",\"status\":404}", ""};
    auto has = [&](const char *s) { return url.find(s) != std::string::npos; };
    if (post && has("GetPlaybackSessions"))
        return fixture("playbacksessions.result.json", 200, "fake: sessions fixture missing");
    if (post && has("getfiles")) return {0, 405, "", ""};
    if (post && (has("UpdatePlaybackSession") || has("DownloadMagnet") || has("/api/KeyValue")))
        return {-1, 0, "", "fake: NO write routes \xE2\x80\x94 armed writes cannot succeed offline"};
    if (has("APIFunction") && has("GetAuth"))
        return fixture("storages.getauth.b64.txt", 200, "fake: storages fixture missing");
    if (!post && has("getfiles")) {
        std::string id = qval(url, "id", 64), s = qval(url, "s", 32), e = qval(url, "e", 32), name = "404";
        if (id.empty()) return not_found;
        if (id == "tt0111161") name = "movie-single";
        if (id == "tt4154796") name = "movie-multi";
        if (id == "tt0944947") name = number_is(s, "1") && !e.empty() && number_is(e, "1") ? "tv-s1e1"
                                      : number_is(s, "99")                                 ? "tv-nomatch"
                                                                                           : "tv-all";
        return fixture("getfiles." + name + ".json", name == "404" ? 404 : 200, "fake: getfiles fixture missing");
    }
    if (!has("KeyValue/StartsWith")) return {-1, 0, "", "fake: unrouted URL"};
    std::string k = qval(url, "k", 256);
    if (k.empty()) return {0, 500, "error", ""};
    static const char *const routes[][2] = {
        {"RVD_MoviesPlaylist", "playlists.movies.json"},
        {"RVD_SeriesPlaylist", "playlists.series.json"},
        {"RVD_ProductionPlaylist", "playlists.production.json"},
        {"RVD_ExternalSubtitle_tt0111161", "externalsubs.tt0111161.json"},
        {"RVD_ExternalSubtitle_tt0944947", "externalsubs.tt0944947.json"},
        {"RVD_Position_", "position.rows.json"},
        {"VELTRONA_PlaybackSession", "playbacksessions.rows.json"},
        {"RVD_ONEDRIVESITEMS", "storages.onedrivesitems.rows.json"},
        {"RVD_ONEDRIVES", "storages.onedrives.rows.json"}};
    for (auto &r : routes)
        if (k.compare(0, std::strlen(r[0]), r[0]) == 0) return fixture(r[1], 200, "fake: kv fixture missing");
    return not_found;
}

}  // namespace

int mvfuzz_fixture(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    const char *methods[] = {"GET", "POST", "PUT"}, *method = methods[data[0] % 3];
    std::string url = std::string(reinterpret_cast<const char *>(data + 1), size - 1).c_str();
    const veltrona_http *t = mvfiles_fake_backend(MVFILES_FIXTURES_DIR);
    mvfiles_fake_set_mode(0);
    int64_t calls = mvfiles_fake_calls_internal(), fails = mvfiles_fake_fail_internal();
    veltrona_collect c;
    Outcome got{0, 0, "", ""}, want = route(url, data[0] % 3 == 1);
    got.rc = mvfuzz::exchange(t, method, url.c_str(), {}, &c, &got.err);
    got.status = c.status;
    got.body.assign(c.body.data ? c.body.data : "", c.body.len);
    veltrona_collect_free(&c);
    MVFUZZ_CHECK(got == want);
    MVFUZZ_CHECK(mvfiles_fake_calls_internal() == calls + 1 && mvfiles_fake_fail_internal() == fails + (want.rc != 0));
    MVFUZZ_CHECK((std::string(data[0] % 3 == 1 ? "POST " : "GET ") + url).substr(0, 1023) == mvfiles_fake_last_url_internal());
    return 0;
}
