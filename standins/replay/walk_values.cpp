// The value texts of walk files: numbers, OIDs, addresses and hex bytes.
#include "walk_values.h"

#include <bit>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace cx::replay {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Opaque numbers are wrapped as net-snmp does: an extension tag, the length, the big-endian
// IEEE bytes.
template <class Number, class Bits>
std::string OpaqueBytes(std::uint8_t tag, Number number) {
    const Bits bits = std::bit_cast<Bits>(number);
    std::string bytes = {'\x9F', static_cast<char>(tag), static_cast<char>(sizeof(Bits))};
    for (int shift = static_cast<int>(sizeof(Bits) * 8) - 8; shift >= 0; shift -= 8)
        bytes.push_back(static_cast<char>((bits >> shift) & 0xFF));
    return bytes;
}

}  // namespace

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::optional<std::uint64_t> ParseUnsigned(std::string_view text, std::uint64_t limit) {
    if (text.empty() || text.size() > 20) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : text) {
        if (!IsDigit(c)) return std::nullopt;
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (value > (limit - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

std::optional<std::int64_t> ParseSigned32(std::string_view text) {
    const bool negative = !text.empty() && text.front() == '-';
    if (negative) text.remove_prefix(1);
    const auto magnitude = ParseUnsigned(text, negative ? 2147483648ULL : 2147483647ULL);
    if (!magnitude) return std::nullopt;
    const auto value = static_cast<std::int64_t>(*magnitude);
    return negative ? -value : value;
}

std::optional<Oid> ParseOid(std::string_view text, std::size_t minimum) {
    if (!text.empty() && text.front() == '.') text.remove_prefix(1);
    Oid oid;
    while (true) {
        const std::size_t dot = text.find('.');
        const auto part = ParseUnsigned(text.substr(0, dot), 0xFFFFFFFFULL);
        if (!part || oid.size() == kMaxOidLength) return std::nullopt;
        oid.push_back(static_cast<std::uint32_t>(*part));
        if (dot == std::string_view::npos) break;
        text.remove_prefix(dot + 1);
    }
    if (oid.size() < minimum) return std::nullopt;
    return oid;
}

std::optional<std::string> ParseIpv4(std::string_view text) {
    std::string bytes;
    for (int i = 0; i < 4; ++i) {
        const std::size_t dot = text.find('.');
        if ((i < 3) != (dot != std::string_view::npos)) return std::nullopt;
        const auto part = ParseUnsigned(text.substr(0, dot), 255);
        if (!part) return std::nullopt;
        bytes.push_back(static_cast<char>(*part));
        if (dot != std::string_view::npos) text.remove_prefix(dot + 1);
    }
    return bytes;
}

std::optional<std::string> ParseHexBytes(std::string_view text, char separator) {
    text = Trim(text);
    std::string bytes;
    std::size_t at = 0;
    while (at < text.size()) {
        if (at + 1 >= text.size()) return std::nullopt;
        const int high = HexDigit(text[at]);
        const int low = HexDigit(text[at + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes.push_back(static_cast<char>(high * 16 + low));
        at += 2;
        if (at == text.size() || separator == '\0') continue;
        if (separator == ' ') {
            if (!IsBlank(text[at])) return std::nullopt;
            while (at < text.size() && IsBlank(text[at]))
                ++at;
        } else {
            if (text[at] != separator || at + 1 == text.size()) return std::nullopt;
            ++at;
        }
    }
    return bytes;
}

bool IsHexContinuation(std::string_view line) {
    line = Trim(line);
    return !line.empty() && ParseHexBytes(line, ' ').has_value();
}

std::optional<std::string> ParseOpaqueNumber(std::string_view text) {
    const bool is_float = text.starts_with("Float: ");
    const bool is_double = text.starts_with("Double: ");
    if (!is_float && !is_double) return std::nullopt;
    const std::string number(Trim(text.substr(text.find(':') + 1)));
    if (number.empty()) return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(number.c_str(), &end);
    if (end != number.c_str() + number.size()) return std::nullopt;
    if (is_float) return OpaqueBytes<float, std::uint32_t>(0x78, static_cast<float>(value));
    return OpaqueBytes<double, std::uint64_t>(0x79, value);
}

}  // namespace cx::replay
