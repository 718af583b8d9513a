// The agent-wide permission flags: the SWITCH server's answers to the rights check and its
// permission events. Single bytes, written by the rights check and by event threads and read by
// the request path without a lock.
#pragma once

#include <atomic>

#include "platform/windef.h"

extern std::atomic<BYTE> SetAllowed;
extern std::atomic<BYTE> ShutdownIsAllowed;
extern std::atomic<BYTE> DoAccountCheck;
