// The scan driver: one complete inventory scan, from waiting for the server-control agent to
// the comparison with the saved inventory.
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>

#include "base/file_debug.h"
#include "base/sys_base.h"
#include "framework/agent_globals.h"
#include "inventory/cx_agent.h"
#include "inventory/inventory_sections.h"
#include "inventory/scan_stamp.h"
#include "platform/winreg.h"

namespace {

constexpr const char* kServerControlAgent = "SC_MIB\\Subsystems\\Environment";
constexpr const char* kVolatileParameters = "Parameters\\VolatileParameters";
constexpr int kReadinessAttempts = 48;
constexpr DWORD kReadinessWaitMs = 5000;

// "<directory>/<module>.ini"; a path that does not fit is no path (so no table file is found)
// rather than a shortened one that might name another file.
void JoinTablePath(char* path, std::size_t size, const char* directory, const char* module) {
    const int length = std::snprintf(path, size, "%s/%s.ini", directory, module);
    if (length < 0 || static_cast<std::size_t>(length) >= size) path[0] = '\0';
}

// A file that could not be located has no path: its profile stays unusable instead of naming
// the working directory.
const char* PathOrNone(const char* path) { return path[0] != '\0' ? path : nullptr; }

// Read as the saved file's "ScanState" when it has none: no value can hold a line end.
constexpr const char* kNoScanState = "\n";

}  // namespace

void CCX_Agent::ScanFailed(const char* format, ...) {
    char reason[256];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(reason, sizeof(reason), format, arguments);
    va_end(arguments);
    CX_TRACE(1, "\n!!! SCAN FAILED: %s", reason);
    if (m_ScanFailure.empty()) m_ScanFailure = reason;
}

BOOL CCX_Agent::IsAgentInitialized(const char* agent_key) {
    char key_path[3 * MAX_PATH];
    std::snprintf(key_path, sizeof(key_path), "%s\\%s\\%s", m_szRegistryRoot, agent_key,
                  kVolatileParameters);
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_path, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
        return FALSE;
    }
    DWORD status = 0;
    DWORD type = 0;
    DWORD size = sizeof(status);
    const LONG result = RegQueryValueExA(key, "AgentStatus", nullptr, &type,
                                         reinterpret_cast<BYTE*>(&status), &size);
    RegCloseKey(key);
    // Another agent's value: anything but a whole DWORD does not count as ready.
    if (result != ERROR_SUCCESS || type != REG_DWORD || size != sizeof(status) || status == 0) {
        return FALSE;
    }
    CX_TRACE(2, "\n   AGENT initialized (%d)", static_cast<int>(status));
    return TRUE;
}

void CCX_Agent::RunCollectors(const CTransportFaults& faults) {
    bool watching = false;
    bool failed = false;
    for (const CollectorStep& step : m_Collectors) {
        if (step.UnderServiceWatch != watching) {
            if (step.UnderServiceWatch) {
                StartSnmpServiceWatch();
                m_ScanProfile.Mark("watch_start");
            } else {
                StopSnmpServiceWatch();
                m_ScanProfile.Mark("watch_stop");
            }
            watching = step.UnderServiceWatch;
        }
        // A shutdown ends the scan for good; an abort request only spares the steps that ask
        // the service that is stopping.
        if (AgentShutdown != 0 || (step.SkippedOnAbort && m_bAbortRequest != 0)) continue;
        // A scan that could not ask one source cannot be used whatever the others say: the
        // rest of it would only cost time.
        if (!failed && faults.Count() != 0) {
            CX_TRACE(2, "\nCX_MIB              : ABORTED (request not delivered)");
            failed = true;
        }
        if (failed) continue;
        if (step.Run != nullptr) step.Run(*this);
        m_ScanProfile.Mark(step.Name);
    }
    if (watching) {
        StopSnmpServiceWatch();
        m_ScanProfile.Mark("watch_stop");
    }
}

