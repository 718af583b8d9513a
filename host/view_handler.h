// Registers the views of an extension agent with net-snmp and answers their requests.
#pragma once

#include "extension_agent.h"

namespace cx::host {

// Registers every view of `agent`; returns how many were registered. A view another agent
// registered first is logged and left to that agent.
int RegisterViews(ExtensionAgent& agent);
// Removes the registrations of `agent` so that no request reaches it any more.
void UnregisterViews(ExtensionAgent& agent);

}  // namespace cx::host
