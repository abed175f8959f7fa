// A small streaming JSON writer for the program's --json output.
#ifndef MVFILES_CLI_JSON_OUT_H
#define MVFILES_CLI_JSON_OUT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace mvcli {

// Appends compact JSON to a string. Commas are placed automatically; a
// member name is given with key() before its value. Texts are escaped, and
// bytes that are not valid UTF-8 become U+FFFD, so the output always parses.
class Json {
public:
    explicit Json(std::string &out) : out_(out) {}

    Json &begin_object();
    Json &end_object();
    Json &begin_array();
    Json &end_array();
    Json &key(const char *name);

    Json &str(const char *text);          // null for nullptr
    Json &str(const std::string &text);
    Json &num(int64_t v);
    // A number that the library gives as negative when there is none
    // (season, episode, an id): null then, the same in every command.
    Json &num_or_null(int64_t v);
    Json &real(double v);                 // null when not finite
    Json &boolean(bool v);
    Json &null();
    // A library flag: 1 true, 0 false, anything else (unknown) null.
    Json &flag(int32_t v);
    // Text that is already JSON (the library's own output), inserted as is.
    Json &raw(const char *json);

private:
    void value_prefix();
    std::string &out_;
    std::vector<bool> first_;   // one entry per open container
    bool after_key_ = false;
};

// Length of the valid UTF-8 sequence at p (n bytes available), or 0 when the
// bytes there are not one (overlong forms, surrogates and code points above
// U+10FFFF included).
size_t utf8_seq_len(const unsigned char *p, size_t n);

// Appends text as a quoted, escaped JSON string.
void json_quote(std::string &out, const char *text, size_t len);

} // namespace mvcli

#endif
