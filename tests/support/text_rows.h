// Tables of expected data kept as text under tests/data/: one row a line, its fields separated
// by " | "; blank lines and lines starting with "#" are skipped. In a field, \n \r \t \0 \\ and
// \xHH stand for their bytes, and \| for a bar that separates nothing.
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

// The rows of `path`; a file that cannot be read fails the test and gives none.
inline std::vector<TextRow> ReadRows(const std::string& path) {
    std::vector<TextRow> rows;
    std::ifstream file(path);
    if (!file) ADD_FAILURE() << "cannot read " << path;
    std::string line;
    for (int number = 1; std::getline(file, line); ++number) {
        if (line.empty() || line[0] == '#') continue;
        TextRow row{number, {}};
        size_t start = 0;
        for (size_t at; (at = line.find(" | ", start)) != std::string::npos; start = at + 3)
            row.fields.push_back(Unescape(line.substr(start, at - start)));
        row.fields.push_back(Unescape(line.substr(start)));
        rows.push_back(row);
    }
    return rows;
}

}  // namespace cx::test
