// What one MIB rebuild publishes, read from the saved inventory file before the new tree is
// built beside the one being served.
#pragma once

#include <string>
#include <vector>

#include "framework/snmp_agent.h"
#include "inventory/profile_file.h"
#include "mib_objects.h"

namespace cx::inventory {

// One value waiting for its entry: a scalar (row 0) or the cell of a table row.
struct MibCell {
    const MibObject* object;
    LONG row;
    LONG number;
    std::string text;
};

struct MibContent {
    std::vector<MibCell> cells;  // in registration order
    DWORD scan_state = 0;        // what [Last Date] "ScanState" says, as avkCxScanState
    bool aborted = false;        // the last table stopped because the agent shuts down
};

// The whole MIB from the saved file: scalars, component definitions, then the probed tables.
// A table stops at the first row whose probe key is missing or -1; once AgentShutdown is set,
// every table still to come gives at most its first row.
MibContent ReadSavedMib(ProfileFile& saved);

// The short set published while there is no saved file.
MibContent ReducedMib(DWORD last_date, DWORD scan_state, const std::string& company,
                      const std::string& version);

// Registers every cell, read-only, replacing entries of the same OID: into a MIB being built,
// or into the one being served while the caller holds the MIB lock.
void RegisterCells(CSnmpMibRegistry<CSnmpAgent>& tree, const std::vector<MibCell>& cells);

// "LastDate" and the other hexadecimal values: leading blanks, a sign and "0x" allowed, digits
// up to the first other character, 0 when there are none; beyond 32 bits the largest value.
DWORD HexValue(const char* text);

}  // namespace cx::inventory
