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

// The names of the row keys ("<name>.<row>") of the container, component and firmware-update
// tables, as the MIB builder reads them.
namespace row_key {
inline constexpr const char* kType = "Type";
inline constexpr const char* kParent = "Parent";
inline constexpr const char* kName = "Name";
inline constexpr const char* kPhysCont = "PhysCont";
inline constexpr const char* kFuncCont = "FuncCont";
inline constexpr const char* kCompType = "CompType";
inline constexpr const char* kVendor = "Vendor";
inline constexpr const char* kProdName = "ProdName";
inline constexpr const char* kProdNumber = "ProdNumber";
inline constexpr const char* kProdDescript = "ProdDescript";
inline constexpr const char* kVersion = "Version";
inline constexpr const char* kManuDate = "ManuDate";
inline constexpr const char* kSerialNo = "SerialNo";
inline constexpr const char* kLanguage = "Language";
inline constexpr const char* kCompId = "CompId";
inline constexpr const char* kObjectName = "ObjectName";
inline constexpr const char* kObjectParent = "ObjectParent";
inline constexpr const char* kObjectPath = "ObjectPath";
inline constexpr const char* kUpdateState = "UpdateState";
inline constexpr const char* kCompIndex = "CompIndex";
}  // namespace row_key

// The key of row `row` of a table: "<name>.<row>".
struct RowKey {
    RowKey(const char* name, DWORD row) { std::snprintf(text, sizeof(text), "%s.%u", name, row); }
    operator const char*() const { return text; }
    char text[48];
};

}  // namespace cx::inventory
