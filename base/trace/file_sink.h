// The file sink: one trace line appended to the trace file, with rotation at the size limit.
#pragma once

#include <cstddef>

#include "platform/windef.h"

namespace cx::trace {

// How long a writer waits for the file's mutex before it writes anyway, in milliseconds.
inline constexpr DWORD kFileMutexWait = 20;

// Appends `text` to the file at `path` (nothing when the path is empty) under `mutex` (may be
// NULL). When `limit` is not 0 and the file has reached it, the file first becomes
// "<path>.txt", replacing the older generation.
void WriteToFile(const char* path, HANDLE mutex, DWORD limit, const char* text, size_t length);

// Writes `text` to an open file with every "\n" turned into "\r\n", in one write so that
// writers sharing the file never split each other's lines.
BOOL AppendTraceText(HANDLE file, const char* text, size_t length);

}  // namespace cx::trace
