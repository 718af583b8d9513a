// The host's checks in front of net-snmp's request handling: malformed v1 messages, requests
// over the binding limit, GETBULKs over the answer bounds, and the host's own agents asking.
#pragma once

#include "host_config.h"

namespace cx::host {

// Puts the checks in front of every listening session the engine has opened. `limits` gives
// the binding limit; the GETBULK bounds are net-snmp's maxGetbulkRepeats and
// maxGetbulkResponses, which the host sets and a --config file may change.
void GuardRequests(const RequestLimits& limits);

}  // namespace cx::host
