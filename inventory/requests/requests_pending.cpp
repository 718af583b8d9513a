// Placeholder until the information requests land.
#include "inventory/cx_agent.h"

void CCX_Agent::SwitchRequest(CSwitchCommand*) {}
const char* CCX_Agent::GetMethod(const char*) { return ""; }
BOOL CCX_Agent::GetInfoBySwitch(ComponentEntry*, const char*, DWORD, DWORD) { return FALSE; }
BOOL CCX_Agent::GetSwitchValue(const char*, const char*, char*, DWORD, DWORD, DWORD, DWORD) {
    return FALSE;
}
void CCX_Agent::GetInfoBySnmp(ComponentEntry*, CSnmpMgr*, const char*, LONG) {}
void CCX_Agent::GetSnmpValue(CSnmpMgr*, const char*, const char*, char*, DWORD, LONG) {}
BOOL CCX_Agent::CheckMib(const char*, WORD) { return FALSE; }
BOOL CCX_Agent::CheckAgent(const char*) { return FALSE; }
