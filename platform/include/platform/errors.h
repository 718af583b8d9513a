// The calling thread's last-error value.
#pragma once

#include "platform/windef.h"
#include "platform/winerror.h"

DWORD GetLastError();
void SetLastError(DWORD error);
