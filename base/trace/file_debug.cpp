// CFileDebug: configuration, stamps and the dispatch of each message to its sinks.
#include "base/file_debug.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "debugger_sink.h"
#include "file_sink.h"
#include "platform/debug.h"
#include "platform/errors.h"
#include "platform/handles.h"
#include "platform/module.h"
#include "platform/synch.h"
#include "platform/threads.h"
#include "platform/timing.h"
#include "trace_config.h"
#include "trace_line.h"

CFileDebug g_FileDebug;
const std::atomic<DWORD>* const g_pFileDebugActive = &g_FileDebug.m_bActive;

namespace {

constexpr DWORD kDefaultFileLimitMb = 10;

// A sink takes a message when it is on and its level reaches the message's.
bool Admits(DWORD sink_level, DWORD level) { return sink_level != 0 && level <= sink_level; }

DWORD TickSeconds() { return GetTickCount() >> 10; }

// The trace file's mutex name: the path with '\', '/' and ':' made '_'. Multibyte text needs
// no care: in UTF-8 no byte of a longer character equals one of the three.
void FileMutexName(const char* path, char (&name)[sizeof("CFileDebug_") + MAX_PATH]) {
    std::snprintf(name, sizeof(name), "CFileDebug_%s", path);
    for (char* c = name; *c != '\0'; ++c) {
        if (*c == '\\' || *c == '/' || *c == ':') *c = '_';
    }
}

template <size_t N>
void CopyText(char (&target)[N], const char* source) {
    std::snprintf(target, N, "%s", source);
}

}  // namespace

// What one message needs from the configuration, copied under the lock so that a concurrent
// ReadConfig cannot change it halfway.
struct CFileDebug::Snapshot {
    DWORD file_level = 0;
    DWORD con_level = 0;
    DWORD win_level = 0;
    char path[MAX_PATH] = {};
    HANDLE mutex = nullptr;
    DWORD limit = 0;
    HANDLE console = INVALID_HANDLE_VALUE;
    char application_name[32] = {};
    bool date = false;
    bool time = false;
    bool thread = false;
    bool processor = false;
    bool application = false;
    GetProcessMemoryInfoFunction memory_info = nullptr;
    GetProcessHandleCountFunction handle_count = nullptr;
};

CFileDebug::CFileDebug() {
    m_dwFileSizeLimit = kDefaultFileLimitMb << 20;
    Init(nullptr, TRUE);
}

// The two stamp libraries were never loaded (see the header): only the mutex is left to close.
CFileDebug::~CFileDebug() {
    m_bActive = 0;
    std::lock_guard guard(m_ConfigLock);
    CloseFileMutex();
}

void CFileDebug::Init(const char* application_name, BOOL print_banner) {
    char name[sizeof(m_szAppName)] = {};
    if (application_name != nullptr) CopyText(name, application_name);
    {
        std::lock_guard guard(m_ConfigLock);
        m_TimeStampOn = 0;
        m_DateStampOn = 0;
        m_ThreadIdOn = 0;
        m_CpuIdOn = 0;
        m_AppNameOn = 0;
        m_MemUsageOn = 0;
        m_HandleCountOn = 0;
        m_DynamicUpdate = 0;
        m_bActive = 0;
        m_hPsapi = nullptr;
        m_hKernel32 = nullptr;
        m_pGetProcessMemoryInfo = nullptr;
        m_pGetProcessHandleCount = nullptr;
        CopyText(m_szAppName, name);
    }
    if (application_name != nullptr) {
        CxSetDebugOutputName(name);
        ReadConfig();
    }
    if (m_bActive && print_banner) PrintBanner(false);
}

void CFileDebug::ReadConfig() {
    char name[sizeof(m_szAppName)];
    {
        std::lock_guard guard(m_ConfigLock);
        CopyText(name, m_szAppName);
    }
    // The registry is read without the lock: other threads keep tracing meanwhile.
    Apply(cx::trace::ReadTraceConfig(name));
}

