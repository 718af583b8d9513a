// The Catalix subtree of an agent's MIB as a manager sees it: GET and GETNEXT through the
// tree, each entry with the OID below the root, the name it was registered under and its value.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "inventory/cx_agent.h"

namespace cx::test {

struct MibCellSeen {
    std::string oid;  // below 1.3.6.1.4.1.7391.2.10.2.10, e.g. "5.1.1.6.12"
    std::string name;
    std::string value;  // INTEGER as decimal, OCTET STRING in double quotes

    bool operator==(const MibCellSeen&) const = default;
};

// Every entry of the subtree in OID order, walked by GETNEXT from the root.
std::vector<MibCellSeen> WalkCatalix(CCX_Agent& agent);
// The entry of exactly `oid` (below the root), if there is one.
std::optional<MibCellSeen> GetCatalix(CCX_Agent& agent, const std::string& oid);

void PrintTo(const MibCellSeen& cell, std::ostream* out);

}  // namespace cx::test
