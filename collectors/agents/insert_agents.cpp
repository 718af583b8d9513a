// InsertAgents: the management agents and tools installed on the server, each source on its
// own, with firmware-update objects for the package-level items.
#include <cstdio>
#include <string>

#include "base/file_debug.h"
#include "base/reg_key.h"
#include "framework/agent_globals.h"
#include "inventory/cx_agent.h"
#include "platform/files.h"

namespace {

constexpr DWORD kTextSize = 260;
constexpr const char* kVendor = "Telvora Computers";
constexpr const char* kFlashAgentKey = "SYSTEM\\CurrentControlSet\\Services\\Tessaline\\Parameters";
constexpr const char* kConsoleKey = "SOFTWARE\\Arvenmark\\Server Manager\\Start Params";
constexpr const char* kUpdateToolKey = "SOFTWARE\\Telvora\\Ramplet";
constexpr const char* kSupportPackage = "Korvan Support Package";

struct Text {
    char value[kTextSize + 1] = {};
};

// A string value of at most 260 bytes from `key` (already open); false when absent or longer.
bool ReadText(RegKey& key, const char* name, Text* text) {
    DWORD size = kTextSize;
    text->value[0] = '\0';
    if (key.QueryRegValue(name, reinterpret_cast<LPBYTE>(text->value), &size) != ERROR_SUCCESS) {
        text->value[0] = '\0';
        return false;
    }
    text->value[size < kTextSize ? size : kTextSize] = '\0';
    return true;
}

bool ReadKeyText(const std::string& key_path, const char* name, Text* text) {
    RegKey key;
    if (key.Open(key_path.c_str()) != ERROR_SUCCESS) return false;
    bool found = ReadText(key, name, text);
    key.Close();
    return found;
}

// The update tool's keys with the retry in the 32-bit view (which the registry accepts and
// does not keep apart on Linux, so the retry meets the same key).
LONG OpenToolKey(RegKey& key, const std::string& key_path) {
    LONG result = key.Open(key_path.c_str());
    if (result == ERROR_SUCCESS) return result;
    CX_TRACE(5, "\nCxIniMonSw          : Try 64/32 path");
    return key.Open(key_path.c_str(), HKEY_LOCAL_MACHINE, KEY_READ | KEY_WOW64_32KEY);
}

void InsertFwObject(CCX_Agent& agent, const char* name, LONG index = 0) {
    FwUpdateObject object(name);
    object.CompIndex = index;
    agent.InsertFwUpdateObject(&object);
}

void InsertAgentPackage(CCX_Agent& agent) {
    Text version;
    std::string root = agent.m_szCommonRoot;
    if (!agent.GetMsiProductVersion(version.value, kTextSize) &&
        !ReadKeyText(root, "ProductVersion", &version)) {
        CX_TRACE(5, "\n  CX_Mib: try path for older versions");
        if (!ReadKeyText(root + "\\#Parameters", "ProductVersion", &version)) {
            CX_TRACE(2, "\n!!! NO SNMP AGENT PRODUCT VERSION FOUND");
            return;
        }
    }
    ComponentEntry component(kCompManagementAgent);
    CopyEntryText(component.Vendor, kVendor);
    CopyEntryText(component.ProdName, "Management Agent");
    CopyEntryText(component.ProdDescript, "Hostara NT Agents");
    CopyEntryText(component.Version, version.value);
    CX_TRACE(3, "\n   Agent Version %s", component.Version);
    agent.InsertComponent(&component);
    InsertFwObject(agent, "Agent:0");
}

void InsertFlashAgent(CCX_Agent& agent) {
    Text version;
    if (!ReadKeyText(kFlashAgentKey, "PackageVersion", &version)) {
        CX_TRACE(2, "\n!!! NO VANTREL VERSION FOUND");
        return;
    }
    ComponentEntry component(kCompManagementAgent);
    CopyEntryText(component.Vendor, kVendor);
    CopyEntryText(component.ProdName, "Vantrel Agent");
    CopyEntryText(component.ProdDescript, "Vantrel NT Agents");
    CopyEntryText(component.Version, version.value);
    CX_TRACE(3, "\n   Vantrel Version %s", component.Version);
    agent.InsertComponent(&component);
    InsertFwObject(agent, "Agent:1");
}

// Shared objects carry execute bits too; they are the libraries' own.
bool IsLibraryName(const std::string& name) {
    return name.size() > 3 && name.compare(name.size() - 3, 3, ".so") == 0;
}

// Every file of `directory` that `pattern` finds (and, for programs, that is one) as a
// component of `type`; the count of files found.
DWORD InsertFiles(CCX_Agent& agent, const char* directory, const char* pattern, bool programs,
                  DWORD type) {
    std::string search = std::string(directory) + "/" + pattern;
    WIN32_FIND_DATAA data{};
    HANDLE find = FindFirstFileA(search.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return 0;
    DWORD found = 0;
    do {
        std::string path = std::string(directory) + "/" + data.cFileName;
        if (programs && (IsLibraryName(data.cFileName) || !CxIsProgramFile(path.c_str()))) continue;
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
        ++found;
        ComponentEntry component(type);
        if (agent.ReadFileVersionInfo(&component, path.c_str())) agent.InsertComponent(&component);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return found;
}

void InsertAgentFiles(CCX_Agent& agent) {
    RegKey setup;
    std::string key_path = std::string(agent.m_szCommonRoot) + "\\#Setup";
    bool open = setup.Open(key_path.c_str()) == ERROR_SUCCESS;
    Text directory;
    if (!open || !ReadText(setup, "AgentRoot", &directory)) {
        CX_TRACE(2, "\n!!! NO AGENTROOT FOUND");
    } else {
        if (InsertFiles(agent, directory.value, kCxLibraryPattern, false, 163) == 0) {
            CX_TRACE(1, "\n   !!! NO AGENT FILE FOUND !!!");
        }
        CX_TRACE(5, "\n   no more Agents");
    }
    if (!open || !ReadText(setup, "SysMonRoot", &directory)) {
        CX_TRACE(2, "\n!!! NO SYSMONROOT FOUND");
    } else {
        if (InsertFiles(agent, directory.value, kCxLibraryPattern, false, 163) == 0) {
            CX_TRACE(1, "\n   !!! NO EM/SYSMON FILE FOUND !!!");
        }
        CX_TRACE(5, "\n   no more Em/Sysmon");
        if (InsertFiles(agent, directory.value, kCxProgramPattern, true, 163) == 0) {
            CX_TRACE(1, "\n   !!! NO *.EXE FILE FOUND !!!");
        }
        CX_TRACE(5, "\n   no more *.exe");
    }
    setup.Close();
}

void InsertConsole(CCX_Agent& agent) {
    RegKey key;
    bool open = key.Open(kConsoleKey) == ERROR_SUCCESS;
    Text directory, file;
    if (!open || !ReadText(key, "SM_PATH", &directory)) CX_TRACE(2, "\n!!! NO HOSTAPATH FOUND");
    if (!open || !ReadText(key, "SM_NAME", &file)) CX_TRACE(2, "\n!!! NO HOSTAFILE FOUND");
    key.Close();
    std::string path = std::string(directory.value) + "/" + file.value;
    WIN32_FIND_DATAA data{};
    HANDLE find =
        file.value[0] == '\0' ? INVALID_HANDLE_VALUE : FindFirstFileA(path.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        CX_TRACE(1, "\n   !!! NO HOSTA.EXE FOUND !!!");
        return;
    }
    FindClose(find);
    ComponentEntry component(kCompManagementTool);
    if (agent.ReadFileVersionInfo(&component, path.c_str())) {
        CX_TRACE(3, "\n   Frontend Version %.8s", component.Version);
        agent.InsertComponent(&component);
    }
}

void InsertSupportPackage(CCX_Agent& agent, const char* name, DWORD index) {
    CX_TRACE(5, "\nCxIniMonSw          : KSP Tool %s", name);
    ComponentEntry component(kCompManagementTool);
    CopyEntryText(component.Vendor, "TVC");
    CopyEntryText(component.ProdName, name);
    CopyEntryText(component.ProdDescript, kSupportPackage);
    CopyEntryText(component.Version, "N/A");
    RegKey key;
    if (OpenToolKey(key, std::string(kUpdateToolKey) + "\\" + name) == ERROR_SUCCESS) {
        DWORD major = 0, minor = 0, major_build = 0, minor_build = 0;
        if (key.QueryDword("versionMajor", &major) == ERROR_SUCCESS &&
            key.QueryDword("versionMinor", &minor) == ERROR_SUCCESS) {
            if (key.QueryDword("versionMajBuild", &major_build) != ERROR_SUCCESS ||
                key.QueryDword("versionMinBuild", &minor_build) != ERROR_SUCCESS) {
                CX_TRACE(3, "\nCxIniMonSw KSP Tool : NO BUILD INFO");
                major_build = minor_build = 0;
            }
            char version[64];
            std::snprintf(version, sizeof(version), "%u.%u.%u.%u", major, minor, major_build,
                          minor_build);
            CopyEntryText(component.Version, version);
        }
        Text driver;
        if (ReadText(key, "driverVersion", &driver)) CopyEntryText(component.CompId, driver.value);
    }
    CX_TRACE(5, "\nCxIniMonSw KSP Tool : Version  %s", component.Version);
    agent.InsertComponent(&component);
    char object[32];
    std::snprintf(object, sizeof(object), "KorvSupportPack:%u", index);
    InsertFwObject(agent, object, static_cast<LONG>(agent.NrComponents));
    key.Close();
}

void InsertUpdateTool(CCX_Agent& agent) {
    CX_TRACE(5, "\nCxIniMonSw          : Check KSP Tool");
    RegKey tool;
    if (OpenToolKey(tool, kUpdateToolKey) != ERROR_SUCCESS) {
        CX_TRACE(2, "\nCxIniMonSw          : NO KSP Tool");
        return;
    }
    CX_TRACE(5, "\nCxIniMonSw          : KSP Tool");
    ComponentEntry component(kCompManagementTool);
    DWORD major = 0, minor = 0, build = 0;
    if (tool.QueryDword("RampletMajorVersion", &major) == ERROR_SUCCESS &&
        tool.QueryDword("RampletMinorVersion", &minor) == ERROR_SUCCESS &&
        tool.QueryDword("RampletBuild", &build) == ERROR_SUCCESS) {
        char version[48];
        std::snprintf(version, sizeof(version), "%u.%u.%u", major, minor, build);
        CopyEntryText(component.Version, version);
    } else {
        CopyEntryText(component.Version, "N/A");
    }
    CopyEntryText(component.Vendor, "TVC");
    CopyEntryText(component.ProdName, "Ramplet");
    CopyEntryText(component.ProdDescript, kSupportPackage);
    CX_TRACE(5, "\nCxIniMonSw KSP Tool : Version  %s", component.Version);
    agent.InsertComponent(&component);
    InsertFwObject(agent, "Tools:0");

    for (DWORD index = 0; AgentShutdown.load() == 0 && agent.m_bAbortRequest.load() == 0; ++index) {
        char name[kTextSize + 1] = {};
        DWORD size = kTextSize;
        if (tool.EnumKey(index, name, &size) != ERROR_SUCCESS) break;
        InsertSupportPackage(agent, name, index);
    }
    tool.Close();
}

void InsertRaidAgent(CCX_Agent& agent) {
    ComponentEntry component;
    if (agent.GetTvcRaidVsn(&component)) {
        agent.InsertComponent(&component);
        InsertFwObject(agent, "Agent:2");
    }
}

void InsertAll(CCX_Agent& agent) {
    CX_TRACE(3, "\nCX_Mib              : insert Agents");
    InsertAgentPackage(agent);
    InsertFlashAgent(agent);
    InsertAgentFiles(agent);
    InsertConsole(agent);
    InsertUpdateTool(agent);
    InsertRaidAgent(agent);
}

}  // namespace

void CCX_Agent::InsertAgents() {
    try {
        InsertAll(*this);
    } catch (...) {
        CX_TRACE(1, "\n########################################");
        CX_TRACE(1, "\n FATAL ERROR! Exception in InsertAgents");
        CX_TRACE(1, "\n########################################");
    }
}
