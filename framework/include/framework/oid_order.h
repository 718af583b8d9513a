// A borrowed view of an OID's sub-identifiers, and the order of OIDs as SnmpUtilOidCmp orders
// them: the MIB's entries are kept and looked up in it without copying a request's OID.
#pragma once

#include <algorithm>
#include <cstddef>

#include "platform/snmp.h"

struct OidView {
    const UINT* ids;
    std::size_t length;
};

// An OID whose array is missing counts as empty, as SnmpUtilOidCmp counts it.
inline OidView ViewOf(const AsnObjectIdentifier& oid) {
    return {oid.ids, oid.ids != nullptr ? oid.idLength : 0u};
}

// Sub-identifier by sub-identifier, unsigned; on a common prefix the shorter OID is less.
struct OidOrder {
    static bool Less(OidView first, OidView second) {
        return std::lexicographical_compare(first.ids, first.ids + first.length, second.ids,
                                            second.ids + second.length);
    }
    static bool Equal(OidView first, OidView second) {
        return std::equal(first.ids, first.ids + first.length, second.ids,
                          second.ids + second.length);
    }
};
