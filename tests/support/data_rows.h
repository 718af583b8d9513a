// A test's expected values kept as a data file: one row a line, fields separated by '|'; blank
// lines and lines starting with '#' are left out.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace cx::test {

using DataRow = std::vector<std::string>;

inline std::vector<DataRow> ReadRows(const std::string& path) {
    std::vector<DataRow> rows;
    std::ifstream in(path);
    if (!in) ADD_FAILURE() << "cannot read " << path;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        DataRow& row = rows.emplace_back();
        for (std::size_t at = 0;; ++at) {
            const std::size_t bar = line.find('|', at);
            row.push_back(line.substr(at, bar - at));
            if (bar == std::string::npos) break;
            at = bar;
        }
    }
    return rows;
}

}  // namespace cx::test