void CFileDebug::Apply(const cx::trace::TraceConfig& config) {
    std::lock_guard guard(m_ConfigLock);
    m_TimeStampOn = config.time_stamp;
    m_DateStampOn = config.date_stamp;
    m_ThreadIdOn = config.thread_id;
    m_CpuIdOn = config.cpu_id;
    m_AppNameOn = config.app_name;
    m_MemUsageOn = config.mem_usage;
    m_HandleCountOn = config.handle_count;
    m_DynamicUpdate = config.dynamic_update;
    bool active = config.dynamic_update != 0;
    if (config.application_key) {
        SetupFileSink(config.file_level, config.file_path, config.file_limit_mb);
        if (config.file_level != 0 && m_szFileName[0] != '\0') active = true;
        m_ConDebugLevel = config.con_level;
        if (config.con_level != 0) {
            if (m_hConsole == INVALID_HANDLE_VALUE) {
                AllocConsole();
                m_hConsole = GetStdHandle(STD_OUTPUT_HANDLE);
            }
            active = true;
        }
        m_WinDebugLevel = config.win_level;
        if (config.win_level != 0) active = true;
        if (config.mem_usage != 0 && m_hPsapi == nullptr) {
            m_pGetProcessMemoryInfo = &GetProcessMemoryInfo;
            m_hPsapi = CxModuleFromAddress(reinterpret_cast<const void*>(&GetProcessMemoryInfo));
        }
        if (config.handle_count != 0 && m_hKernel32 == nullptr) {
            m_pGetProcessHandleCount = &GetProcessHandleCount;
            m_hKernel32 =
                CxModuleFromAddress(reinterpret_cast<const void*>(&GetProcessHandleCount));
        }
    }
    m_dwLastRead = TickSeconds();
    m_bActive = active ? 1 : 0;
}

void CFileDebug::SetupFileSink(DWORD level, const char* path, DWORD limit_mb) {
    m_dwFileSizeLimit = limit_mb << 20;
    m_FileDebugLevel = level;
    if (level == 0 || std::strcmp(path, m_szFileName) == 0) return;
    CloseFileMutex();
    m_szFileName[0] = '\0';
    if (*path == '\0') return;
    char name[sizeof("CFileDebug_") + MAX_PATH];
    FileMutexName(path, name);
    m_hFileMutex = CreateMutexA(nullptr, FALSE, name);
    CopyText(m_szFileName, path);
}

// A writer that holds the mutex right now keeps the object alive until it has released it.
void CFileDebug::CloseFileMutex() {
    if (m_hFileMutex != nullptr) CloseHandle(m_hFileMutex);
    m_hFileMutex = nullptr;
}

void CFileDebug::ReadConfigIfDue() {
    DWORD interval = m_DynamicUpdate.load(std::memory_order_relaxed);
    if (interval == 0) return;
    DWORD now = TickSeconds();
    DWORD last = m_dwLastRead.load(std::memory_order_relaxed);
    // A tick count below the last read means the counter wrapped.
    bool due = now < last || ULONGLONG{now} >= ULONGLONG{last} + interval;
    if (!due) return;
    // One thread re-reads; the others go on with the settings they have.
    if (!m_dwLastRead.compare_exchange_strong(last, now)) return;
    ReadConfig();
}

CFileDebug::Snapshot CFileDebug::TakeSnapshot() {
    Snapshot snapshot;
    std::lock_guard guard(m_ConfigLock);
    snapshot.file_level = m_FileDebugLevel;
    snapshot.con_level = m_ConDebugLevel;
    snapshot.win_level = m_WinDebugLevel;
    CopyText(snapshot.path, m_szFileName);
    snapshot.mutex = m_hFileMutex;
    snapshot.limit = m_dwFileSizeLimit;
    snapshot.console = m_hConsole;
    CopyText(snapshot.application_name, m_szAppName);
    snapshot.date = m_DateStampOn != 0;
    snapshot.time = m_TimeStampOn != 0;
    snapshot.thread = m_ThreadIdOn != 0;
    snapshot.processor = m_CpuIdOn != 0;
    snapshot.application = m_AppNameOn != 0;
    if (m_MemUsageOn != 0) snapshot.memory_info = m_pGetProcessMemoryInfo;
    if (m_HandleCountOn != 0) snapshot.handle_count = m_pGetProcessHandleCount;
    return snapshot;
}

