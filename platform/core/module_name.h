// The Windows rule of the calls that hand out a module's or a driver's name or file: a name that
// does not fit is cut to the buffer, terminated, and reported with ERROR_INSUFFICIENT_BUFFER.
#pragma once

#include <string>

#include "platform/windef.h"

namespace cx::platform {

// The length copied (without the NUL); `size` when the name was cut, 0 without a buffer.
DWORD CopyModuleName(const std::string& text, LPSTR buffer, DWORD size);

}  // namespace cx::platform
