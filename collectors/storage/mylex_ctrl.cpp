// GetMylexType: a Mylex controller in the management agent's own Mylex view, found by its
// memory address, or in the GAM MIB, found by its bus address; recorded with its firmware and
// BIOS. InitMylex then reads its devices.
#include <cstring>

#include "base/file_debug.h"
#include "storage_steps.h"

namespace cx::storage {
namespace {

constexpr const char* kViewRoot = ".1.3.6.1.4.1.7391.2.10.2.6.2.1.3";
constexpr const char* kViewCtrlEntry = ".1.3.6.1.4.1.7391.2.10.2.6.2.1.3.1";
constexpr const char* kGamRoot = ".1.3.6.1.4.1.1608.1.1.1.2";
constexpr const char* kGamCtrlEntry = ".1.3.6.1.4.1.1608.1.1.1.2.1";
constexpr WORD kMylexTries = 60;

// The view writes "1. 23" where "1.23" is meant.
void RemoveFirstBlank(char* version) {
    char* blank = std::strchr(version, ' ');
    if (blank == nullptr) return;
    CX_TRACE(5, "\n   (REMOVE BLANK)");
    std::memmove(blank, blank + 1, std::strlen(blank + 1) + 1);
}

void RecordWithParts(CCX_Agent& agent, ComponentEntry* component, ScsiCtrl* ctrl,
                     const char* firmware, const char* bios) {
    RevisionVersion(component, *ctrl);
    RecordController(agent, component, ctrl);
    ComponentEntry part = *component;
    part.CompId[0] = '\0';
    InsertPart(agent, part, kCompFirmware, "Controller Firmware", firmware);
    InsertPart(agent, *component, kCompBios, "Controller BIOS", bios);
}

WalkResult FromView(CCX_Agent& agent, CSnmpMgr& session, ComponentEntry* component,
                    ScsiCtrl* ctrl) {
    enum : UINT { kIndex, kName, kMemory, kFirmware, kBios, kC24, kVendor };
    TableWalk controllers(session, kViewCtrlEntry, {1, 2, 4, 11, 12, 24, 25});
    while (!StopRequested(agent) && controllers.Next()) {
        CX_TRACE(5, "\n   MLX_MIB check");
        if (controllers.Int(kMemory) != ctrl->MemAddr) {
            CX_TRACE(5, "\n   check next");
            continue;
        }
        ctrl->CtrlIndex = controllers.Int(kIndex);
        ctrl->CtrlType = 1;
        CopyEntryText(component->Vendor, controllers.Text(kVendor));
        CopyEntryText(component->ProdName, controllers.Text(kName));
        char firmware[kEntryTextSize];
        char bios[kEntryTextSize];
        CopyEntryText(firmware, controllers.Text(kFirmware));
        CopyEntryText(bios, controllers.Text(kBios));
        RemoveFirstBlank(firmware);
        RemoveFirstBlank(bios);
        RecordWithParts(agent, component, ctrl, firmware, bios);
        return {TRUE, false};
    }
    return {FALSE, controllers.Failed()};
}

WalkResult FromGam(CCX_Agent& agent, CSnmpMgr& session, ComponentEntry* component, ScsiCtrl* ctrl) {
    enum : UINT { kIndex, kFirmware, kType, kBus, kDevice, kFunction };
    TableWalk controllers(session, kGamCtrlEntry, {1, 3, 20, 21, 22, 23});
    CX_TRACE(5, "\n   Search For       : %d.%d.%d", ctrl->BusNo - 1, ctrl->DevNo, ctrl->FuncNo - 1);
    while (!StopRequested(agent) && controllers.Next()) {
        if (controllers.Int(kBus) != ctrl->BusNo - 1 || controllers.Int(kDevice) != ctrl->DevNo) {
            CX_TRACE(5, "\n   check next");
            continue;
        }
        const UINT type = controllers.Int(kType);
        CX_TRACE(5, "\n   Found            : %d.%d.%d  (Type %d)", controllers.Int(kBus),
                 controllers.Int(kDevice), controllers.Int(kFunction), type);
        ctrl->CtrlIndex = controllers.Int(kIndex);
        ctrl->CtrlType = 2;
        const std::string name = agent.GetCtrlName(type);
        if (!name.empty()) CopyEntryText(component->ProdName, name.c_str());
        if (ctrl->VendorId == 0x1000) {
            CopyEntryText(component->Vendor, "LSI Logic Inc.");
        } else if (ctrl->VendorId == 0x1069) {
            CopyEntryText(component->Vendor, "Mylex Corporation");
        } else {
            std::snprintf(component->Vendor, sizeof(component->Vendor), "unknown [%04X]",
                          ctrl->VendorId);
        }
        char firmware[kEntryTextSize];
        CopyEntryText(firmware, controllers.Text(kFirmware));
        RecordWithParts(agent, component, ctrl, firmware, "N/A");
        return {TRUE, false};
    }
    return {FALSE, controllers.Failed()};
}

WalkResult FindController(CCX_Agent& agent, CSnmpMgr& session, ComponentEntry* component,
                          ScsiCtrl* ctrl) {
    if (agent.CheckAgent("MLX_MIB") && agent.CheckMib(kViewRoot, kMylexTries))
        return FromView(agent, session, component, ctrl);
    if (!StopRequested(agent) && agent.CheckAgent("MLX_GAM") &&
        agent.CheckMib(kGamRoot, kMylexTries))
        return FromGam(agent, session, component, ctrl);
    return {};
}

}  // namespace
}  // namespace cx::storage

BOOL CCX_Agent::GetMylexType(ComponentEntry* component, ScsiCtrl* scsi_ctrl) {
    using namespace cx::storage;
    CX_TRACE(3, "\n  CX_Mib: get Mylex Board");
    const MemberNames names{"CSnmpMylex", "MLX-BUS", "GetMylexType",
                            "CX_MIB GetMylexType : ", "MLX_BUS"};
    return RunMember(*this, names,
                     [&](CSnmpMgr& session) {
                         return FindController(*this, session, component, scsi_ctrl);
                     })
        .value;
}

void CCX_Agent::InitMylex(ScsiCtrl* scsi_ctrl) {
    using namespace cx::storage;
    const MemberNames names{"CSnmpMlxDev", "MLX-Device", "InitMylex",
                            "CX_MIB InitMylex    : ", nullptr};
    RunMember(*this, names, [&](CSnmpMgr& session) {
        InitMLXDev(&session, scsi_ctrl, static_cast<LONG>(scsi_ctrl->CtrlIndex), 0, 0, 0, FALSE);
        return WalkResult{};
    });
}
