// CCX_Agent: the Catalix inventory agent. It publishes the inventory MIB from the saved
// inventory file, scans the server on a background thread at its interval or when SWITCH asks
// for it, and rebuilds the MIB only when a scan found the inventory changed.
//
// The class is defined in pieces: the life cycle and scan loop (cx_agent.cpp), the scan driver,
// the inventory writers, the MIB builder, the comparison and file operations, the information
// requests, and, in collectors/, the collector families. The collectors' layer hands the agent
// the steps its scan driver walks (CollectorStep).
#pragma once

#include <atomic>
#include <cstdio>
#include <string>

#include "base/event.h"
#include "base/thread.h"
#include "clients/snmp_mgr.h"
#include "clients/switch_client.h"
#include "clients/transport_faults.h"
#include "framework/snmp_agent.h"
#include "inventory/collector_step.h"
#include "inventory/component_entry.h"
#include "inventory/profile_file.h"
#include "inventory/scan_profile.h"
#include "inventory/scsi_ctrl.h"

class AicAssocList;
struct AicPortEntry;

// The Catalix MIB region and the inventory files in the data root.
inline constexpr const char* kCatalixMibRoot = ".1.3.6.1.4.1.7391.2.10.2.10";
inline constexpr const char* kActualFileName = "Catalix.act";
inline constexpr const char* kSavedFileName = "Catalix.sav";
inline constexpr const char* kCopyFileName = "Catalix.cpy";

// Values of ScanState and of avkCxScanState.
inline constexpr DWORD kScanStateOther = 1;
inline constexpr DWORD kScanStateScanning = 2;
inline constexpr DWORD kScanStateDone = 3;

// One cabinet of the server as the cabinet collector found it; handed to the blade collector.
struct CabinetRecord {
    DWORD PhysCont = 0;
    DWORD FuncCont = 0;
    DWORD CabinetNr = 0;
    DWORD Index = 0;  // 0: the server cabinet; 1...: storage extensions
    char Name[128] = {};
};

class CCX_Agent : public CSnmpAgent {
  public:
    // `collectors`: the steps the scan driver walks, in order; they outlive the agent.
    explicit CCX_Agent(CollectorSteps collectors);
    ~CCX_Agent() override;

    // Framework slots.
    void RcmiReply(CSwitchCommand* command) override;
    void InitializeMib() override;
    void CloseMib() override;
    // A failed scan that waits for its retry is tried at once: the server it may have missed
    // is back.
    void SwitchEventsRestored() override;

    // Scan loop and SNMP service watch (the thread bodies take the agent as argument).
    static DWORD WINAPI ScanThreadMain(LPVOID agent);
    static DWORD WINAPI WatchThreadMain(LPVOID agent);
    void CxRescan();
    void StartSnmpServiceWatch();
    void StopSnmpServiceWatch();
    void SnmpServiceWatch();
    // The ScanTime parameter in seconds as the scan loop uses it.
    DWORD ReadScanTime();
    DWORD ReadSeconds(const char* name, DWORD default_value, DWORD floor);
    // The wait in seconds after a failed scan: the ScanRetryTime parameter, doubled with every
    // further failed scan in a row, never beyond `scan_time`.
    DWORD RetryTime(DWORD scan_time);
    // The end of one pass of the scan loop: the scan state, and the wait in seconds before the
    // next pass.
    DWORD FinishScan();

    // Scan driver.
    BOOL ScanDriver();
    void RunCollectors(const CTransportFaults& faults);
    BOOL IsAgentInitialized(const char* agent_key);
    // The scan that runs gives no inventory: `format` says why (traced, and logged by the scan
    // loop). The saved inventory and the MIB stay as they are.
    void ScanFailed(const char* format, ...) __attribute__((format(printf, 2, 3)));

    // Inventory writers (actual file).
    void InitCommon();
    void InitComponentDefinitions();
    void InsertPhysicalDefinition(const char* name);
    void InsertFunctionalDefinition(const char* name);
    void InsertPhysicalContainer(const char* name, DWORD parent, const char* type_key, LONG type);
    void InsertFunctionalContainer(const char* name, DWORD parent, const char* type_key, LONG type);
    void InsertScsiSystem(ComponentEntry* component, DWORD parent, ScsiCtrl* controller);
    void InsertComponent(ComponentEntry* component);
    void InsertFwUpdateObject(FwUpdateObject* object);
    BOOL ReadFileVersionInfo(ComponentEntry* component, const char* path);
    void ConvertManuDate(ComponentEntry* component);

