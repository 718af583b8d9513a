// The agent's run state, parameters and settings in the registry, and the rights check against
// the SWITCH server.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/reg_key.h"
#include "clients/rights_flags.h"
#include "clients/switch_protocol.h"
#include "framework/snmp_agent.h"
#include "platform/reg_publish.h"

namespace {

constexpr const char* kStatusKey = "#Status";
constexpr const char* kParametersKey = "Parameters";
constexpr const char* kVolatileKey = "VolatileParameters";
constexpr const char* kFileKey = "FILE";

BOOL OpenKey(RegKey& key, const char* path, REGSAM access) {
    LONG result = key.Open(path, HKEY_LOCAL_MACHINE, access | kRegKey64BitView);
    if (result == ERROR_ACCESS_DENIED) result = key.Open(path, HKEY_LOCAL_MACHINE, access);
    return result == ERROR_SUCCESS;
}

// "<root>\<name>" into `out`; FALSE when it does not fit.
BOOL JoinKey(char* out, DWORD size, const char* root, const char* name) {
    int length = std::snprintf(out, size, "%s\\%s", root, name);
    return length > 0 && static_cast<DWORD>(length) < size;
}

// A path the Windows way absolute (a backslash first, or drive, colon and backslash) or the
// Linux way (a slash first).
bool IsAbsolutePath(const char* path) {
    if (path[0] == '\\' || path[0] == '/') return true;
    return std::strlen(path) > 3 && std::isalpha(static_cast<unsigned char>(path[0])) &&
           path[1] == ':' && path[2] == '\\';
}

constexpr WORD kRightsTimeout = 10;
constexpr DWORD kRightsRetries = 2;

}  // namespace

const char* AgentRunStateName(DWORD state) {
    switch (state) {
        case kRunStateLoaded: return "loaded";
        case kRunStateInitializing: return "initializing";
        case kRunStateStarting: return "starting";
        case kRunStateStarted: return "started";
        case kRunStateStopping: return "stopping";
        case kRunStateShutdown: return "shutdown";
        case kRunStateStopped: return "stopped";
        case kRunStateUnloading: return "unloading";
        case kRunStateUnloaded: return "unloaded";
        case kRunStateExceptionInitializeMib: return "exception (InitializeMib)";
        case kRunStateExceptionInit: return "exception (SnmpExtensionInit)";
        case kRunStateExceptionClose: return "exception (SnmpExtensionClose)";
        case kRunStateExceptionQuery: return "exception (SnmpExtensionQuery)";
        case kRunStateExceptionTrap: return "exception (SnmpExtensionTrap)";
        case kRunStateException: return "exception";
        default: return "unknown";
    }
}

// The state and parameter writes are publications (platform/reg_publish.h): another process
// that holds the registry for a while delays when they land, never the agent's start or its
// requests, and none of them is lost.

BOOL CSnmpAgent::SetAgentRunState(DWORD state) {
    char path[MAX_PATH];
    if (!JoinKey(path, sizeof(path), m_szCommonRoot, kStatusKey)) return FALSE;
    const char* name = AgentRunStateName(state);
    return CxRegPublishValue({{path, REG_OPTION_VOLATILE}}, g_szModuleName, REG_SZ, name,
                             static_cast<DWORD>(std::strlen(name) + 1)) == ERROR_SUCCESS;
}

BOOL CSnmpAgent::PublishParameter(bool is_volatile, const char* name, DWORD type, const void* data,
                                  DWORD size) {
    char path[MAX_PATH];
    if (!JoinKey(path, sizeof(path), m_szAgentRoot, kParametersKey)) return FALSE;
    std::vector<CxRegKeyStep> keys = {{path, REG_OPTION_NON_VOLATILE}};
    if (is_volatile) keys.push_back({kVolatileKey, REG_OPTION_VOLATILE});
    return CxRegPublishValue(keys, name, type, data, size) == ERROR_SUCCESS;
}

BOOL CSnmpAgent::SetAgentStatus(DWORD status) {
    return PublishParameter(true, "AgentStatus", REG_DWORD, &status, sizeof(status));
}

BOOL CSnmpAgent::SetAgentLastError(const char* text) {
    if (text == nullptr) return FALSE;
    return PublishParameter(true, "AgentLastError", REG_SZ, text,
                            static_cast<DWORD>(std::strlen(text) + 1));
}

BOOL CSnmpAgent::SetAgentPurpose(DWORD purpose) {
    return PublishParameter(false, "AgentPurpose", REG_DWORD, &purpose, sizeof(purpose));
}

