// Translation of Linux errno values into Windows system error codes, for the platform's calls.
#pragma once

#include "platform/windef.h"

namespace cx::platform {

DWORD WinErrorFromErrno(int error_number);
// Sets the thread's last error from errno and returns it.
DWORD SetLastErrorFromErrno();

}  // namespace cx::platform
