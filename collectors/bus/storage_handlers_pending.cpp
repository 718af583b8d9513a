// The storage handlers the bus collector offers its controllers to. Until the storage
// collectors are written, none takes a controller, so every one is recorded generically.
#include "inventory/cx_agent.h"

BOOL CCX_Agent::GetTvcRaidCtrl(ScsiCtrl*) { return 0; }
BOOL CCX_Agent::GetLSIType(ComponentEntry*, ScsiCtrl*) { return 0; }
BOOL CCX_Agent::GetMylexType(ComponentEntry*, ScsiCtrl*) { return 0; }
BOOL CCX_Agent::GetDPTType(ComponentEntry*, ScsiCtrl*) { return 0; }
BOOL CCX_Agent::GetLSISATAType(ComponentEntry*, ScsiCtrl*) { return 0; }
BOOL CCX_Agent::GetAICType(ComponentEntry*, ScsiCtrl*) { return 0; }
