// SWITCH requests of the inventory agent: one command on the agent's own client, and the
// component texts that the request table says to ask from SWITCH.
#include <cstdlib>
#include <cstring>

#include "clients/transport_faults.h"
#include "inventory/cx_agent.h"
#include "request_trace.h"

namespace {

// A component from SWITCH never shows an empty vendor or version: an empty Vendor, and a
// Version that is empty or begins with a blank, read "N/A".
void ApplyNotAvailable(ComponentEntry* entry) {
    if (entry->Vendor[0] == '\0') CopyText(entry->Vendor, kEntryTextSize, "N/A");
    if (entry->Version[0] == '\0' || entry->Version[0] == ' ') {
        CopyText(entry->Version, kEntryTextSize, "N/A");
    }
}

}  // namespace

void CCX_Agent::SwitchRequest(CSwitchCommand* command) {
    if (command == nullptr) return;
    const CmdHeader* request = command->GetHeader();
    if (request != nullptr && request->CabinetId == CMD_CABINET_SERVER) {
        command->SetCabinetId(ServerCabinetNr);
    }
    m_SwitchClient.SendCommand(command, 0, 0, 0);
    // The reply may have replaced the frame.
    const CmdHeader* reply = command->GetHeader();
    if (command->IsOk(0, FALSE)) {
        SWITCH_REQUEST_TRACE(5, "O.K. (len %d)", static_cast<int>(reply->DataLength));
        return;
    }
    const DWORD status = reply != nullptr ? reply->Status : CMD_STATUS_NO_FRAME;
    SWITCH_REQUEST_TRACE(1, "CmdStat[%02X] DatLen[%04X]", status,
                         reply != nullptr ? reply->DataLength : 0u);
    // Not delivered, by this client or by the server that could not reach its own source: no
    // answer about the machine at all.
    if (status == CMD_STATUS_NOT_DELIVERED || status == CMD_STATUS_NO_FRAME) {
        CTransportFaults::Report();
    }
}

const char* CCX_Agent::GetMethod(const char* section) {
    const char* method = m_RequestTable.ReadString(section, "Method", "");
    REQUEST_TRACE(2, "Get %s by %s", section != nullptr ? section : "", method);
    return method;
}

BOOL CCX_Agent::GetInfoBySwitch(ComponentEntry* entry, const char* section, DWORD object_id,
                                DWORD cabinet_id) {
    if (entry == nullptr) return FALSE;
    entry->Clear();
    if (std::strstr(m_RequestTable.ReadString(section, "Method", ""), "SWITCH") == nullptr) {
        REQUEST_DETAIL(1, "   !!! Invalid request type");
        return FALSE;
    }
    entry->CompType = m_RequestTable.ReadInt(section, "Class", 0);
    if (m_RequestTable.ReadString(section, "OpCode", "")[0] == '\0') {
        REQUEST_DETAIL(1, "   !!! NO OPCODE RECEIVED");
        return FALSE;
    }
    const DWORD op_code = m_RequestTable.ReadInt(section, "OpCode", 0) & 0xFFFF;
    for (const InfoField& field : kInfoFields) {
        GetSwitchValue(section, field.key, entry->*field.text, kEntryTextSize, op_code, object_id,
                       cabinet_id);
    }
    ApplyNotAvailable(entry);
    return TRUE;
}

BOOL CCX_Agent::GetSwitchValue(const char* section, const char* key, char* text, DWORD size,
                               DWORD op_code, DWORD object_id, DWORD cabinet_id) {
    const char* value = m_RequestTable.ReadString(section, key, "");
    if (value[0] == '\0' || std::strstr(value, "0x") == nullptr) {
        // Empty or literal text: nothing to ask.
        CopyText(text, size, value);
        return FALSE;
    }
    const DWORD item_code = std::strtoul(value, nullptr, 16) & 0xFFFF;
    CSwitchCommand command;
    if (op_code != 0) {
        command.SetRequest(op_code, item_code, object_id, cabinet_id, CMD_STATUS_REQUEST);
    } else {
        command.SetRequest(item_code, 0, object_id, cabinet_id, CMD_STATUS_REQUEST);
    }
    SwitchRequest(&command);
    if (!command.IsOk(0, FALSE)) {
        CopyText(text, size, "");
        return FALSE;
    }
    const DWORD received = command.GetHeader()->DataLength;
    const char* reply = command.GetDataString();
    if (received > size) {
        REQUEST_TRACE(1, "WARNING! String \"%s\" (length %d) truncated to %d charaters!", reply,
                      static_cast<int>(received - 1), static_cast<int>(size));
    }
    CopyText(text, size, reply);
    return TRUE;
}
