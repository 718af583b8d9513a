// GetComponentInfo: every component of one request section in one cabinet, with the firmware
// objects their types call for; and the cabinet sections asked that way.
#include <cstdio>

#include "base/file_debug.h"
#include "cabinet_steps.h"

namespace cx::cabinet {
namespace {

// The Vimo controller is updated with the board it sits on, not by itself; later collectors
// find it by its component number.
bool IsBoardManaged(const ComponentEntry& entry) {
    return entry.CompType == kCompManagementCtrl &&
           cx::StartsWithIgnoringCase(entry.ProdName, "Vimo");
}

// The firmware object's name for a component's type and name, or NULL when it gets none.
// `number` counts the section's components over all cabinets.
const char* FirmwareObjectName(const ComponentEntry& entry, DWORD number,
                               bool description_defaulted, char (&name)[kEntryTextSize]) {
    const char* format = nullptr;
    switch (entry.CompType) {
        case kCompSdrVersion: format = "SDRVersion:%d"; break;
        case kCompMicroCtrl: format = "Microcontroller:%d"; break;
        case kCompManagementCtrl:
            // A controller of another make is known to be updatable only when SWITCH describes
            // it.
            if (cx::StartsWithIgnoringCase(entry.ProdName, "Pelrix") ||
                cx::StartsWithIgnoringCase(entry.ProdName, "Quarne") || !description_defaulted) {
                format = "ManagementController:%d";
            }
            break;
        default: break;
    }
    if (format == nullptr) return nullptr;
    std::snprintf(name, sizeof(name), format, number);
    return name;
}

}  // namespace

void InsertCabinetComponents(CCX_Agent& agent, CabinetList& cabinets) {
    struct Section {
        const char* name;
        DWORD class_override;
    };
    static constexpr Section kSections[] = {
        {"Info.Environment", 0},    {"Info.MicroCtrl", 0},   {"Info.MicroCtrlFW", 28},
        {"Info.ManagementCtrl", 0}, {"Info.MgmtCtrlFW", 5},  {"Info.SDRVersion", 0},
        {"Info.Fans", 0},           {"Info.FrontPanel", 0},  {"Info.SCSIBackplane", 0},
        {"Info.SCSITerminator", 0}, {"Info.LVDExtender", 0}, {"Info.FibreBackplane", 0},
        {"Info.FibreLinkAdapt", 0},
    };
    for (CabinetRecord& cabinet : cabinets) {
        for (const Section& section : kSections) {
            if (StopRequested(agent)) return;
            agent.GetComponentInfo(section.name, &cabinet, section.class_override, TRUE);
        }
    }
}

}  // namespace cx::cabinet

void CCX_Agent::GetComponentInfo(const char* section, CabinetRecord* cabinet, DWORD class_override,
                                 BOOL insert) {
    using namespace cx::cabinet;
    if (section == nullptr || cabinet == nullptr) return;
    CX_TRACE(3, "\n  Get Component Info %s", section);
    const DWORD component_class =
        class_override != 0 ? class_override : m_RequestTable.ReadInt(section, "Class", 0);
    CSwitchCommand command;
    Ask(*this, command, switch_op::kComponentCount, component_class, 0, cabinet->CabinetNr);
    // A cabinet that cannot say how many it has is asked for one.
    const DWORD count = command.IsOk(0, FALSE) ? command.GetByte(0) : 1;
    CX_TRACE(3, "\n  Number of Components %d", count);
    for (DWORD i = 0; i < count && !StopRequested(*this); ++i) {
        ComponentEntry entry;
        if (!GetInfoBySwitch(&entry, section, i, cabinet->CabinetNr)) continue;
        CX_TRACE(5, "\n  PROD %s VEND %s VSN %s", entry.ProdName, entry.Vendor, entry.Version);
        if (!insert || entry.ProdName[0] == '\0') continue;
        MakeCurrent(*this, *cabinet);
        const bool description_defaulted =
            entry.CompType == kCompManagementCtrl && entry.ProdDescript[0] == '\0';
        if (description_defaulted) CopyEntryText(entry.ProdDescript, "Management Controller");
        InsertComponent(&entry);
        if (IsBoardManaged(entry)) {
            MgmtCompNr = NrComponents;
            CX_TRACE(5, "\n   (Mgmt CompNr: %d)", MgmtCompNr);
            continue;
        }
        char name[kEntryTextSize];
        const char* object =
            FirmwareObjectName(entry, cabinet->Index * count + i, description_defaulted, name);
        if (object != nullptr) InsertFirmwareObject(*this, object);
    }
}
