// Modules (shared objects) and their files.
#pragma once

#include "platform/windef.h"

// The path of the shared object loaded at `module` (NULL: the executable). Windows rules: the
// result is the length without the terminating NUL; when the buffer is too small the path is
// cut to size - 1 characters, terminated, size is returned and the last error is
// ERROR_INSUFFICIENT_BUFFER. 0 on failure.
DWORD GetModuleFileNameA(HMODULE module, LPSTR filename, DWORD size);
// The module that contains `address`, or NULL.
HMODULE CxModuleFromAddress(const void* address);

// Process-status calls on a handle from OpenProcess; `module` NULL means the main executable.
// Same length and truncation rules as above.
DWORD GetModuleBaseNameA(HANDLE process, HMODULE module, LPSTR base_name, DWORD size);
DWORD GetModuleFileNameExA(HANDLE process, HMODULE module, LPSTR filename, DWORD size);
