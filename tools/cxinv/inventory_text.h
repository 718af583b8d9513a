// What cxinv prints: the trees for people, JSON for programs, and the difference of two files.
#pragma once

#include <string>
#include <string_view>

#include "saved_inventory.h"

namespace cx::cxinv {

// The scan header, then the physical and the functional tree with each container's components.
std::string TreeText(const SavedInventory& inventory);

// One object per section; the row tables as arrays with one object per row (one line each),
// keyed by the file's names, the row number as "No".
std::string JsonText(const SavedInventory& inventory);

// `text` as a JSON string with its quotes. Bytes that are not UTF-8 are taken as Latin-1, the
// code page the inventory texts come from.
std::string JsonString(std::string_view text);

// `text` with every control character but the line ends shown as "?": texts from the file
// reach a terminal. (An INI value cannot hold a line end, so every "\n" is the printer's own.)
std::string Printable(std::string text);

// The components added ("+"), removed ("-") and changed ("~", with each changed field, the
// values as JSON strings) from
// `before` to `after`; "" when there is no difference. A component is the same one in both
// when its type, its place in both trees (by container names) and its CompId, or its ProdName
// where it has no CompId, are the same; equal ones are paired in file order.
std::string DiffText(const SavedInventory& before, const SavedInventory& after);

}  // namespace cx::cxinv
