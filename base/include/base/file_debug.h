// CFileDebug: the process's diagnostic trace (file, console and debugger sinks, registry
// configured). Every call site tests the active flag before it formats anything: use CX_TRACE.
#pragma once

#include <atomic>
#include <mutex>

#include "platform/psapi.h"
#include "platform/windef.h"

namespace cx::trace {
struct TraceConfig;
}

class CFileDebug {
  public:
    using GetProcessMemoryInfoFunction = BOOL (*)(HANDLE, PPROCESS_MEMORY_COUNTERS, DWORD);
    using GetProcessHandleCountFunction = BOOL (*)(HANDLE, PDWORD);

    // Everything off, then Init without a name and with the banner requested.
    CFileDebug();
    ~CFileDebug();
    CFileDebug(const CFileDebug&) = delete;
    CFileDebug& operator=(const CFileDebug&) = delete;

    // Clears the stamps, DynamicUpdate and the active flag (the sink levels and the file keep
    // theirs); with a name (at most 31 characters kept) reads the configuration; then, when
    // active and asked for, writes the start banner at level 1.
    void Init(const char* application_name, BOOL print_banner);
    // Reads "SOFTWARE\Debug" and its subkey named after the application.
    void ReadConfig();
    // Formats one message and sends it to every sink whose level admits it. Keeps the
    // caller's last-error value.
    void Trace(DWORD level, const char* format, ...) __attribute__((format(printf, 3, 4)));
    // The closing banner that library detach writes, at level 1 when the trace is active.
    void PrintCloseBanner();

    // The fields of the trace, in their documented order. The numbers are atomic because
    // ReadConfig rewrites them while other threads trace; the texts and handles are read and
    // written under m_ConfigLock.
    HANDLE m_hFileMutex = nullptr;
    char m_szFileName[MAX_PATH] = {};
    std::atomic<DWORD> m_dwFileSizeLimit{0};
    std::atomic<DWORD> m_FileDebugLevel{0};
    std::atomic<DWORD> m_ConDebugLevel{0};
    HANDLE m_hConsole = INVALID_HANDLE_VALUE;
    std::atomic<DWORD> m_WinDebugLevel{0};
    // The modules that provide the two stamp functions; the platform layer is linked in, so
    // "loading" one is looking it up, and nothing is unloaded.
    HMODULE m_hPsapi = nullptr;
    HMODULE m_hKernel32 = nullptr;
    GetProcessMemoryInfoFunction m_pGetProcessMemoryInfo = nullptr;
    GetProcessHandleCountFunction m_pGetProcessHandleCount = nullptr;
    char m_szAppName[32] = {};
    std::atomic<DWORD> m_TimeStampOn{0};
    std::atomic<DWORD> m_DateStampOn{0};
    std::atomic<DWORD> m_ThreadIdOn{0};
    std::atomic<DWORD> m_CpuIdOn{0};
    std::atomic<DWORD> m_AppNameOn{0};
    std::atomic<DWORD> m_MemUsageOn{0};
    std::atomic<DWORD> m_HandleCountOn{0};
    std::atomic<DWORD> m_DynamicUpdate{0};
    std::atomic<DWORD> m_dwLastRead{0};  // GetTickCount() >> 10 at the last read
    std::atomic<DWORD> m_bActive{0};

  private:
    struct Snapshot;

    void Apply(const cx::trace::TraceConfig& config);
    void SetupFileSink(DWORD level, const char* path, DWORD limit_mb);
    void CloseFileMutex();
    void ReadConfigIfDue();
    Snapshot TakeSnapshot();
    void PrintBanner(bool closing);

    std::mutex m_ConfigLock;
};

// The process-wide trace and a pointer to its active flag.
extern CFileDebug g_FileDebug;
extern const std::atomic<DWORD>* const g_pFileDebugActive;

// Tests the active flag first, so that a disabled trace evaluates none of the arguments.
#define CX_TRACE(level, ...)                                       \
    do {                                                           \
        if (g_pFileDebugActive->load(std::memory_order_relaxed)) { \
            g_FileDebug.Trace((level), __VA_ARGS__);               \
        }                                                          \
    } while (0)
