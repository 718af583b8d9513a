// CRcmiClient::Reply: permission events switch the agent-wide flags; every event then goes on
// to the agent.
#include "clients/rcmi_client.h"

#include "base/file_debug.h"
#include "clients/rights_flags.h"
#include "clients/switch_protocol.h"

void CRcmiClient::Reply(CSwitchCommand* command) {
    const CmdHeader* frame = command->GetHeader();
    if (frame != nullptr && frame->OpCode == switch_op::kPermissionEvent &&
        frame->DataLength == 1) {
        BYTE value = command->GetByte(0);
        for (const RightsFlag& entry : RightsFlags()) {
            if (entry.OpCodeExt != frame->OpCodeExt) continue;
            *entry.Flag = value;
            CX_TRACE(2, entry.EventTrace, value != 0 ? "enabled" : "disabled");
        }
    }
    if (m_ReplyHandler) m_ReplyHandler(command);
}
