// INI text for the writers' tests.
#include "ini_text.h"

namespace cx::test {

std::string IniText(std::initializer_list<const char*> lines) {
    std::string text;
    for (const char* line : lines)
        text.append(line).append("\r\n");
    return text;
}

}  // namespace cx::test

namespace cx::test {

std::string IniSection(const std::string& text, const std::string& name) {
    std::string header = "[" + name + "]\r\n";
    std::size_t start = text.find(header);
    if (start == std::string::npos) return std::string();
    std::size_t end = text.find("\r\n[", start + header.size() - 2);
    return text.substr(start, end == std::string::npos ? std::string::npos : end + 2 - start);
}

}  // namespace cx::test
