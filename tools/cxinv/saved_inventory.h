// A saved inventory file as cxinv shows it: read with the inventory's own reader of the saved
// file, after making sure the file is one.
#pragma once

#include <string>

#include "inventory/saved_inventory.h"

namespace cx::cxinv {

using inventory::NamedValues;
using inventory::SavedInventory;
using Field = inventory::SavedField;
using Row = inventory::SavedRow;
using Table = inventory::SavedTable;

// Reads `path` as the MIB builder reads the saved file. false with `error` set ("no such
// file", "not an inventory file: ...") when the file cannot be read as an inventory.
bool LoadSavedInventory(const std::string& path, SavedInventory* inventory, std::string* error);

}  // namespace cx::cxinv
