// Facts about this and other processes, for the start-up report.
#pragma once

#include "platform/windows.h"

// Whether this is a 32-bit process on a 64-bit system; never on Linux.
BOOL IsWow64();

// The executable's base name and full path of process `process_id`. Either buffer may be
// NULL (not asked for). TRUE when either one asked for was obtained, or nothing was asked for.
BOOL GetProcessName(DWORD process_id, char* name, DWORD name_size, char* path, DWORD path_size);

// The file path of `module` (NULL: the executable); its length, 0 for a NULL buffer or size.
DWORD GetModulePath(char* buffer, DWORD size, HMODULE module);
