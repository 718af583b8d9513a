// Wildcard matching with one backtracking point, linear in practice and never worse than
// name length times pattern length.
#include "files/name_pattern.h"

#include "platform/ascii_case.h"

namespace cx::platform {

bool HasWildcards(std::string_view pattern) {
    return pattern.find_first_of("*?") != std::string_view::npos;
}

bool MatchesNamePattern(std::string_view name, std::string_view pattern) {
    if (pattern == "*.*") pattern = "*";
    size_t n = 0, p = 0;
    size_t star = std::string_view::npos, resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == '?' || AsciiLower(pattern[p]) == AsciiLower(name[n]))) {
            ++p;
            ++n;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

}  // namespace cx::platform
