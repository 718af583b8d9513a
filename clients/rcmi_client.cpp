// CRcmiClient::Reply: permission events switch the agent-wide flags; every event then goes on
// to the agent.
#include "clients/rcmi_client.h"

#include "base/file_debug.h"
#include "clients/rights_flags.h"

namespace {

constexpr DWORD kPermissionEvent = 0xE002;

struct PermissionFlag {
    DWORD op_code_ext;
    std::atomic<BYTE>* flag;
    const char* trace;
};

const PermissionFlag kPermissionFlags[] = {
    {0x3810, &SetAllowed, "\nCRcmiClient::Reply  : # MIB write %s! #"},
    {0x3811, &ShutdownIsAllowed, "\nCRcmiClient::Reply  : # MIB shutdown %s! #"},
    {0x3812, &DoAccountCheck, "\nCRcmiClient::Reply  : # MIB account check %s! #"},
};

}  // namespace

void CRcmiClient::Reply(CSwitchCommand* command) {
    const CmdHeader* frame = command->GetHeader();
    if (frame != nullptr && frame->OpCode == kPermissionEvent && frame->DataLength == 1) {
        BYTE value = command->GetByte(0);
        for (const PermissionFlag& entry : kPermissionFlags) {
            if (entry.op_code_ext != frame->OpCodeExt) continue;
            *entry.flag = value;
            CX_TRACE(2, entry.trace, value != 0 ? "enabled" : "disabled");
        }
    }
    if (m_ReplyHandler) m_ReplyHandler(command);
}
