// The fake server's file route answering fuzzed request header lines (a
// Range among them). Input: the file size, a mode byte (range mode, bit 2
// for HEAD), then LF-separated header lines.
#include <cstring>

#include <yyjson.h>

#include "fuzz/fuzz.h"
#include "http/fake_server.h"
#include "http/headers.h"

int mvfuzz_fake_server(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    std::string content;
    for (unsigned k = 0; k < data[0]; k++) content.push_back(static_cast<char>(k * 7 + 3));
    const char *url = "http://fake.invalid/file";
    bool head = data[1] & 4;
    MVFUZZ_CHECK(veltrona_fake_file(url, content.data(), content.size(), data[1] % 3) == 0);
    std::vector<std::string> seg = mvfuzz::split(data + 2, size - 2, '\n');
    std::vector<const char *> lines;
    for (const auto &s : seg) lines.push_back(s.c_str());

    veltrona_collect c;
    MVFUZZ_CHECK(mvfuzz::exchange(veltrona_http_fake(), head ? "HEAD" : "GET", url, lines, &c) == 0);
    std::string body(c.body.data ? c.body.data : "", c.body.len), size_text = std::to_string(content.size());
    const char *cr = veltrona_hdrs_get(&c.headers, "Content-Range");
    int64_t f = -1, l = -1, t = -1;
    if (c.status == 200) {
        MVFUZZ_CHECK(body == (head ? "" : content) && !cr);
    } else if (c.status == 206) {
        // Only bytes of the file, exactly the span the header names.
        MVFUZZ_CHECK(cr && veltrona_content_range(cr, &f, &l, &t) == 0 && f >= 0 && l >= f && l < t &&
                     std::to_string(t) == size_text);
        MVFUZZ_CHECK(std::to_string(l - f + 1) == veltrona_hdrs_get(&c.headers, "Content-Length"));
        MVFUZZ_CHECK(body == (head ? "" : content.substr(static_cast<size_t>(f), static_cast<size_t>(l - f + 1))));
    } else {
        MVFUZZ_CHECK(c.status == 416 && body.empty() && cr && "bytes */" + size_text == cr);
    }
    veltrona_collect_free(&c);

    // The journal stays JSON and holds every line as it was sent.
    const char *journal = veltrona_fake_last_request();
    yyjson_doc *doc = yyjson_read(journal, journal ? std::strlen(journal) : 0, YYJSON_READ_ALLOW_INVALID_UNICODE);
    yyjson_val *sent = yyjson_obj_get(yyjson_doc_get_root(doc), "headers");
    MVFUZZ_CHECK(yyjson_arr_size(sent) == lines.size());
    for (size_t k = 0; k < yyjson_arr_size(sent); k++) MVFUZZ_CHECK(yyjson_equals_str(yyjson_arr_get(sent, k), lines[k]));
    yyjson_doc_free(doc);
    return 0;
}
