// The entry points of an agent library: the five the SNMP service calls, each inside its guard,
// and DllMain, which the shared object's load and unload hooks call as the Windows loader would.
#include "framework/entry_points.h"

#include <cstdio>

#include "base/process_info.h"
#include "framework/snmp_agent.h"
#include "framework/trace_banner.h"

namespace {

// An agent that failed before it recorded anything still leaves its exception state behind.
void RecordException(DWORD state) {
    if (g_pSnmpAgent != nullptr) g_pSnmpAgent->RecordException(state);
}

void ClearOid(AsnObjectIdentifier* oid) {
    if (oid == nullptr) return;
    oid->idLength = 0;
    oid->ids = nullptr;
}

void ClearList(SnmpVarBindList* list) {
    if (list == nullptr) return;
    list->len = 0;
    list->list = nullptr;
}

BOOL ProcessAttach(HMODULE module) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(module, path, sizeof(path));
    ModuleNameFromPath(path, g_szModuleName, sizeof(g_szModuleName));
    std::printf("\n## SNMP DLL [%s] loaded\n", g_szModuleName);
    std::fflush(stdout);
    g_FileDebug.Init(g_szModuleName, TRUE);
    if (g_pFileDebugActive->load(std::memory_order_relaxed)) {
        char process_name[MAX_PATH] = {};
        DWORD pid = GetCurrentProcessId();
        GetProcessName(pid, process_name, sizeof(process_name), nullptr, 0);
        CX_TRACE(5, "\n%-20s: DllMain: ** DLL_PROCESS_ATTACH (PID %d \"%s\") **", g_szModuleName,
                 static_cast<int>(pid), process_name);
        CX_TRACE(2, "\n%-20s: Starting SNMP agent...", g_szModuleName);
    }
    g_pSnmpAgent = CreateSnmpAgent();
    if (g_pSnmpAgent != nullptr) g_pSnmpAgent->InitModule(module);
    return TRUE;
}

void ProcessDetach() {
    CX_TRACE(5, "\n%-20s: DllMain: ** DLL_PROCESS_DETACH **", g_szModuleName);
    CSnmpAgent* agent = g_pSnmpAgent;
    if (agent != nullptr) {
        agent->SnmpClose();
        agent->SetAgentRunState(kRunStateUnloading);
        agent->DeleteVolatileParameters();
        if (agent->m_bInitThreadAbandoned) {
            // The host keeps this library loaded while such a thread lives (see
            // CxAbandonedThreadCount); deleting the agent under it would crash the process.
            CX_TRACE(1, "\n%-20s: DllMain: init thread still running; agent instance kept",
                     g_szModuleName);
            g_pSnmpAgent = nullptr;
            return;
        }
        CX_TRACE(5, "\n%-20s: DllMain: Start delete agent instance...", g_szModuleName);
        try {
            delete agent;
        } catch (...) {
            TraceBanner(
                "\n                      %s - Exception in DLL_PROCESS_DETACH !!           ",
                g_szModuleName);
        }
        CX_TRACE(5, "\n%-20s: DllMain: ... agent instance deleted", g_szModuleName);
        g_pSnmpAgent = nullptr;
    }
    if (g_pFileDebugActive->load(std::memory_order_relaxed)) {
        CX_TRACE(1, "\n\n%-20s: SNMP agent DLL unloaded\n", g_szModuleName);
        g_FileDebug.PrintCloseBanner();
    }
}

}  // namespace

BOOL DllMain(HMODULE module, DWORD reason, LPVOID) {
    try {
        switch (reason) {
            case DLL_PROCESS_ATTACH: return ProcessAttach(module);
            case DLL_PROCESS_DETACH: ProcessDetach(); return TRUE;
            case DLL_THREAD_ATTACH:
                CX_TRACE(5, "\n%-20s: DllMain: ** DLL_THREAD_ATTACH ** (ID: %d)", g_szModuleName,
                         static_cast<int>(GetCurrentThreadId()));
                return TRUE;
            case DLL_THREAD_DETACH:
                CX_TRACE(5, "\n%-20s: DllMain: ** DLL_THREAD_DETACH ** (ID: %d)", g_szModuleName,
                         static_cast<int>(GetCurrentThreadId()));
                return TRUE;
            default: return TRUE;
        }
    } catch (...) {
        return FALSE;
    }
}

