// Process status: memory figures, open handles and the processor a thread runs on.
#pragma once

#include "platform/windef.h"

// The pseudo handle of the calling process, as on Windows (all bits set); never closed.
HANDLE GetCurrentProcess();

// The number of the processor the calling thread runs on (sched_getcpu); 0 when unknown.
DWORD GetCurrentProcessorNumber();

struct PROCESS_MEMORY_COUNTERS {
    DWORD cb;
    DWORD PageFaultCount;
    SIZE_T PeakWorkingSetSize;
    SIZE_T WorkingSetSize;
    SIZE_T QuotaPeakPagedPoolUsage;
    SIZE_T QuotaPagedPoolUsage;
    SIZE_T QuotaPeakNonPagedPoolUsage;
    SIZE_T QuotaNonPagedPoolUsage;
    SIZE_T PagefileUsage;
    SIZE_T PeakPagefileUsage;
};
using PPROCESS_MEMORY_COUNTERS = PROCESS_MEMORY_COUNTERS*;

struct PROCESS_MEMORY_COUNTERS_EX {
    DWORD cb;
    DWORD PageFaultCount;
    SIZE_T PeakWorkingSetSize;
    SIZE_T WorkingSetSize;
    SIZE_T QuotaPeakPagedPoolUsage;
    SIZE_T QuotaPagedPoolUsage;
    SIZE_T QuotaPeakNonPagedPoolUsage;
    SIZE_T QuotaNonPagedPoolUsage;
    SIZE_T PagefileUsage;
    SIZE_T PeakPagefileUsage;
    SIZE_T PrivateUsage;
};
using PPROCESS_MEMORY_COUNTERS_EX = PROCESS_MEMORY_COUNTERS_EX*;

// Memory of `process` (GetCurrentProcess() or a handle from OpenProcess) from
// /proc/<pid>/status and /proc/<pid>/stat: the working set is the resident memory (VmRSS,
// peak VmHWM); private usage, and with it the page-file usage, is the process's anonymous
// memory, resident or swapped (RssAnon + VmSwap); the pool quotas are 0. `cb` below
// sizeof(PROCESS_MEMORY_COUNTERS) fails with ERROR_INSUFFICIENT_BUFFER; from
// sizeof(PROCESS_MEMORY_COUNTERS_EX) on, PrivateUsage is filled too; counters->cb tells which.
BOOL GetProcessMemoryInfo(HANDLE process, PPROCESS_MEMORY_COUNTERS counters, DWORD cb);
// The number of open file descriptors of `process` (entries of /proc/<pid>/fd).
BOOL GetProcessHandleCount(HANDLE process, PDWORD handle_count);
