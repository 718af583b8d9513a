// The agent-wide permission flags: the SWITCH server's answers to the rights check and its
// permission events. Single bytes, written by the rights check and by event threads and read by
// the request path without a lock.
#pragma once

#include <atomic>
#include <span>

#include "platform/windef.h"

extern std::atomic<BYTE> SetAllowed;
extern std::atomic<BYTE> ShutdownIsAllowed;
extern std::atomic<BYTE> DoAccountCheck;

// One permission: the SWITCH item that carries it (the OpCodeExt of its rights request and of
// its permission event), its flag and the trace texts of the check and of the event.
struct RightsFlag {
    DWORD OpCodeExt;
    std::atomic<BYTE>* Flag;
    const char* CheckTrace;  // before the request (%-20s: the module); nullptr: none
    const char* ValueTrace;  // after it (%-20s: the module, %d: the answer)
    const char* EventTrace;  // on a permission event (%s: "enabled" or "disabled")
};

// The permissions in the order the rights check asks for them.
std::span<const RightsFlag> RightsFlags();
