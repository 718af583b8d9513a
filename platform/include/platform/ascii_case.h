// Names compared without regard to letter case, as the Windows calls compare them (registry
// keys and value names, INI sections and keys, file patterns, version keys): only the ASCII
// letters fold, whatever the locale.
#pragma once

#include <algorithm>
#include <string_view>

namespace cx {

constexpr char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr char16_t AsciiLower(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

constexpr bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return AsciiLower(x) == AsciiLower(y);
           });
}

// A 16-bit name (an OLE name) against an ASCII one.
constexpr bool EqualsIgnoringCase(std::u16string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char y) {
               return AsciiLower(x) == static_cast<char16_t>(AsciiLower(y));
           });
}

constexpr bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           EqualsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

// The order of names that differ only in case is the order of their lower-case forms.
constexpr bool LessIgnoringCase(std::string_view a, std::string_view b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return AsciiLower(x) < AsciiLower(y);
    });
}

}  // namespace cx
