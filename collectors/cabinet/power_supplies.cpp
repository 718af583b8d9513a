// GetPowerSupplies: the power supply in every populated bay of one cabinet.
#include "base/file_debug.h"
#include "cabinet_steps.h"

void CCX_Agent::GetPowerSupplies(DWORD cabinet_nr) {
    using namespace cx::cabinet;
    CSwitchCommand command;
    Ask(*this, command, switch_op::kPowerSupplyCount, 0, 0, cabinet_nr);
    const DWORD bays = ByteAnswer(command);
    CX_TRACE(3, "\n  Number of PowerSupplies %d", bays);
    for (DWORD i = 0; i < bays && !StopRequested(*this); ++i) {
        Ask(*this, command, switch_op::kPowerSupplyStatus, 0, i, cabinet_nr);
        const DWORD status = ByteAnswer(command);
        if (status != 0) {
            CX_TRACE(3, "\n  Get PowerSupply %d", i);
            ComponentEntry entry;
            if (GetInfoBySwitch(&entry, "Info.PowerSupply", i, cabinet_nr) &&
                entry.ProdName[0] != '\0') {
                InsertComponent(&entry);
            }
        }
        CX_TRACE(3, "\n  Module %d Status %d", i, status);
    }
}
