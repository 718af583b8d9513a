// Copying one file's content, permissions and last-write time to a new file that appears
// whole or not at all (CopyFileA, and MoveFileExA across file systems).
#pragma once

#include "platform/windef.h"

namespace cx::platform {

// Windows error code; ERROR_SUCCESS when `target` now holds the copy.
DWORD CopyWholeFile(const char* source, const char* target, bool replace_existing, bool durable);

}  // namespace cx::platform
