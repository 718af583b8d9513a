// Where this process keeps its registry (the store file, switched at run time by tests and
// tools) and the store-wide operations: import and export of .reg text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/reg_text.h"

// Points the process at another store file; NULL goes back to the default (CX_REGISTRY, else
// /var/lib/catalix/registry.db). The boot id (CX_BOOT_ID, else the kernel's) is read again,
// so a test "reboots" by changing CX_BOOT_ID and setting the path anew. Keys opened before
// the switch report ERROR_KEY_DELETED afterwards.
void CxRegistrySetPath(const char* path);

// The store file this process uses now.
std::string CxRegistryPath();

namespace cx::platform {

// Applies parsed .reg text in one transaction: either all of it or, on the first failure,
// nothing. `failed_line` receives the line of the key section that failed (0 when the store
// itself could not be opened).
LONG ImportRegText(const std::vector<RegTextKey>& keys, int* failed_line);

// The whole store (empty `key_path`) or the subtree at `key_path` (HKEY_LOCAL_MACHINE\...),
// read in one snapshot, every key in enumeration order with its values in their order.
// ERROR_FILE_NOT_FOUND when the key does not exist; ERROR_INVALID_DATA when a name holds a
// line break, which .reg text cannot carry.
LONG ExportRegText(std::string_view key_path, std::vector<RegTextKey>* keys);

}  // namespace cx::platform
