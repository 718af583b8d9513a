// Run-time lookup of entry points by library and name. Libraries the platform provides itself
// (such as "OLE32.dll") resolve to its own functions; any other name is loaded with dlopen.
#pragma once

#include "platform/windef.h"

using FARPROC = void (*)();

HMODULE LoadLibraryA(LPCSTR file_name);
FARPROC GetProcAddress(HMODULE module, LPCSTR proc_name);
BOOL FreeLibrary(HMODULE module);
