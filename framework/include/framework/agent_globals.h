// The process-wide state of the agent framework: the one agent, its module name and the
// shutdown flag every long loop polls.
#pragma once

#include <atomic>

#include "platform/windef.h"

class CSnmpAgent;

// The single agent of the process; null before the factory ran and after library detach.
extern CSnmpAgent* g_pSnmpAgent;

// Set to 1 when shutdown begins; read without a lock by every long-running loop.
extern std::atomic<DWORD> AgentShutdown;

// The library file's name without directory and extension: the trace label of every framework
// message, the value name under "#Status" and the last component of the agent root.
extern char g_szModuleName[MAX_PATH];

// The concrete agent's factory: creates the agent (which registers its MIB regions) and
// returns it, or null. Every agent library defines it.
CSnmpAgent* CreateSnmpAgent();

// The base name of `path` without directory and extension, into `name` (`size` bytes).
void ModuleNameFromPath(const char* path, char* name, DWORD size);
