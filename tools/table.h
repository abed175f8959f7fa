// Aligned text tables and the value formats of the human-readable output.
#ifndef MVFILES_CLI_TABLE_H
#define MVFILES_CLI_TABLE_H

#include <cstdint>
#include <string>
#include <vector>

namespace mvcli {

// Columns are padded to their widest cell. A header that begins with ">"
// right-aligns its column (the ">" is not shown). Each row may carry extra
// free-form lines printed under it, such as the access entries of a file.
class Table {
public:
    explicit Table(std::vector<std::string> headers);
    void row(std::vector<std::string> cells);
    void note(std::string line);          // a line under the last row
    size_t rows() const { return rows_.size(); }
    std::string render() const;

private:
    struct Row {
        std::vector<std::string> cells;
        std::vector<std::string> notes;
    };
    std::vector<std::string> head_;
    std::vector<bool> right_;
    std::vector<Row> rows_;
};

// Display width of UTF-8 text: one column per code point.
size_t display_width(const std::string &s);

// Text from the service made safe for a terminal: control characters
// (C0, DEL, C1) and bytes that are not UTF-8 are shown as \xNN escapes so
// that no answer can move the cursor or change the terminal's state.
// nullptr gives dflt.
std::string safe(const char *text, const char *dflt = "-");

std::string human_size(int64_t bytes);       // "1.5 GiB"; "-" for 0
std::string hms(int64_t seconds);            // "2:16:00"; "-" for 0
std::string season_episode(int32_t s, int32_t e);  // "S01E02", "S01", "-"
std::string flag_text(int32_t v);            // "yes", "no", "?"
std::string num_or_dash(int64_t v);          // "-" for 0
std::string percent(double fraction);        // "25.0%"

} // namespace mvcli

#endif
