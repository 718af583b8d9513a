// The RAID agent's version is read by the storage collectors; until they are here, it is
// never found.
#include "inventory/cx_agent.h"

BOOL CCX_Agent::GetTvcRaidVsn(ComponentEntry*) { return FALSE; }
