// Walk files: the objects of a captured walk, as `snmpwalk -On` prints them with net-snmp's
// default output options, or as snmprec "OID|TAG|VALUE" lines, turned into records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cx::replay {

using Oid = std::vector<std::uint32_t>;

// BER tags of the values a walk holds.
inline constexpr std::uint8_t kTagInteger = 0x02;
inline constexpr std::uint8_t kTagOctetString = 0x04;
inline constexpr std::uint8_t kTagNull = 0x05;
inline constexpr std::uint8_t kTagObjectId = 0x06;
inline constexpr std::uint8_t kTagIpAddress = 0x40;
inline constexpr std::uint8_t kTagCounter32 = 0x41;
inline constexpr std::uint8_t kTagGauge32 = 0x42;
inline constexpr std::uint8_t kTagTimeTicks = 0x43;
inline constexpr std::uint8_t kTagOpaque = 0x44;
inline constexpr std::uint8_t kTagCounter64 = 0x46;
inline constexpr std::uint8_t kTagUnsigned32 = 0x47;

// The longest OID SNMP carries.
inline constexpr std::size_t kMaxOidLength = 128;

struct WalkRecord {
    Oid name;
    std::uint8_t type = kTagNull;
    // INTEGER (signed), the unsigned 32-bit types, Counter64 (its 64 bits).
    std::int64_t number = 0;
    std::string octets;    // OCTET STRING, IpAddress (4 bytes), Opaque
    Oid object;            // OBJECT IDENTIFIER
    std::size_t line = 0;  // where the record begins, from 1
};

struct WalkProblem {
    std::size_t line = 0;  // from 1
    std::string what;
};

struct WalkContents {
    std::vector<WalkRecord> records;  // in the order of the text
    std::vector<WalkProblem> problems;
};

// Parses a whole walk file. A line that cannot be read is reported and skipped; the rest is
// kept. Lines that mark an empty answer ("No more variables", "No Such Object", "No Such
// Instance", "End of MIB") and blank lines are skipped without a report.
WalkContents ParseWalkFile(std::string_view text);

}  // namespace cx::replay
