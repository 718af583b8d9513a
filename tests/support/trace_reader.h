// Reading a trace file as the tests do: how often a text occurs, and the lines between the
// CR LF the trace writes.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

namespace cx::test {

// How often `part` occurs in `text`, without overlaps.
inline std::size_t CountOf(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    if (part.empty()) return 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++count;
    return count;
}

// The lines of a trace, split at "\r\n" (a leading one starts no line); a bare "\n" stays
// inside its line.
inline std::vector<std::string> CrlfLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = text.rfind("\r\n", 0) == 0 ? 2 : 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find("\r\n", start), text.size());
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

}  // namespace cx::test
