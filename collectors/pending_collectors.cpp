// The collectors that have not been written yet. Each does nothing, so a scan writes the
// inventory's common part, its definitions and what the written collectors find.
#include "inventory/cx_agent.h"

void CCX_Agent::InsertOSInfo() {}
void CCX_Agent::InsertDriver() {}
void CCX_Agent::InitSCSI() {}
void CCX_Agent::InsertAgents() {}
