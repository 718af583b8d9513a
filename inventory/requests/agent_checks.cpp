// The agent-level checks collectors make before they ask another SNMP agent: whether some agent
// on this machine serves a MIB yet, and whether an extension agent is registered and its
// library is there.
#include <atomic>
#include <cstring>

#include "framework/agent_globals.h"
#include "inventory/cx_agent.h"
#include "platform/files.h"
#include "platform/winreg.h"
#include "request_trace.h"

namespace {

constexpr const char* kExtensionAgentsKey =
    "SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters\\ExtensionAgents";
constexpr DWORD kMibWaitTimeoutMs = 5000;
constexpr INT kMibWaitRetries = 1;
constexpr DWORD kMibWaitPauseMs = 1000;
// Room for a "%"-expanded library name; the name itself must still fit a path.
constexpr DWORD kExpandedPathSize = 520;

#define CHECK_AGENT_TRACE(level, format, ...) \
    CX_TRACE((level), "\nCXMIB  check agents : " format __VA_OPT__(, ) __VA_ARGS__)

// A registry key that closes itself.
struct OpenKey {
    OpenKey() = default;
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    ~OpenKey() {
        if (handle != nullptr) RegCloseKey(handle);
    }
    LONG Open(const char* path, REGSAM access) {
        return RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, &handle);
    }
    HKEY handle = nullptr;
};

// A path-sized text value (at most MAX_PATH bytes, terminated here whatever the value held).
BOOL ReadPathValue(HKEY key, const char* name, char (&text)[MAX_PATH + 1]) {
    DWORD size = MAX_PATH;
    if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size) !=
        ERROR_SUCCESS) {
        return FALSE;
    }
    text[size < MAX_PATH ? size : MAX_PATH] = '\0';
    return TRUE;
}

// The agent's own key, where its registration in the SNMP service's list points.
BOOL OpenAgentKey(const char* reg_path, OpenKey* key) {
    CHECK_AGENT_TRACE(5, "RegPath %s", reg_path);
    if (key->Open(reg_path, KEY_ALL_ACCESS) == ERROR_SUCCESS) return TRUE;
    CHECK_AGENT_TRACE(5, "Try 64/32 path");
    return key->Open(reg_path, KEY_READ | KEY_WOW64_32KEY) == ERROR_SUCCESS;
}

// "%SystemRoot%\..." style names are expanded in place. A name that would not fit a path after
// expansion is not looked at: the agent counts as not there rather than checked against a
// shortened name.
BOOL ExpandLibraryPath(char (&path)[MAX_PATH + 1]) {
    CHECK_AGENT_TRACE(5, "expand DLLPath");
    char expanded[kExpandedPathSize] = {};
    const DWORD needed = ExpandEnvironmentStringsA(path, expanded, sizeof(expanded));
    if (needed == 0 || needed > sizeof(expanded) || needed - 1 > MAX_PATH) {
        CHECK_AGENT_TRACE(2, "expanded DLLPath too long");
        return FALSE;
    }
    std::memcpy(path, expanded, needed);
    return TRUE;
}

BOOL LibraryFileOpens(const char* path) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        CHECK_AGENT_TRACE(5, "Invalid Handle");
        return FALSE;
    }
    CloseHandle(file);
    return TRUE;
}

BOOL AgentLibraryExists(const char* agent_name) {
    OpenKey agents;
    if (agents.Open(kExtensionAgentsKey, KEY_ALL_ACCESS) != ERROR_SUCCESS) return FALSE;
    char reg_path[MAX_PATH + 1] = {};
    if (!ReadPathValue(agents.handle, agent_name, reg_path)) return FALSE;
    OpenKey agent;
    if (!OpenAgentKey(reg_path, &agent)) return FALSE;
    char library[MAX_PATH + 1] = {};
    if (!ReadPathValue(agent.handle, "Pathname", library)) return FALSE;
    CHECK_AGENT_TRACE(5, "DLLPath %s", library);
    if (library[0] == '%' && !ExpandLibraryPath(library)) return FALSE;
    return LibraryFileOpens(library);
}

// Asks for the root until an agent answers below it, the tries are used up, or shutdown or the
// agent's abort request ends the wait; `stop` (signalled with either) ends a pause at once.
BOOL WaitForMib(const char* root, WORD tries, const std::atomic<DWORD>& abort_request,
                CEvent& stop) {
    CSnmpMgr manager;
    if (!manager.OpenSession(nullptr, nullptr, kMibWaitTimeoutMs, kMibWaitRetries)) return FALSE;
    BOOL found = FALSE;
    // Counted wider than tries x 10 can reach, so that every number of tries ends.
    const DWORD attempts_allowed = static_cast<DWORD>(tries) * 10;
    DWORD attempts = 0;
    while (AgentShutdown == 0 && abort_request == 0 && attempts < attempts_allowed) {
        if (manager.GetNextInTable(root)) {
            CX_TRACE(3, "\n   MIB found");
            found = TRUE;
            break;
        }
        CX_TRACE(5, "\n      RequestOID %s", root);
        ++attempts;
        CX_TRACE(5, "\n      wait for MIB (%d)", static_cast<int>(attempts));
        if (AgentShutdown != 0) break;
        // An abort is seen by the loop's own check at once; only a plain miss waits.
        if (abort_request == 0) stop.Wait(kMibWaitPauseMs);
    }
    manager.CloseSession();
    return found;
}

}  // namespace

BOOL CCX_Agent::CheckMib(const char* root_oid_text, WORD tries) {
    const char* root = root_oid_text != nullptr ? root_oid_text : "";
    CHECK_MIB_TRACE(3, "Check for SNMP agent with root OID %s...", root);
    BOOL found = FALSE;
    if (AgentShutdown != 0) {
        CHECK_MIB_TRACE(2, "ABORTED (AgentShutdown)");
    } else if (root_oid_text != nullptr) {
        found = WaitForMib(root, tries, m_bAbortRequest, m_ScanStopEvent);
        if (AgentShutdown != 0) CHECK_MIB_TRACE(2, "ABORTED (AgentShutdown)");
    }
    if (m_bAbortRequest != 0) CHECK_MIB_TRACE(2, "ABORTED (m_bAbortRequest)");
    CHECK_MIB_TRACE(3, "Access to OID %s %s!", root, found ? "OK" : "FAILED");
    return found;
}

BOOL CCX_Agent::CheckAgent(const char* agent_name) {
    const char* name = agent_name != nullptr ? agent_name : "";
    CX_TRACE(5, "\nCXMIB               : check %s-Agent", name);
    const BOOL found = agent_name != nullptr && AgentLibraryExists(agent_name);
    CHECK_AGENT_TRACE(3, "%s-Agent %sfound", name, found ? "" : "NOT ");
    return found;
}
