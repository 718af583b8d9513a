// Walk files: the objects of a captured walk, as `snmpwalk -On` prints them with net-snmp's
// default output options, or as snmprec "OID|TAG|VALUE" lines, turned into records.
#pragma once

#include "platform/snmp_value.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cx::replay {

using namespace cx::snmp;  // Oid, the BER tags, kMaxOidLength

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
