// The fake server's file route answering fuzzed request header lines (a
// Range among them). Input: the file size, a mode byte (range mode, bit 2
// for HEAD), then LF-separated header lines.
#include <cstring>
#include <string>

#include <yyjson.h>

#include "fuzz/fuzz.h"
#include "http/buf.h"
#include "http/fake_server.h"
#include "http/headers.h"

int mvfuzz_fake_server(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    std::string content;
    for (unsigned k = 0; k < data[0]; k++) content.push_back(static_cast<char>(k * 7 + 3));
    const char *url = "http://fake.invalid/file";
    const char *method = data[1] & 4 ? "HEAD" : "GET";
    MVFUZZ_CHECK(veltrona_fake_file(url, content.data(), content.size(), data[1] % 3) == 0);
    std::vector<std::string> seg = mvfuzz::split(data + 2, size - 2, '\n');
    std::vector<const char *> lines;
    for (const auto &s : seg) lines.push_back(s.c_str());

    veltrona_collect c;
    veltrona_collect_init(&c, 0);
    veltrona_http_request req;
    std::memset(&req, 0, sizeof req);
    req.size = VELTRONA_HTTP_REQUEST_SIZE;
    req.method = method;
    req.url = url;
    req.headers = lines.data();
    req.header_count = lines.size();
    req.on_header = veltrona_collect_header;
    req.on_body = veltrona_collect_body;
    req.cb_ctx = &c;
    int32_t status = 0;
    char *err = nullptr;
    MVFUZZ_CHECK(veltrona_http_fake()->request(nullptr, &req, &status, &err) == 0 && c.status == status);
    bool head = std::strcmp(method, "HEAD") == 0;
    std::string body(c.body.data ? c.body.data : "", c.body.len);
    const char *cr = veltrona_hdrs_get(&c.headers, "Content-Range");
    int64_t f = -1, l = -1, t = -1;
    if (status == 200) {
        MVFUZZ_CHECK(body == (head ? "" : content) && !cr);
    } else if (status == 206) {
        // Only bytes of the file, exactly the span the header names.
        MVFUZZ_CHECK(cr && veltrona_content_range(cr, &f, &l, &t) == 0 && f >= 0 && l >= f &&
                     t == static_cast<int64_t>(content.size()) && l < t);
        MVFUZZ_CHECK(std::to_string(l - f + 1) == veltrona_hdrs_get(&c.headers, "Content-Length"));
        MVFUZZ_CHECK(body == (head ? "" : content.substr(static_cast<size_t>(f), static_cast<size_t>(l - f + 1))));
    } else {
        MVFUZZ_CHECK(status == 416 && body.empty() && cr && "bytes */" + std::to_string(content.size()) == cr);
    }
    veltrona_collect_free(&c);

    // The journal stays JSON and holds every line as it was sent.
    const char *journal = veltrona_fake_last_request();
    yyjson_doc *doc = journal ? yyjson_read(journal, std::strlen(journal), YYJSON_READ_ALLOW_INVALID_UNICODE) : nullptr;
    yyjson_val *sent = yyjson_obj_get(yyjson_doc_get_root(doc), "headers");
    MVFUZZ_CHECK(yyjson_arr_size(sent) == lines.size());
    for (size_t k = 0; k < yyjson_arr_size(sent); k++)
        MVFUZZ_CHECK(yyjson_equals_str(yyjson_arr_get(sent, k), lines[k]));
    yyjson_doc_free(doc);
    return 0;
}
