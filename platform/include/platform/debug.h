// Debugger output and the console: where the trace's debugger and console sinks write.
//
// Linux has no debugger output channel, so OutputDebugStringA hands each line to the system
// log (one record per line, facility user, priority debug); a process that has no console of
// its own gets its standard error as the console. See docs/platform/trace.md.
#pragma once

#include "platform/windef.h"

// Sends `text` to the system log: every line (up to a newline or the end) that is not empty
// becomes one record, cut at 1122 characters. Never blocks: a log that cannot take a record
// now loses it, as debugger output that nobody listens to is lost on Windows.
void OutputDebugStringA(LPCSTR text);
// The name that tags this process's records (at most 31 characters; default: the program's
// name). The trace sets it to its application name.
void CxSetDebugOutputName(LPCSTR name);
// The datagram socket the records go to; NULL restores /dev/log. For tests.
void CxSetDebugOutputSocket(LPCSTR path);

#define STD_INPUT_HANDLE (static_cast<DWORD>(-10))
#define STD_OUTPUT_HANDLE (static_cast<DWORD>(-11))
#define STD_ERROR_HANDLE (static_cast<DWORD>(-12))

// Gives the process its console: from then on the standard output and error handles both
// write to standard error, so that diagnostics never mix with what a program prints on its
// standard output. FALSE with ERROR_ACCESS_DENIED when the console is allocated already.
BOOL AllocConsole();
// The handle of standard input, output or error (the same handle on every call);
// INVALID_HANDLE_VALUE with ERROR_INVALID_HANDLE for any other number.
HANDLE GetStdHandle(DWORD std_handle);
// Writes `chars` bytes unchanged. Waits at most 100 ms for a stream that cannot take them
// (a full pipe): what is left then is lost and the result is FALSE with ERROR_TIMEOUT.
BOOL WriteConsoleA(HANDLE console, LPCVOID buffer, DWORD chars, LPDWORD written, LPVOID reserved);
