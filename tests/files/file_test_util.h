// Small helpers for the file-call tests: whole-file reads and writes by the standard library,
// so that the calls under test are checked against an independent view of the disk.
#pragma once

#include <fstream>
#include <sstream>
#include <string>

namespace cx::test {

inline void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

}  // namespace cx::test