namespace {

cx::trace::StampValues CollectStamps(const CFileDebug::GetProcessMemoryInfoFunction memory_info,
                                     const CFileDebug::GetProcessHandleCountFunction handle_count) {
    cx::trace::StampValues stamps;
    if (memory_info != nullptr) {
        PROCESS_MEMORY_COUNTERS_EX counters{};
        if (memory_info(GetCurrentProcess(), reinterpret_cast<PPROCESS_MEMORY_COUNTERS>(&counters),
                        sizeof(counters))) {
            stamps.memory = true;
            if (counters.cb >= sizeof(PROCESS_MEMORY_COUNTERS_EX)) {
                stamps.private_kb = static_cast<DWORD>(counters.PrivateUsage / 1024);
                stamps.resident_kb = static_cast<DWORD>(counters.WorkingSetSize / 1024);
            } else {
                stamps.private_kb = static_cast<DWORD>(counters.PagefileUsage / 1024);
            }
        }
    }
    if (handle_count != nullptr) {
        DWORD count = 0;
        stamps.handles = handle_count(GetCurrentProcess(), &count) != FALSE;
        stamps.handle_count = count;
    }
    return stamps;
}

}  // namespace

void CFileDebug::Trace(DWORD level, const char* format, ...) {
    DWORD saved_error = GetLastError();
    ReadConfigIfDue();
    if (level > m_FileDebugLevel && level > m_ConDebugLevel && level > m_WinDebugLevel) {
        SetLastError(saved_error);
        return;
    }
    Snapshot snapshot = TakeSnapshot();
    cx::trace::StampValues stamps = CollectStamps(snapshot.memory_info, snapshot.handle_count);
    stamps.date = snapshot.date;
    stamps.time = snapshot.time;
    if (stamps.date || stamps.time) GetLocalTime(&stamps.local_time);
    stamps.thread = snapshot.thread;
    if (stamps.thread) stamps.thread_id = GetCurrentThreadId();
    stamps.processor = snapshot.processor;
    if (stamps.processor) stamps.processor_number = GetCurrentProcessorNumber();
    if (snapshot.application) stamps.application_name = snapshot.application_name;

    char line[cx::trace::kLineCapacity];
    va_list args;
    va_start(args, format);
    int length = cx::trace::FormatTraceLine(line, stamps, format, args);
    va_end(args);
    if (length >= 0) {
        if (Admits(snapshot.file_level, level)) {
            cx::trace::WriteToFile(snapshot.path, snapshot.mutex, snapshot.limit, line,
                                   static_cast<size_t>(length));
        }
        if (Admits(snapshot.con_level, level) && snapshot.console != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteConsoleA(snapshot.console, line, static_cast<DWORD>(length), &written, nullptr);
        }
        if (Admits(snapshot.win_level, level)) cx::trace::WriteToDebugger(line);
    }
    SetLastError(saved_error);
}

void CFileDebug::PrintBanner(bool closing) {
    char name[sizeof(m_szAppName)];
    {
        std::lock_guard guard(m_ConfigLock);
        CopyText(name, m_szAppName);
    }
    SYSTEMTIME now{};
    GetLocalTime(&now);
    if (closing) {
        Trace(1, "\n\n----- Application [%s] closed at %02d:%02d:%02d %02d/%02d/%02d -----\n", name,
              now.wHour, now.wMinute, now.wSecond, now.wMonth, now.wDay, now.wYear);
    } else {
        Trace(1, "\n\n----- Application [%s] started at %02d:%02d:%02d %02d/%02d/%02d -----\n",
              name, now.wHour, now.wMinute, now.wSecond, now.wMonth, now.wDay, now.wYear);
    }
}

void CFileDebug::PrintCloseBanner() {
    if (m_bActive) PrintBanner(true);
}
