// Modules (shared objects) and their files.
#pragma once

#include "platform/windef.h"

// The path of the shared object loaded at `module` (NULL: the executable). Windows rules: the
// result is the length without the terminating NUL; when the buffer is too small the path is
// cut to size - 1 characters, terminated, size is returned and the last error is
// ERROR_INSUFFICIENT_BUFFER. 0 on failure.
DWORD GetModuleFileNameA(HMODULE module, LPSTR filename, DWORD size);
// Takes a reference on the shared object `file_name` only if it is loaded already, so that it
// stays loaded; the result identifies the reference (it is not a load address). NULL
// (ERROR_MOD_NOT_FOUND) when it is not loaded. The reference is never given back: locked
// modules stay for the life of the process.
HMODULE CxLockLoadedModule(LPCSTR file_name);
// The module that contains `address`, or NULL.
HMODULE CxModuleFromAddress(const void* address);

// Process-status calls on a handle from OpenProcess; `module` NULL means the main executable.
// Same length and truncation rules as above.
DWORD GetModuleBaseNameA(HANDLE process, HMODULE module, LPSTR base_name, DWORD size);
DWORD GetModuleFileNameExA(HANDLE process, HMODULE module, LPSTR filename, DWORD size);
