// Module initialisation at library attach: paths, roots and names of the agent, the start-up
// report, and the lock list that keeps chosen modules of the host process loaded.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/process_info.h"
#include "base/reg_key.h"
#include "framework/snmp_agent.h"

namespace {

constexpr const char* kLockListKey = "#LockList";

}  // namespace

void CSnmpAgent::InitModule(HMODULE module) {
    if (GetModuleFileNameA(module, m_szModulePath, sizeof(m_szModulePath)) == 0 ||
        m_szModulePath[0] == '\0') {
        m_szModulePath[0] = '\0';
        return;
    }
    m_VersionInfo.Load(m_szModulePath);
    std::snprintf(m_szCommonRoot, sizeof(m_szCommonRoot), "%s", m_szRegistryRoot);
    std::snprintf(m_szDataRoot, sizeof(m_szDataRoot), "%s", CSysBase::m_szDataRoot);
    ModuleNameFromPath(m_szModulePath, g_szModuleName, sizeof(g_szModuleName));
    if (g_szModuleName[0] != '\0') {
        std::string agent_root = std::string(m_szCommonRoot) + "\\" + g_szModuleName;
        if (agent_root.size() < sizeof(m_szAgentRoot)) {
            std::memcpy(m_szAgentRoot, agent_root.c_str(), agent_root.size() + 1);
        }
        SetAgentRunState(kRunStateLoaded);
    }

    if (g_pFileDebugActive->load(std::memory_order_relaxed)) {
        auto version = [this](const char* name) {
            return std::string(m_VersionInfo.QueryValue(m_szModulePath, name));
        };
        CX_TRACE(1, "\n\n*** SNMP agent module \"%s\" loaded ***\n", g_szModuleName);
        CX_TRACE(1, "\n  Agent name    : %s", version("FileDescription").c_str());
        CX_TRACE(1, "\n  Company name  : %s", version("CompanyName").c_str());
        CX_TRACE(1, "\n  Dll version   : %s", version("FileVersion").c_str());
        CX_TRACE(1, "\n  Agent version : %s", version("ProductVersion").c_str());
        CX_TRACE(1, "\n  BuildEnv      : Win32");
        CX_TRACE(1, "\n  Module path   : %s", m_szModulePath);
        CX_TRACE(1, "\n  Module name   : %s", g_szModuleName);
        CX_TRACE(1, "\n  Server name   : %s", m_szComputerName);
        CX_TRACE(2, "\n");
        CX_TRACE(2, "\n  Common root   : %s", m_szCommonRoot);
        CX_TRACE(2, "\n  Agent root    : %s", m_szAgentRoot);
        CX_TRACE(1, "\n\n");
    }
    LockModules();
}

// A module named in "#LockList" that the process has already loaded gets one more reference,
// never released, so that it stays for the process's whole life. Modules not yet loaded are
// left alone: the list protects what the host loaded, it does not load anything new.
void CSnmpAgent::LockModules() {
    if (IsWow64()) return;
    std::string path = std::string(m_szCommonRoot) + "\\" + kLockListKey;
    RegKey key;
    LONG result = key.Open(path.c_str(), HKEY_LOCAL_MACHINE, KEY_ALL_ACCESS | kRegKey64BitView);
    if (result == ERROR_ACCESS_DENIED) {
        result = key.Open(path.c_str(), HKEY_LOCAL_MACHINE, KEY_ALL_ACCESS);
    }
    if (result != ERROR_SUCCESS) return;

    for (DWORD index = 0;; ++index) {
        char name[MAX_PATH + 1] = {};
        BYTE data[MAX_PATH + 1] = {};
        DWORD name_size = MAX_PATH;
        DWORD data_size = MAX_PATH;
        DWORD type = REG_NONE;
        if (RegEnumValueA(key.Key(), index, name, &name_size, nullptr, &type, data, &data_size) !=
            ERROR_SUCCESS) {
            break;
        }
        const char* module_name = reinterpret_cast<const char*>(data);
        CX_TRACE(3, "\n%-20s: Dirty module \"%s\" found in list", g_szModuleName, module_name);
        if (module_name[0] == '\0') continue;
        HMODULE handle = CxLockLoadedModule(module_name);
        if (handle != nullptr) {
            CX_TRACE(3, "\n%-20s: Dirty module %s (0x%X) successfully locked!", g_szModuleName,
                     module_name, static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(handle)));
        } else {
            CX_TRACE(3, "\n%-20s: Dirty module %s was not already loaded before this agent!",
                     g_szModuleName, module_name);
        }
    }
}
