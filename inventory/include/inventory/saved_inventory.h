// The saved inventory file as the MIB publishes it, for those that show it again in another
// form: cxinv (trees, JSON, differences) and ENTITY_MIB (ENTITY-MIB's physical table). It is
// read with the MIB builder's own reader, so every table ends where the MIB's does; containers
// are placed by one rule (ParentOf), and what is inconsistent in the file is listed.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/windef.h"

class ProfileFile;

namespace cx::inventory {

// One cell of a row: "<key>.<row>" in the file.
struct SavedField {
    std::string key;
    bool text = false;
    DWORD number = 0;
    std::string value;
};

struct SavedRow {
    DWORD no = 0;
    std::vector<SavedField> fields;  // in the order the MIB publishes them

    const SavedField* Find(std::string_view key) const;
    DWORD Number(std::string_view key) const;      // 0 when missing
    std::string Text(std::string_view key) const;  // "" when missing
};

struct SavedTable {
    std::string section;
    std::vector<SavedRow> rows;  // numbered 1, 2, ... without gaps
};

using NamedValues = std::vector<std::pair<std::string, std::string>>;
// The value of `key`; "" when it is not among them.
std::string ValueOf(const NamedValues& values, std::string_view key);

struct SavedInventory {
    std::string path;
    NamedValues last_date;                                       // [Last Date]
    NamedValues agent_info;                                      // [Agent Info]
    std::vector<std::pair<DWORD, std::string>> component_types;  // [Component Definition]
    std::vector<SavedTable> tables;     // the row tables, in the order the MIB publishes them
    std::vector<std::string> problems;  // inconsistencies, "[Section] Key.n=value: why"
    bool aborted = false;               // read while the agent shut down: tables may be cut

    const SavedTable& Rows(std::string_view section) const;  // an empty table when absent
    std::string TypeName(DWORD comp_type) const;
    // The container that holds container `no` of a tree: its Parent when that is an earlier
    // container (the writers never write another), else 0, the root. So every container
    // has one place and no chain of parents can loop.
    DWORD ParentOf(std::string_view section, DWORD no) const;
    // The names of container `no` and its parents from the root, joined by "/"; "" for 0.
    std::string ContainerPath(std::string_view section, DWORD no) const;
};

// Reads the file as the MIB builder does, and lists what does not fit together: counts that
// disagree with the rows read, parents that are not earlier containers, components in missing
// containers, firmware-update objects of missing components.
SavedInventory ReadSavedInventory(ProfileFile& saved);

}  // namespace cx::inventory