extern "C" {

__attribute__((visibility("default"))) BOOL SnmpExtensionInit(DWORD time_zero_reference,
                                                              HANDLE* trap_event,
                                                              AsnObjectIdentifier* supported_view) {
    CX_TRACE(5, "\n%-20s: DllEntry: SnmpExtensionInit()", g_szModuleName);
    ClearOid(supported_view);
    if (g_pSnmpAgent == nullptr) return FALSE;
    try {
        return g_pSnmpAgent->SnmpInit(time_zero_reference, trap_event, supported_view);
    } catch (...) {
        g_pSnmpAgent->RecordInitException();
        return FALSE;
    }
}

__attribute__((visibility("default"))) BOOL SnmpExtensionInitEx(
    AsnObjectIdentifier* supported_view) {
    CX_TRACE(5, "\n%-20s: DllEntry: SnmpExtensionInitEx()", g_szModuleName);
    ClearOid(supported_view);
    if (g_pSnmpAgent == nullptr) return FALSE;
    try {
        return g_pSnmpAgent->SnmpInitEx(supported_view);
    } catch (...) {
        TraceBanner(
            "\n####                   Exception in SnmpExtensionInitEx !!                ####");
        RecordException(kRunStateExceptionInit);
        return FALSE;
    }
}

__attribute__((visibility("default"))) BOOL SnmpExtensionQuery(BYTE request_type,
                                                               SnmpVarBindList* bindings,
                                                               AsnInteger32* error_status,
                                                               AsnInteger32* error_index) {
    CX_TRACE(5, "\n%-20s: DllEntry: SnmpExtensionQuery()", g_szModuleName);
    if (g_pSnmpAgent == nullptr) return FALSE;
    try {
        return g_pSnmpAgent->SnmpQuery(request_type, bindings, error_status, error_index);
    } catch (...) {
        CX_TRACE(1, "\n\n%-20s: ##### Exception in SnmpQuery() !! #####\n", g_szModuleName);
        RecordException(kRunStateExceptionQuery);
        return FALSE;
    }
}

__attribute__((visibility("default"))) BOOL SnmpExtensionTrap(AsnObjectIdentifier* enterprise,
                                                              AsnInteger32* generic_trap,
                                                              AsnInteger32* specific_trap,
                                                              AsnTimeticks* time_stamp,
                                                              SnmpVarBindList* bindings) {
    CX_TRACE(5, "\n%-20s: DllEntry: SnmpExtensionTrap()", g_szModuleName);
    ClearOid(enterprise);
    ClearList(bindings);
    if (g_pSnmpAgent == nullptr || enterprise == nullptr || generic_trap == nullptr ||
        specific_trap == nullptr || time_stamp == nullptr || bindings == nullptr) {
        return FALSE;
    }
    return g_pSnmpAgent->SnmpTrap(enterprise, generic_trap, specific_trap, time_stamp, bindings);
}

__attribute__((visibility("default"))) void SnmpExtensionClose() {
    CX_TRACE(5, "\n%-20s: DllEntry: SnmpExtensionClose()", g_szModuleName);
    if (g_pSnmpAgent != nullptr) g_pSnmpAgent->SnmpClose();
}

__attribute__((visibility("default"))) DWORD CxExtensionLookup(AsnObjectIdentifier* name) {
    CX_TRACE(5, "\n%-20s: DllEntry: CxExtensionLookup()", g_szModuleName);
    if (g_pSnmpAgent == nullptr) return CX_LOOKUP_NO_OBJECT_TYPE;
    try {
        return g_pSnmpAgent->LookupObject(name);
    } catch (...) {
        return CX_LOOKUP_INSTANCE;  // the host then asks SnmpExtensionQuery, which knows
    }
}

}  // extern "C"

// The shared object's load and unload hooks stand in for the Windows loader's calls.
namespace {

__attribute__((constructor)) void OnLibraryLoad() {
    DllMain(CxModuleFromAddress(reinterpret_cast<const void*>(&OnLibraryLoad)), DLL_PROCESS_ATTACH,
            nullptr);
}

__attribute__((destructor)) void OnLibraryUnload() {
    DllMain(CxModuleFromAddress(reinterpret_cast<const void*>(&OnLibraryLoad)), DLL_PROCESS_DETACH,
            nullptr);
}

}  // namespace
