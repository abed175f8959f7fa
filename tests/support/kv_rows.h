// Building StartsWith answers for the key-value suites.
#ifndef MVFILES_TEST_KV_ROWS_H
#define MVFILES_TEST_KV_ROWS_H

#include <string>
#include <vector>

namespace mvtest {

// A JSON string literal (quotes and backslashes escaped).
inline std::string quote(const std::string &s) {
    std::string o = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') o += '\\';
        o += c;
    }
    return o + "\"";
}

// A row with only its key and value (NULL value: JSON null).
inline std::string plain_row(const std::string &key, const char *value) {
    return "{\"key\":" + quote(key) + ",\"value\":" + (value ? quote(value) : "null") + "}";
}

// A row with its parts p0..p9 split at "_", as the service sends it;
// parts beyond the key's last one are null.
inline std::string parts_row(const std::string &key, const char *value) {
    std::string o = "{\"key\":" + quote(key) + ",\"value\":" + (value ? quote(value) : "null");
    size_t start = 0;
    for (int i = 0; i < 10; i++) {
        o += ",\"p" + std::to_string(i) + "\":";
        if (start == std::string::npos) {
            o += "null";
            continue;
        }
        size_t us = key.find('_', start);
        o += quote(key.substr(start, us == std::string::npos ? std::string::npos : us - start));
        start = us == std::string::npos ? us : us + 1;
    }
    return o + "}";
}

// A JSON array of rows.
inline std::string rows(const std::vector<std::string> &r) {
    std::string o = "[";
    for (size_t i = 0; i < r.size(); i++) o += (i ? "," : "") + r[i];
    return o + "]";
}

}  // namespace mvtest

#endif
