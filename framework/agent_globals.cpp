// The process-wide state of the agent framework and the module name rule.
#include "framework/agent_globals.h"

#include <cstring>

CSnmpAgent* g_pSnmpAgent = nullptr;
std::atomic<DWORD> AgentShutdown{0};
char g_szModuleName[MAX_PATH] = {};

void ModuleNameFromPath(const char* path, char* name, DWORD size) {
    if (name == nullptr || size == 0) return;
    name[0] = '\0';
    if (path == nullptr) return;
    const char* base = path;
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '/' || *p == '\\') base = p + 1;
    }
    const char* dot = std::strrchr(base, '.');
    std::size_t length = dot != nullptr ? static_cast<std::size_t>(dot - base) : std::strlen(base);
    if (length > size - 1) length = size - 1;
    std::memcpy(name, base, length);
    name[length] = '\0';
}