    // MIB publication.
    void FillMib();
    void SetScanState(DWORD state);

    // Change detection and data files (plain names in the data root).
    // The scan's inventory complete: "DONE" in the actual file, which must reach the disk
    // whole, then the comparison; TRUE when the saved file now holds a new inventory.
    BOOL SaveInventory();
    BOOL CompareFiles();
    BOOL MakeDataPath(const char* name, char* buffer, DWORD size);
    FILE* OpenDataFile(const char* name, const char* mode);
    BOOL CloseDataFile(FILE* stream);
    BOOL CopyDataFile(const char* source, const char* target, BOOL fail_if_exists);
    BOOL DeleteDataFile(const char* name);

    // Information requests: SWITCH commands and table-driven component texts.
    void SwitchRequest(CSwitchCommand* command);
    const char* GetMethod(const char* section);
    BOOL GetInfoBySwitch(ComponentEntry* entry, const char* section, DWORD object_id,
                         DWORD cabinet_id);
    BOOL GetSwitchValue(const char* section, const char* key, char* text, DWORD size, DWORD op_code,
                        DWORD object_id, DWORD cabinet_id);
    void GetInfoBySnmp(ComponentEntry* entry, CSnmpMgr* manager, const char* section, LONG index);
    void GetSnmpValue(CSnmpMgr* manager, const char* section, const char* key, char* text,
                      DWORD size, LONG index);
    BOOL CheckMib(const char* root_oid_text, WORD tries);
    BOOL CheckAgent(const char* agent_name);

    // The cabinet collector and its steps, and the blade collector (collectors/; each one
    // guards itself).
    void InitCabinets();
    void GetComponentInfo(const char* section, CabinetRecord* cabinet, DWORD class_override,
                          BOOL insert);
    void GetPowerSupplies(DWORD cabinet_nr);
    void ChkBlade(CabinetRecord* cabinets, DWORD count);

    // The bus collector, and its storage controllers: the record of one controller with its
    // resources, offered to the storage handlers and recorded generically when none takes it.
    void InitBus();
    BOOL GetStorageCtrlInfo(ComponentEntry* component, CSnmpMgr* session, BusDevInfo* bus_dev_info);
    BOOL DiskCtrlInfo(CSnmpMgr* session, ScsiCtrl* scsi_ctrl);
    // The storage handlers: nonzero when the handler recorded the controller itself.
    BOOL GetTvcRaidCtrl(ScsiCtrl* scsi_ctrl);
    BOOL GetLSIType(ComponentEntry* component, ScsiCtrl* scsi_ctrl);
    BOOL GetMylexType(ComponentEntry* component, ScsiCtrl* scsi_ctrl);
    BOOL GetDPTType(ComponentEntry* component, ScsiCtrl* scsi_ctrl);
    BOOL GetLSISATAType(ComponentEntry* component, ScsiCtrl* scsi_ctrl);
    BOOL GetAICType(ComponentEntry* component, ScsiCtrl* scsi_ctrl);

    // The software collectors: the operating system and the loaded drivers, then the installed
    // agents and tools (collectors/software/, collectors/agents/).
    void InsertOSInfo();
    void InsertDriver();
    void InsertAgents();
    // The agent package's version from the installer database; FALSE without one.
    BOOL GetMsiProductVersion(char* buffer, DWORD size);

