// Kernel object handles: events, threads, mutexes, processes and files share one handle table.
#pragma once

#include "platform/windef.h"

// Closes a handle returned by a Create/Open call. FALSE with ERROR_INVALID_HANDLE for a
// handle that is not open (NULL, INVALID_HANDLE_VALUE, closed already).
BOOL CloseHandle(HANDLE handle);
