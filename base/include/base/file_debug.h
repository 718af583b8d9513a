// CFileDebug: the process's diagnostic trace (file, console and debugger sinks, registry
// configured). Every call site tests the active flag before it formats anything: use CX_TRACE.
#pragma once

#include "platform/windef.h"

class CFileDebug {
  public:
    CFileDebug();
    ~CFileDebug();
    CFileDebug(const CFileDebug&) = delete;
    CFileDebug& operator=(const CFileDebug&) = delete;

    void Init(const char* application_name, BOOL print_banner);
    void ReadConfig();
    void Trace(DWORD level, const char* format, ...) __attribute__((format(printf, 3, 4)));

    volatile DWORD m_bActive = 0;
};

// The process-wide trace and a pointer to its active flag.
extern CFileDebug g_FileDebug;
extern volatile DWORD* const g_pFileDebugActive;

// Tests the active flag first, so that a disabled trace evaluates none of the arguments.
#define CX_TRACE(level, ...)                                              \
    do {                                                                  \
        if (*g_pFileDebugActive) g_FileDebug.Trace((level), __VA_ARGS__); \
    } while (0)
