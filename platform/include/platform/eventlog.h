// The event log: where a service, and the libraries it loads, report what an administrator must
// see. On Linux the records go to the log of the process's host: extagentd routes them to its
// own log (standard error or syslog); a process without such a route writes them to standard
// error, one line each: "<source>: <text>".
#pragma once

#include "platform/windef.h"

#define EVENTLOG_SUCCESS 0x0000u
#define EVENTLOG_ERROR_TYPE 0x0001u
#define EVENTLOG_WARNING_TYPE 0x0002u
#define EVENTLOG_INFORMATION_TYPE 0x0004u

using PSID = void*;

// A handle for reporting as `source` (cut to 63 characters). Only the local machine: another
// `server` fails with RPC_S_SERVER_UNAVAILABLE; a NULL or empty source with
// ERROR_INVALID_PARAMETER.
HANDLE RegisterEventSourceA(LPCSTR server, LPCSTR source);
BOOL DeregisterEventSource(HANDLE event_log);
// One record: the `num_strings` texts joined by blanks (the record's text, cut at 1024
// characters; line ends become blanks, so that one record is one line). Category, event ID,
// user and binary data are accepted and not kept. ERROR_INVALID_HANDLE for a handle that
// RegisterEventSourceA did not give; ERROR_INVALID_PARAMETER for an unknown type.
BOOL ReportEventA(HANDLE event_log, WORD type, WORD category, DWORD event_id, PSID user,
                  WORD num_strings, DWORD data_size, LPCSTR* strings, LPVOID raw_data);

// Where the records go: `sink` gets the type, the source and the text of each; NULL restores
// standard error. The host sets its own log here before it loads any agent.
using CxEventSink = void (*)(WORD type, const char* source, const char* text);
void CxSetEventSink(CxEventSink sink);
