// The steps of the cabinet collector and the small SWITCH helpers they share. The steps are free
// functions on the agent: the agent's class names only the collector's entry points.
#pragma once

#include <vector>

#include "clients/component_types.h"
#include "clients/switch_protocol.h"
#include "inventory/cx_agent.h"
#include "platform/ascii_case.h"

namespace cx::cabinet {

using CabinetList = std::vector<CabinetRecord>;

// One request (OpCode, OpCodeExt, ObjectId, CabinetId) through the agent's SWITCH client; the
// reply stays in `command`.
void Ask(CCX_Agent& agent, CSwitchCommand& command, DWORD op_code, DWORD op_code_ext,
         DWORD object_id, DWORD cabinet_id);
// Data byte 0 of a reply of exactly one byte; 0 for anything else.
BYTE ByteAnswer(const CSwitchCommand& command);
// The reply's text into a 128-byte field, or `fallback` when there is no text.
void TextAnswer(CSwitchCommand& command, char* field, const char* fallback);

// TRUE when the agent is shutting down or the scan is asked to stop.
bool StopRequested(const CCX_Agent& agent);
// Makes the cabinet's containers the ones the next components land in.
void MakeCurrent(CCX_Agent& agent, const CabinetRecord& cabinet);
// Text helpers of the collector's rules.
bool StartsWith(const char* text, const char* prefix);
bool MethodIs(CCX_Agent& agent, const char* section, const char* method);
// Inserts a firmware-update object for the component written last.
void InsertFirmwareObject(CCX_Agent& agent, const char* name);

// The steps of InitCabinets, in their order. `root` is the computer's container in both trees
// (0 when the computer's name could not be read).
DWORD InsertComputer(CCX_Agent& agent);
CabinetList ListCabinets(CCX_Agent& agent);
void InsertCabinets(CCX_Agent& agent, CabinetList& cabinets, DWORD root);
void InsertChassis(CCX_Agent& agent, CabinetList& cabinets, DWORD root);
void InsertPower(CCX_Agent& agent, CabinetList& cabinets);
void CheckBladeSystem(CCX_Agent& agent, CabinetList& cabinets);
void InsertServiceBoards(CCX_Agent& agent, CabinetList& cabinets);
void InsertCabinetComponents(CCX_Agent& agent, CabinetList& cabinets);
void InsertUps(CCX_Agent& agent, const CabinetList& cabinets, CSnmpMgr& manager);
void InsertBaseBoards(CCX_Agent& agent);
void InsertBios(CCX_Agent& agent);
void InsertProcessors(CCX_Agent& agent);
void InsertMemory(CCX_Agent& agent);

}  // namespace cx::cabinet