    // The storage collectors (collectors/storage/): the device phase after the bus walk, the
    // device scanner of each controller family, and their text rules.
    void InitSCSI();
    ScsiCtrl* GetSCSICtrl(DWORD bus_type, DWORD bus_no, DWORD port, DWORD slot);
    void InitSCSIDevice(ScsiCtrl* scsi_ctrl, DWORD bus_type, DWORD bus_no, DWORD adapter_no,
                        DWORD port, DWORD slot, DWORD interface_type, DWORD adapter_index);
    void ScanAICDevices(ScsiCtrl* scsi_ctrl);
    void InitDPT(ScsiCtrl* scsi_ctrl);
    void ScanLSIDevices(ScsiCtrl* scsi_ctrl);
    void ScanLSISATADevices(ScsiCtrl* scsi_ctrl);
    void InitMylex(ScsiCtrl* scsi_ctrl);
    void InitMLXDev(CSnmpMgr* session, ScsiCtrl* scsi_ctrl, LONG adapter_index, LONG bridge_channel,
                    LONG bridge_target, LONG bridge_unit, BOOL behind_bridge);
    void InitMylexSubsystem(ScsiCtrl* scsi_ctrl, DWORD adapter_index, DWORD channel, DWORD target,
                            DWORD unit);
    void GetTvcRaidDev(ScsiCtrl* scsi_ctrl);
    BOOL GetTvcRaidVsn(ComponentEntry* component);
    // At most 16 rows I2 of the associations (t1, i1) -> t2, in table order.
    int FindAssoc(AicAssocList* list, DWORD t1, DWORD i1, DWORD t2, DWORD out[16]);
    void ParseDevPath(AicPortEntry* port_entry);
    void DecodeAacVsn(ComponentEntry* component);
    void DecodeDptVsn(ComponentEntry* component, const char* text);
    // The Mylex controller name of a type number from the definition table; "" when unknown.
    std::string GetCtrlName(DWORD type);

    // Members, in their documented order after the framework part.
    CThread m_ScanThread;
    CThread m_WatchThread;
    CEvent m_RescanEvent{FALSE, TRUE};
    // Ends the SNMP service watch's pause at once when the watch is stopped.
    CEvent m_WatchStopEvent{FALSE, TRUE};
    // Signalled for good once the scan's pauses must end: shutdown began (CloseMib) or the SNMP
    // service is stopping (m_bAbortRequest). The loops still decide by the flags.
    CEvent m_ScanStopEvent{FALSE, TRUE};
    CSwitchClient m_SwitchClient;
    ProfileFile m_RequestTable;
    ProfileFile m_DefinitionTable;
    ProfileFile m_ActualFile;
    ProfileFile m_SavedFile;
    DWORD NrComponents = 0;
    DWORD NrPhysDefinitions = 0;
    DWORD NrFuncDefinitions = 0;
    DWORD NrPhysContainers = 0;
    DWORD NrFuncContainers = 0;
    CScsiCtrlList ScsiCtrlList{TRUE};
    DWORD CurPhysContainer = 0;
    DWORD CurFuncContainer = 0;
    DWORD SubsystemContainerNr = 0;
    DWORD BaseBoardContainerNr = 0;
    DWORD RsbCompNr = 0;
    DWORD MgmtCompNr = 0;
    // Read by RcmiReply on another thread while the scan thread writes it.
    std::atomic<DWORD> ScanState{kScanStateOther};
    LONG LastHandledCtrl = -1;  // the storage collectors' own
    DWORD InfoState = 0;
    std::atomic<DWORD> m_bAbortRequest{0};
    std::atomic<DWORD> m_bWatchRun{0};
    DWORD ServerCabinetNr = 0;
    CollectorSteps m_Collectors;
    // Why the last scan gave no inventory; empty when it did.
    std::string m_ScanFailure;
    // Scans in a row that gave no inventory (read by SwitchEventsRestored on another thread).
    std::atomic<DWORD> m_dwFailedScans{0};
    // How long the parts of each pass of the scan loop took (kept only where asked for).
    CScanProfile m_ScanProfile;
};

// The factory: one CCX_Agent with the Catalix MIB region that scans with `collectors`; FALSE
// (and NULL) when it cannot be had.
BOOL CreateCatalixAgent(CSnmpAgent** agent, CollectorSteps collectors);

// The build stamps: the inventory file's, and the one the MIB shows without a saved file.
inline constexpr const char* kInventoryBuildStamp = "Build: Oct 20 2006, 08:57:39";
inline constexpr const char* kMibBuildStamp = "Build: Oct 20 2006, 08:57:29";
