// GetAICType: an Adaptec controller in the I/O-manager MIB or, failing that, in the AAC MIB of
// the vendor's agent, recorded with its firmware parts.
#include <cctype>
#include <string>

#include "base/file_debug.h"
#include "storage_steps.h"

namespace cx::storage {
namespace {

constexpr const char* kIomRoot = ".1.3.6.1.4.1.795.12.2.2.1";
constexpr const char* kIomCtrlEntry = ".1.3.6.1.4.1.795.12.2.3.1.1";
constexpr const char* kAacRoot = ".1.3.6.1.4.1.795.10.1.1.3";
constexpr const char* kAacBusEntry = ".1.3.6.1.4.1.795.10.1.1.28.1";
constexpr const char* kAacCtrlEntry = ".1.3.6.1.4.1.795.10.1.1.3.1";
constexpr WORD kAicTries = 3;

enum IomCtrlColumn : UINT {
    kIomIndex,
    kIomName,
    kIomDevice,
    kIomVendor,
    kIomBus,
    kIomDev,
    kIomFunc
};
enum AacCtrlColumn : UINT { kAacName, kAacBios, kAacKernel, kAacMonitor, kAacVersion };

void RecordAac(CCX_Agent& agent, ComponentEntry* component, ScsiCtrl* ctrl) {
    CX_TRACE(5, "\n   AacCtrl: %s: %s", component->ProdName, component->Version);
    RecordController(agent, component, ctrl);
}

void InsertAacPart(CCX_Agent& agent, const ComponentEntry& controller, DWORD type,
                   const char* descript, const char* version) {
    CX_TRACE(5, "\n   AacCtrl: %s: %s", descript, version);
    InsertPart(agent, controller, type, descript, version);
}

// "Adaptec 2200S" is recorded as "2200S": the name after the maker's, upper-cased.
void ShortenName(ComponentEntry* component) {
    std::string upper = component->ProdName;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const std::size_t maker = upper.find("ADAPTEC");
    if (maker == std::string::npos) return;
    std::size_t at = maker + 8;
    if (at < upper.size() && upper[at] == ' ') ++at;
    CopyEntryText(component->ProdName, at < upper.size() ? upper.c_str() + at : "");
    CX_TRACE(5, "\n   AAC Controller: %s", component->ProdName);
}

bool FromIoManager(CCX_Agent& agent, ComponentEntry* component, ScsiCtrl* ctrl,
                   TableWalk& controllers) {
    while (!StopRequested(agent) && controllers.Next()) {
        if (controllers.Int(kIomVendor) != ctrl->VendorId ||
            controllers.Int(kIomDevice) != ctrl->DeviceId ||
            controllers.Int(kIomBus) != ctrl->BusNo - 1 ||
            controllers.Int(kIomDev) != ctrl->DevNo ||
            controllers.Int(kIomFunc) != ctrl->FuncNo - 1) {
            CX_TRACE(5, "\n   check next");
            continue;
        }
        ctrl->CtrlIndex = controllers.Int(kIomIndex);
        ctrl->CtrlType = 4;
        CopyEntryText(component->Version, controllers.Text(kIomName));
        CX_TRACE(5, "\n   AIC Controller: %s", component->ProdName);
        CX_TRACE(5, "\n       Version   : %s", component->Version);
        // The devices follow in the device phase; the controller is recorded here so that they
        // have its container to hang in.
        RecordAac(agent, component, ctrl);
        return true;
    }
    return false;
}

bool FromAac(CCX_Agent& agent, CSnmpMgr& session, ComponentEntry* component, ScsiCtrl* ctrl,
             TableWalk& buses) {
    bool found = false;
    while (!StopRequested(agent) && buses.Next()) {
        if (buses.Int(0) == ctrl->BusNo - 1 && buses.Int(1) == ctrl->DevNo) {
            found = true;
            break;
        }
        CX_TRACE(5, "\n   check next");
    }
    if (!found) return false;
    CX_TRACE(5, "\n   AAC Controller: bus %d.%d found", ctrl->BusNo - 1, ctrl->DevNo);
    const DWORD index = buses.Index().empty() ? 0 : buses.Index().back();
    TableWalk row(session, kAacCtrlEntry, {3, 7, 8, 9, 10});
    if (!row.Get({index})) {
        // The bus table names the controller but its row cannot be read: nothing from the AAC
        // MIB describes it, so it is left to the generic recording and its devices to the
        // hard-disk MIB, rather than recorded half-empty.
        CX_TRACE(2, "\n   AacCtrl: !!! CANNOT FIND CONTROLLER");
        return false;
    }
    ctrl->CtrlIndex = index;
    ctrl->CtrlType = 5;
    component->CompType = kCompStorageController;
    CopyEntryText(component->ProdName, row.Text(kAacName));
    CopyEntryText(component->Version, row.Text(kAacVersion));
    CX_TRACE(5, "\n   AAC Controller: %s", component->ProdName);
    CX_TRACE(5, "\n       Version   : %s", component->Version);
    ShortenName(component);
    RecordAac(agent, component, ctrl);

    ComponentEntry kernel = *component;
    kernel.CompType = kCompFirmware;
    CopyEntryText(kernel.ProdDescript, row.Text(kAacKernel));
    agent.DecodeAacVsn(&kernel);
    if (kernel.ProdDescript[0] == '\0') CopyEntryText(kernel.ProdDescript, "Kernel Version");
    CX_TRACE(5, "\n   AacCtrl: %s: %s", kernel.ProdDescript, kernel.Version);
    agent.InsertComponent(&kernel);
    InsertAacPart(agent, *component, kCompFirmware, "Monitor Version", row.Text(kAacMonitor));
    InsertAacPart(agent, *component, kCompBios, "BIOS Version", row.Text(kAacBios));
    return true;
}

BOOL FindController(CCX_Agent& agent, ComponentEntry* component, ScsiCtrl* ctrl) {
    Session session;
    if (!session.Open()) {
        CX_TRACE(1, "\n!!! CSnmpAIC.OpenSession() failed!!!");
        return FALSE;
    }
    CX_TRACE(1, "\n--> CONNECTED TO SNMP (AIC-BUS)");
    bool recorded = false;
    bool failed = false;
    if (agent.CheckAgent("iomsnmp")) {
        if (agent.CheckMib(kIomRoot, kAicTries)) {
            CX_TRACE(5, "\n   AIC_IOM_MIB found");
            if (ctrl->VendorId != 0 && ctrl->DeviceId != 0) {
                TableWalk controllers(session.manager(), kIomCtrlEntry, {1, 2, 7, 8, 9, 10, 11});
                recorded = FromIoManager(agent, component, ctrl, controllers);
                failed = controllers.Failed();
            }
        }
        if (!recorded && !StopRequested(agent) && agent.CheckMib(kAacRoot, kAicTries)) {
            CX_TRACE(5, "\n   AIC_AAC_MIB found");
            TableWalk buses(session.manager(), kAacBusEntry, {3, 4});
            recorded = FromAac(agent, session.manager(), component, ctrl, buses);
            failed = buses.Failed();
        }
    }
    TraceAborts(agent, "CX_MIB GetAICType   : ");
    if (failed) {
        CX_TRACE(1, "\n!!! CANNOT GET AIC_BUS ENTRIES");
    } else {
        CX_TRACE(5, "\n   End of AIC_BUS entries");
    }
    session.Close();
    CX_TRACE(1, "\n--> SNMP DISCONNECTED (AIC_BUS)");
    return recorded ? TRUE : FALSE;
}

}  // namespace
}  // namespace cx::storage

BOOL CCX_Agent::GetAICType(ComponentEntry* component, ScsiCtrl* scsi_ctrl) {
    CX_TRACE(3, "\n  CX_Mib: get AIC Board");
    try {
        return cx::storage::FindController(*this, component, scsi_ctrl);
    } catch (...) {
        cx::storage::TraceFatal("GetAICType", "####################################");
        return FALSE;
    }
}
