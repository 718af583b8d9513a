// The run states an agent publishes under "#Status", by number, and their names.
#pragma once

#include "platform/windef.h"

enum AgentRunState : DWORD {
    kRunStateLoaded = 1,
    kRunStateInitializing = 2,
    kRunStateStarting = 3,
    kRunStateStarted = 4,
    kRunStateStopping = 5,
    kRunStateShutdown = 6,
    kRunStateStopped = 7,
    kRunStateUnloading = 8,
    kRunStateUnloaded = 9,
    kRunStateExceptionInitializeMib = 11,
    kRunStateExceptionInit = 12,
    kRunStateExceptionClose = 13,
    kRunStateExceptionQuery = 14,
    kRunStateExceptionTrap = 15,
    kRunStateException = 16,
};

// "AgentStatus" values.
constexpr DWORD kAgentStatusInitializing = 0;
constexpr DWORD kAgentStatusInitialized = 1;
constexpr DWORD kAgentStatusFailed = 4;

// The name of a run state; "unknown" for any number without one.
const char* AgentRunStateName(DWORD state);
