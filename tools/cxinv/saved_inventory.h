// A saved inventory file as cxinv shows it: the header sections, the component types and every
// row table with the file's own key names, plus what is inconsistent in it.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/windef.h"

namespace cx::cxinv {

// One cell of a row: "<key>.<row>" in the file.
struct Field {
    std::string key;
    bool text = false;
    DWORD number = 0;
    std::string value;
};

struct Row {
    DWORD no = 0;
    std::vector<Field> fields;  // in the file's key order

    const Field* Find(std::string_view key) const;
    DWORD Number(std::string_view key) const;      // 0 when missing
    std::string Text(std::string_view key) const;  // "" when missing
};

struct Table {
    std::string section;
    std::vector<Row> rows;
};

using NamedValues = std::vector<std::pair<std::string, std::string>>;

struct SavedInventory {
    std::string path;
    NamedValues last_date;                                       // [Last Date]
    NamedValues agent_info;                                      // [Agent Info]
    std::vector<std::pair<DWORD, std::string>> component_types;  // [Component Definition]
    std::vector<Table> tables;          // in the order the MIB publishes them
    std::vector<std::string> problems;  // inconsistencies, "[Section] Key.n=value: why"

    const Table& Rows(std::string_view section) const;  // an empty table when absent
    std::string TypeName(DWORD comp_type) const;
    // The names of container `no` and its parents from the root, joined by "/"; "" for 0.
    std::string ContainerPath(std::string_view section, DWORD no) const;
};

// Reads `path` as the MIB builder reads the saved file. false with `error` set ("no such
// file", "not an inventory file: ...") when the file cannot be read as an inventory.
bool LoadSavedInventory(const std::string& path, SavedInventory* inventory, std::string* error);

}  // namespace cx::cxinv
