// The section names of the inventory file and the table file, for the writers, the MIB builder
// and the comparison; the scan's own header; and the "Key.n" names of table rows.
#pragma once

#include <cstdio>
#include <iterator>

#include "platform/windef.h"

namespace cx::inventory {

inline constexpr const char* kLastDateSection = "Last Date";
inline constexpr const char* kAgentInfoSection = "Agent Info";
inline constexpr const char* kComponentDefinitionSection = "Component Definition";
inline constexpr const char* kPhysicalDefinitionSection = "Physical Definition";
inline constexpr const char* kFunctionalDefinitionSection = "Functional Definition";
inline constexpr const char* kPhysicalContainerSection = "Physical Container";
inline constexpr const char* kFunctionalContainerSection = "Functional Container";
inline constexpr const char* kComponentTableSection = "Component Table";
inline constexpr const char* kFirmwareUpdateSection = "Firmware Update";

// Every inventory file begins with [Last Date] and these keys, written by InitCommon in this
// order. They change with every scan: the comparison skips the section's line and theirs.
// (Not inline: indexed at run time, an inline array would be a unique symbol that keeps the
// agent library from being unloaded.)
constexpr const char* kLastDateKeys[] = {"LastCollectionDate", "LastScanDate", "LastDate",
                                         "LastScan", "ScanState"};
inline constexpr int kInventoryHeaderLines = 1 + static_cast<int>(std::size(kLastDateKeys));

// Sections of the table file.
inline constexpr const char* kComponentTypeSection = "Component Type";
inline constexpr const char* kPhysicalTreeSection = "Physical Tree";
inline constexpr const char* kFunctionalTreeSection = "Functional Tree";
inline constexpr const char* kLanguageCodeSection = "Language Code";

// The key of row `row` of a table: "<name>.<row>".
struct RowKey {
    RowKey(const char* name, DWORD row) { std::snprintf(text, sizeof(text), "%s.%u", name, row); }
    operator const char*() const { return text; }
    char text[48];
};

}  // namespace cx::inventory
