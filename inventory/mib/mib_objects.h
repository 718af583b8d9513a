// The objects of the Catalix MIB as data: every scalar and table column with its OID, the name
// it is registered under and its type, and for each table where its rows lie in the saved
// inventory file.
#pragma once

#include <span>

#include "inventory/inventory_sections.h"
#include "platform/windef.h"

namespace cx::inventory {

// A column's OID ends in the placeholder 0 that the row number replaces.
struct MibObject {
    const char* oid;
    const char* name;  // shown by the trace; part of the registration, spelled exactly
    BYTE type;         // ASN_INTEGER or ASN_OCTETSTRING
};

// Where a cell of a row comes from: the row number, the row's probe key, or its own key
// ("<key>.<row>", 0 or "" when missing).
enum class CellSource { kRowNumber, kProbe, kInteger, kText };

struct MibColumn {
    MibObject object;
    CellSource source;
    const char* key;  // the key's name before ".<row>"; unused for the row number
};

// A table whose rows run 1, 2, ... until the probe key of a row is missing (or -1).
struct MibRowTable {
    const char* section;
    const char* probe_key;
    std::span<const MibColumn> columns;  // in registration order
};

extern const MibObject kAgentIdObject;
extern const MibObject kAgentCompanyObject;
extern const MibObject kAgentVersionObject;
extern const MibObject kAgentBuildObject;
extern const MibObject kLastDateObject;
extern const MibObject kLastScanObject;
extern const MibObject kScanStateObject;

// [Component Definition] is walked by its keys: the key is the type (hexadecimal), the value
// its name.
extern const MibObject kCompDefNoObject;
extern const MibObject kCompDefTypeObject;
extern const MibObject kCompDefNameObject;

// The tables read by probe key, in the order the MIB builder publishes them.
std::span<const MibRowTable> ProbedTables();

}  // namespace cx::inventory
