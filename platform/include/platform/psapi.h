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

// The loaded kernel modules as device drivers. The module list is /proc/modules
// ($CX_PROC_MODULES instead when set); a module's "image base" is a token of our own, the same
// for one module name for the life of the process, since the kernel hides load addresses.
// `cb` is the array's size in bytes; *needed the bytes the whole list takes. A list that
// cannot be read: FALSE with the file's error.
BOOL EnumDeviceDrivers(LPVOID* image_base, DWORD cb, LPDWORD needed);
// The module's file under the modules directory of the running kernel (/lib/modules/<release>,
// $CX_MODULES_DIR instead when set), looked up through libkmod's indexes or, without them, the
// text modules.dep. A module without a file (built in, or not found): 0 with
// ERROR_FILE_NOT_FOUND; an unknown token: 0 with ERROR_INVALID_PARAMETER. Lengths and
// truncation as GetModuleFileNameA.
DWORD GetDeviceDriverFileNameA(LPVOID image_base, LPSTR filename, DWORD size);
// The module's name as the kernel lists it.
DWORD GetDeviceDriverBaseNameA(LPVOID image_base, LPSTR base_name, DWORD size);