BOOL CCX_Agent::ScanDriver() {
    const ScanStamp start(time(nullptr));
    CX_TRACE(5, "\n  --> Start %s (%s)", start.clock, start.seconds);

    NrComponents = NrPhysDefinitions = NrFuncDefinitions = 0;
    NrPhysContainers = NrFuncContainers = 0;
    CurPhysContainer = CurFuncContainer = 0;
    RsbCompNr = MgmtCompNr = 0;
    ScanState = kScanStateScanning;
    m_ScanFailure.clear();
    CTransportFaults faults;

    BOOL result = FALSE;
    CX_TRACE(1, "\nwait till SC Agent initialized ");
    if (AgentShutdown == 0) {
        BOOL ready = FALSE;
        // The agent is asked first and waited for only when it is not ready: a scan of a
        // machine whose server-control agent runs does not lose five seconds.
        for (int attempt = 1; attempt <= kReadinessAttempts; ++attempt) {
            if (IsAgentInitialized(kServerControlAgent)) {
                ready = TRUE;
                break;
            }
            CX_TRACE(5, "*");
            if (AgentShutdown != 0 || attempt == kReadinessAttempts) break;
            // A rescan request or the shutdown leaves the event signalled: no more delay.
            m_RescanEvent.Wait(kReadinessWaitMs);
        }
        if (!ready) CX_TRACE(2, "\n!!! SC AGENT NOT READY !!!");
    }
    m_ScanProfile.Mark("ready");

    if (AgentShutdown == 0) {
        BOOL ok = TRUE;
        char table_path[MAX_PATH] = {};
        if (!GetAgentRegFilePath("TableFile", table_path, sizeof(table_path))) {
            CSysBase roots;
            JoinTablePath(table_path, sizeof(table_path), roots.m_szFileRoot, g_szModuleName);
            CX_TRACE(3, "   Use CX_MIB.ini in %s", roots.m_szFileRoot);
        }
        m_DefinitionTable.SetPath(PathOrNone(table_path));
        if (m_DefinitionTable.Open(TRUE)) {
            m_RequestTable.SetPath(table_path);
            m_RequestTable.Open(TRUE);
        } else {
            CX_TRACE(2, "\n   !!! NO CX_MIB.INI FOUND !!!");
            ok = FALSE;
        }

        char actual_path[MAX_PATH] = {};
        if (!MakeDataPath(kActualFileName, actual_path, sizeof(actual_path))) {
            CX_TRACE(2, "\n   !!! NO ACTFILE FOUND !!!");
            ok = FALSE;
        }
        CX_TRACE(3, "\n   ActualFile : %s", actual_path);
        m_ActualFile.SetPath(PathOrNone(actual_path));
        m_ActualFile.Open(FALSE);

        char saved_path[MAX_PATH] = {};
        if (!MakeDataPath(kSavedFileName, saved_path, sizeof(saved_path))) {
            CX_TRACE(2, "\n   !!! NO SAVE_FILE FOUND !!!");
            ok = FALSE;
        }
        CX_TRACE(3, "\n   SaveFile   : %s", saved_path);
        m_SavedFile.SetPath(PathOrNone(saved_path));
        // What the saved file said before this scan marked it: a scan that fails puts it back.
        std::optional<std::string> saved_state;
        if (m_SavedFile.Open(FALSE)) {
            saved_state =
                m_SavedFile.ReadString(cx::inventory::kLastDateSection, "ScanState", kNoScanState);
            CX_TRACE(1, "\n   set SCANNING state");
            m_SavedFile.WriteString(cx::inventory::kLastDateSection, "ScanState", "SCANNING");
        }

        m_ScanProfile.Mark("files");
        if (ok && !m_SwitchClient.Attach(nullptr)) {
            ok = FALSE;
            CX_TRACE(1, "\n!!! CANNOT CONNECT TO SWITCH !!!");
            ScanFailed("the SWITCH server cannot be reached");
        }

        m_ScanProfile.Mark("attach");
        if (ok) {
            if (AgentShutdown == 0) InitCommon();
            if (AgentShutdown == 0) InitComponentDefinitions();
            m_ScanProfile.Mark("common");
            RunCollectors(faults);
        }

        ScsiCtrlList.RemoveAll();

        if (AgentShutdown == 0 && m_bAbortRequest == 0 && ok) {
            if (faults.Count() != 0) {
                ScanFailed("%u requests could not reach their source",
                           static_cast<unsigned>(faults.Count()));
            } else {
                result = SaveInventory();
                m_ScanProfile.Mark("save");
            }
        }
        if (!m_ScanFailure.empty() && !result && saved_state) {
            // The saved file stays what it was, its state included.
            m_SavedFile.WriteString(cx::inventory::kLastDateSection, "ScanState",
                                    *saved_state == kNoScanState ? nullptr : saved_state->c_str());
            m_SavedFile.Flush();
        }

        const ScanStamp stop(time(nullptr));
        CX_TRACE(5, "\n  --> Stop %s (%s)", stop.clock, stop.seconds);
        CX_TRACE(5, "\n  TOTAL SCAN TIME : %d sec", static_cast<int>(stop.when - start.when));
    }

    m_SwitchClient.Detach();
    m_ScanProfile.Mark("detach");
    if (AgentShutdown != 0) {
        CX_TRACE(2, "\n  !!! AGENT TERMINATED !!!");
        return FALSE;
    }
    return result;
}
