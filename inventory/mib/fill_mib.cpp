// FillMib: the Catalix MIB rebuilt from the saved inventory file, or its short form while
// there is none.
#include <ctime>
#include <string>

#include "base/file_debug.h"
#include "inventory/cx_agent.h"
#include "mib_content.h"
#include "mib_lock.h"

using namespace cx::inventory;

namespace {

// One string of the agent library's own version resource; "" while the library's path is not
// known (an agent that was not loaded as a library).
std::string AgentVersionString(CFileVersionInfo& info, const char* module_path, const char* name) {
    if (module_path[0] == '\0') return std::string();
    return std::string(info.QueryValue(module_path, name));
}

}  // namespace

void CCX_Agent::FillMib() {
    CX_TRACE(3, "\n  CX_Mib: Write to MIB");
    std::time_t t0 = std::time(nullptr);

    ProfileFile saved;
    char path[MAX_PATH];
    BOOL have_saved = FALSE;
    if (MakeDataPath(kSavedFileName, path, sizeof(path))) {
        saved.SetPath(path);
        have_saved = saved.Open(TRUE);
    }
    if (InfoState == 1) {
        CX_TRACE(1, "\n   InfoState = UNCHANGED, no new MIB");
        return;
    }

    // Everything is read before the lock is taken: requests wait only for the tree's rebuild,
    // not for the file.
    MibContent content =
        have_saved ? ReadSavedMib(saved)
                   : ReducedMib(static_cast<DWORD>(t0), ScanState,
                                AgentVersionString(m_VersionInfo, m_szModulePath, "CompanyName"),
                                AgentVersionString(m_VersionInfo, m_szModulePath, "FileVersion"));

    // The new MIB is built whole beside the one being served, its traces written meanwhile;
    // requests wait only while it is swapped in, and the old one is freed after they go on.
    CX_TRACE(1, "\n  -->        new MIB");
    if (!have_saved) CX_TRACE(1, "\n--> NO SAVED DATA");
    CSnmpMibBuild<CSnmpAgent> build;
    PrepareBuild(build);
    RegisterCells(build, content.cells);
    if (have_saved && content.aborted) {
        CX_TRACE(2, "\nCX_MIB FillMib      : ABORTED (AgentShutdown)");
    }
    build.Seal();  // before the lock: requests wait only for the swap
    if (build.Failed()) {
        CX_TRACE(1, "\nCX_MIB FillMib      : ERROR! Out of memory - the old MIB is kept");
        return;
    }
    CX_TRACE(5, "\n--> LOCK MIB ");
    {
        MibLockScope lock(&m_MibLock);
        if (have_saved) ScanState = content.scan_state;
        ReplaceMib(build);
    }
    CX_TRACE(5, "\n--> UNLOCK MIB ");
    CX_TRACE(1, "\n  --> Delete old MIB ");
    build.Clear();
    if (have_saved) {
        CX_TRACE(5, "\n   MIB write time : %d sec", static_cast<int>(std::time(nullptr) - t0));
    }
}
