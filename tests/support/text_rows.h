// Tables of expected data kept as text under tests/data/: one row a line; blank lines and lines
// starting with "#" are skipped. ReadRows splits at " | " and decodes escapes in a field (\n \r \t
// \0 \\ and \xHH stand for their bytes, \| for a bar that separates nothing); ReadPlainRows splits
// at "|" and takes fields as they stand.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace cx::test {

struct TextRow {
    int line;  // in the file, for messages
    std::vector<std::string> fields;
    const std::string& operator[](size_t index) const { return fields.at(index); }
    // The field as a number written in C notation (0x1F, 017, 42; -1 wraps as unsigned).
    unsigned long Number(size_t index) const { return std::stoul(fields.at(index), nullptr, 0); }
};

inline std::string Unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char code = text[++i];
        if (code == 'x' && i + 2 < text.size()) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += code == 'n'   ? '\n'
                   : code == 'r' ? '\r'
                   : code == 't' ? '\t'
                   : code == '0' ? '\0'
                                 : code;
        }
    }
    return out;
}

// Calls `take(line, number)` for each line of `path` that is neither blank nor a "#" comment; a
// file that cannot be read fails the test.
template <typename Take>
void ForEachDataLine(const std::string& path, Take take) {
    std::ifstream file(path);
    if (!file) ADD_FAILURE() << "cannot read " << path;
    std::string line;
    for (int number = 1; std::getline(file, line); ++number)
        if (!line.empty() && line[0] != '#') take(line, number);
}

inline std::vector<std::string> SplitFields(const std::string& line, const std::string& separator) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t at; (at = line.find(separator, start)) != std::string::npos;
         start = at + separator.size())
        fields.push_back(line.substr(start, at - start));
    fields.push_back(line.substr(start));
    return fields;
}

// The rows of `path`, split at " | ", escapes decoded.
inline std::vector<TextRow> ReadRows(const std::string& path) {
    std::vector<TextRow> rows;
    ForEachDataLine(path, [&](const std::string& line, int number) {
        TextRow& row = rows.emplace_back(TextRow{number, {}});
        for (const std::string& field : SplitFields(line, " | "))
            row.fields.push_back(Unescape(field));
    });
    return rows;
}

// Rows whose fields are taken as they stand (Windows paths, walk text): split at "|", no escapes.
using DataRow = std::vector<std::string>;
inline std::vector<DataRow> ReadPlainRows(const std::string& path) {
    std::vector<DataRow> rows;
    ForEachDataLine(path,
                    [&](const std::string& line, int) { rows.push_back(SplitFields(line, "|")); });
    return rows;
}

}  // namespace cx::test
