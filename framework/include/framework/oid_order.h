// The MIB tree's key: an owned copy of an OID's sub-identifiers, ordered as SnmpUtilOidCmp
// orders OIDs, and looked up by a borrowed view so that a request never copies its OID.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

#include "platform/snmp.h"

struct OidView {
    const UINT* ids;
    std::size_t length;
};

// The sub-identifiers of the agents' OIDs are kept in the key itself, so that a lookup reads
// one node per tree level and nothing beside it; longer OIDs go to the heap.
class OidKey {
  public:
    explicit OidKey(OidView oid) : length_(oid.length) {
        if (length_ <= kInline) {
            std::copy(oid.ids, oid.ids + oid.length, inline_);
        } else {
            overflow_.assign(oid.ids, oid.ids + oid.length);
        }
    }
    OidView View() const { return {length_ <= kInline ? inline_ : overflow_.data(), length_}; }

  private:
    static constexpr std::size_t kInline = 20;
    std::size_t length_;
    UINT inline_[kInline];
    std::vector<UINT> overflow_;
};

// An OID whose array is missing counts as empty, as SnmpUtilOidCmp counts it.
inline OidView ViewOf(const AsnObjectIdentifier& oid) {
    return {oid.ids, oid.ids != nullptr ? oid.idLength : 0u};
}

// Sub-identifier by sub-identifier, unsigned; on a common prefix the shorter OID is less.
struct OidOrder {
    using is_transparent = void;

    static bool Less(OidView first, OidView second) {
        return std::lexicographical_compare(first.ids, first.ids + first.length, second.ids,
                                            second.ids + second.length);
    }
    static OidView View(const OidKey& key) { return key.View(); }

    bool operator()(const OidKey& first, const OidKey& second) const {
        return Less(View(first), View(second));
    }
    bool operator()(const OidKey& first, OidView second) const { return Less(View(first), second); }
    bool operator()(OidView first, const OidKey& second) const { return Less(first, View(second)); }
};
