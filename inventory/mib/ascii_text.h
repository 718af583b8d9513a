// Text comparison without regard to letter case, as the inventory files' readers compare.
#pragma once

namespace cx::inventory {

inline char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline bool EqualIgnoringCase(const char* a, const char* b) {
    for (; AsciiLower(*a) == AsciiLower(*b); ++a, ++b) {
        if (*a == '\0') return true;
    }
    return false;
}

}  // namespace cx::inventory
