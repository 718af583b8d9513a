// The agent library's factory hook: the one CCX_Agent of the process, scanning with the
// Catalix collectors.
#include "collectors/catalix_collectors.h"
#include "framework/agent_globals.h"
#include "inventory/cx_agent.h"

CSnmpAgent* CreateSnmpAgent() {
    CSnmpAgent* agent = nullptr;
    return CreateCatalixAgent(&agent, CatalixCollectors()) ? agent : nullptr;
}
