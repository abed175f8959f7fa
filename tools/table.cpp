// Aligned tables and the human-readable value formats.
#include "table.h"

#include "json_out.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <utility>

namespace mvcli {

Table::Table(std::vector<std::string> headers) {
    for (auto &h : headers) {
        bool right = !h.empty() && h[0] == '>';
        right_.push_back(right);
        head_.push_back(right ? h.substr(1) : h);
    }
}

void Table::row(std::vector<std::string> cells) {
    cells.resize(head_.size());
    rows_.push_back(Row{std::move(cells), {}});
}

void Table::note(std::string line) {
    if (!rows_.empty()) rows_.back().notes.push_back(std::move(line));
}

size_t display_width(const std::string &s) {
    size_t w = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80) ++w;
    return w;
}

std::string Table::render() const {
    std::vector<size_t> width(head_.size());
    for (size_t c = 0; c < head_.size(); ++c) width[c] = display_width(head_[c]);
    for (const auto &r : rows_)
        for (size_t c = 0; c < r.cells.size(); ++c)
            if (display_width(r.cells[c]) > width[c]) width[c] = display_width(r.cells[c]);

    std::string out;
    auto line = [&](const std::vector<std::string> &cells) {
        std::string l;
        for (size_t c = 0; c < cells.size(); ++c) {
            size_t pad = width[c] - display_width(cells[c]);
            bool last = c + 1 == cells.size();
            if (c) l += "  ";
            if (right_[c]) l.append(pad, ' ');
            l += cells[c];
            if (!right_[c] && !last) l.append(pad, ' ');
        }
        while (!l.empty() && l.back() == ' ') l.pop_back();
        out += l;
        out += '\n';
    };
    line(head_);
    for (const auto &r : rows_) {
        line(r.cells);
        for (const auto &n : r.notes) {
            out += n;
            out += '\n';
        }
    }
    return out;
}

std::string safe(const char *text, const char *dflt) {
    if (!text) return dflt;
    std::string out;
    const unsigned char *p = reinterpret_cast<const unsigned char *>(text);
    size_t n = std::strlen(text);
    size_t i = 0;
    while (i < n) {
        unsigned char c = p[i];
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        size_t len = c >= 0x80 ? utf8_seq_len(p + i, n - i) : 0;
        if (len == 2 && c == 0xC2 && p[i + 1] < 0xA0) len = 0;  // C1 controls are escaped
        if (len) {
            out.append(text + i, len);
            i += len;
            continue;
        }
        char esc[8];
        std::snprintf(esc, sizeof esc, "\\x%02x", c);
        out += esc;
        ++i;
    }
    return out;
}

std::string human_size(int64_t bytes) {
    if (bytes == 0) return "-";
    if (bytes < 0) return std::to_string(bytes) + " B";
    static const char *const units[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    double v = static_cast<double>(bytes);
    size_t u = 0;
    while (v >= 1024.0 && u + 1 < sizeof units / sizeof units[0]) {
        v /= 1024.0;
        ++u;
    }
    char buf[32];
    if (u == 0)
        std::snprintf(buf, sizeof buf, "%" PRId64 " B", bytes);
    else if (v >= 100.0)
        std::snprintf(buf, sizeof buf, "%.0f %s", v, units[u]);
    else
        std::snprintf(buf, sizeof buf, "%.1f %s", v, units[u]);
    return buf;
}

std::string hms(int64_t seconds) {
    if (seconds == 0) return "-";
    // Magnitude as unsigned so that the most negative value cannot overflow.
    uint64_t s = seconds < 0 ? 0 - static_cast<uint64_t>(seconds) : static_cast<uint64_t>(seconds);
    char buf[48];
    std::snprintf(buf, sizeof buf, "%s%" PRIu64 ":%02u:%02u", seconds < 0 ? "-" : "", s / 3600,
                  static_cast<unsigned>(s / 60 % 60), static_cast<unsigned>(s % 60));
    return buf;
}

std::string season_episode(int32_t s, int32_t e) {
    char buf[32];
    if (s >= 0 && e >= 0)
        std::snprintf(buf, sizeof buf, "S%02dE%02d", static_cast<int>(s), static_cast<int>(e));
    else if (s >= 0)
        std::snprintf(buf, sizeof buf, "S%02d", static_cast<int>(s));
    else if (e >= 0)
        std::snprintf(buf, sizeof buf, "E%02d", static_cast<int>(e));
    else
        return "-";
    return buf;
}

std::string flag_text(int32_t v) {
    if (v == 1) return "yes";
    if (v == 0) return "no";
    return "?";
}

std::string num_or_dash(int64_t v) { return v == 0 ? "-" : std::to_string(v); }

std::string percent(double fraction) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.1f%%", fraction * 100.0);
    return buf;
}

} // namespace mvcli
