// The cabinet collector's shared helpers: one SWITCH request, its byte and text answers, the
// stop check, the current containers and the text tests of the collector's rules.
#include <cstring>

#include "base/file_debug.h"
#include "cabinet_steps.h"
#include "framework/agent_globals.h"

namespace cx::cabinet {

void Ask(CCX_Agent& agent, CSwitchCommand& command, DWORD op_code, DWORD op_code_ext,
         DWORD object_id, DWORD cabinet_id) {
    command.SetRequest(op_code, op_code_ext, object_id, cabinet_id, CMD_STATUS_REQUEST);
    agent.SwitchRequest(&command);
}

BYTE ByteAnswer(const CSwitchCommand& command) {
    return command.IsOk(1, FALSE) ? command.GetByte(0) : 0;
}

void TextAnswer(CSwitchCommand& command, char* field, const char* fallback) {
    CopyEntryText(field, command.IsOk(0, FALSE) ? command.GetDataString() : fallback);
}

bool StopRequested(const CCX_Agent& agent) {
    return AgentShutdown.load() != 0 || agent.m_bAbortRequest.load() != 0;
}

void MakeCurrent(CCX_Agent& agent, const CabinetRecord& cabinet) {
    agent.CurPhysContainer = cabinet.PhysCont;
    agent.CurFuncContainer = cabinet.FuncCont;
}

bool StartsWith(const char* text, const char* prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

bool MethodIs(CCX_Agent& agent, const char* section, const char* method) {
    const char* value = agent.GetMethod(section);
    return value != nullptr && std::strstr(value, method) != nullptr;
}

void InsertFirmwareObject(CCX_Agent& agent, const char* name) {
    FwUpdateObject object(name);
    agent.InsertFwUpdateObject(&object);
}

}  // namespace cx::cabinet