BOOL CSnmpAgent::SetInvTableIndex(const char* oid_text) {
    if (oid_text == nullptr) return FALSE;
    return PublishParameter(false, "InvTableIndex", REG_SZ, oid_text,
                            static_cast<DWORD>(std::strlen(oid_text) + 1));
}

BOOL CSnmpAgent::DeleteVolatileParameters() {
    char path[MAX_PATH];
    if (!JoinKey(path, sizeof(path), m_szAgentRoot, kParametersKey)) return FALSE;
    return CxRegPublishDeleteTree(path, kVolatileKey) == ERROR_SUCCESS;
}

void CSnmpAgent::RecordException(DWORD state) {
    SetAgentRunState(state);
    SetAgentStatus(kAgentStatusFailed);
    SetAgentLastError("exception occured");
}

BOOL CSnmpAgent::GetAgentRegParam(const char* name, DWORD* value) {
    char path[MAX_PATH];
    RegKey key;
    DWORD read = 0;
    if (name != nullptr && value != nullptr &&
        JoinKey(path, sizeof(path), m_szAgentRoot, kParametersKey) &&
        OpenKey(key, path, KEY_READ) && key.QueryDword(name, &read) == ERROR_SUCCESS &&
        key.m_dwType == REG_DWORD && key.m_dwSize == sizeof(DWORD)) {
        *value = read;
        CX_TRACE(4, "\n%-20s: GetAgentRegParam(): return parameter value for %s = %d",
                 g_szModuleName, name, static_cast<int>(read));
        return TRUE;
    }
    CX_TRACE(1, "\n%-20s: GetAgentRegParam(): ERROR! Could not read agent param \"%s\"!",
             g_szModuleName, name != nullptr ? name : "");
    return FALSE;
}

BOOL CSnmpAgent::GetAgentRegFilePath(const char* name, char* path, DWORD size,
                                     const char* agent_name) {
    if (agent_name == nullptr) agent_name = g_szModuleName;
    if (agent_name[0] == '\0' || name == nullptr || path == nullptr || size == 0) return FALSE;

    char key_path[MAX_PATH];
    char agent_key[MAX_PATH];
    if (!JoinKey(agent_key, sizeof(agent_key), m_szCommonRoot, agent_name) ||
        !JoinKey(key_path, sizeof(key_path), agent_key, kFileKey)) {
        return FALSE;
    }
    char value[MAX_PATH + 1] = {};
    if (!ReadRegString(key_path, name, value, MAX_PATH)) return FALSE;
    value[MAX_PATH] = '\0';
    CX_TRACE(5, "\n%-20s: GetAgentRegFilePath(): registry value %s = %s", agent_name, name, value);

    BOOL fits = FALSE;
    std::size_t value_length = std::strlen(value);
    if (!IsAbsolutePath(value)) {
        std::size_t root_length = std::strlen(m_szDataRoot);
        // The joining separator needs its place too.
        if (root_length + value_length + 1 < size) {
            CX_TRACE(5, "\n    relative INI file path, add data root path %s...", m_szDataRoot);
            std::snprintf(path, size, "%s/%s", m_szDataRoot, value);
            fits = TRUE;
        }
    } else {
        CX_TRACE(5, "\n    absolute INI file path...");
        if (value_length < size) {
            std::memcpy(path, value, value_length + 1);
            fits = TRUE;
        }
    }
    CX_TRACE(4, "\n%-20s: GetAgentRegFilePath(): return file path for %s = %s", agent_name, name,
             fits ? path : "");
    return fits;
}

BOOL CSnmpAgent::CheckRights() {
    CSwitchCommand command;
    bool first = true;
    for (const RightsFlag& request : RightsFlags()) {
        if (request.CheckTrace != nullptr) CX_TRACE(2, request.CheckTrace, g_szModuleName);
        if (!first) command.ClearData();
        first = false;
        command.SetRequest(switch_op::kSwitchItem, request.OpCodeExt, 0, CMD_CABINET_SERVER,
                           CMD_STATUS_REQUEST);
        m_RcmiClient.SendCommand(&command, kRightsTimeout, kRightsRetries, 0);
        BYTE answer = command.IsOk(1, FALSE) ? command.GetByte(0) : 0;
        *request.Flag = answer;
        CX_TRACE(3, request.ValueTrace, g_szModuleName, static_cast<int>(answer));
    }
    return TRUE;
}
