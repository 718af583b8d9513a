// The value texts of walk files: numbers, OIDs, addresses and hex bytes, each read whole or
// refused (nullopt), never half.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "walk_file.h"

namespace cx::replay {

std::string_view Trim(std::string_view text);
std::optional<std::int64_t> ParseSigned32(std::string_view text);
std::optional<std::uint64_t> ParseUnsigned(std::string_view text, std::uint64_t limit);
// Dotted sub-identifiers, a leading dot allowed; `minimum` components at least.
std::optional<Oid> ParseOid(std::string_view text, std::size_t minimum);
// "a.b.c.d" as four bytes.
std::optional<std::string> ParseIpv4(std::string_view text);
// Pairs of hex digits separated by blanks (`separator` ' ') or by colons (':'), or run
// together (separator '\0').
std::optional<std::string> ParseHexBytes(std::string_view text, char separator);
// True when the line holds nothing but blank-separated pairs of hex digits: the continuation
// of a Hex-STRING that snmpwalk broke over several lines.
bool IsHexContinuation(std::string_view line);
// "Float: 1.5" or "Double: 2.25" as net-snmp's opaque encoding of the number.
std::optional<std::string> ParseOpaqueNumber(std::string_view text);

}  // namespace cx::replay
