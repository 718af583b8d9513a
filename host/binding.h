// Where the two sides of the host meet: the neutral binding of platform/snmp_value.h and the
// outcome of one query. Statuses and request types are snmpapi's (platform/snmp_status.h).
#pragma once

#include "platform/snmp_status.h"
#include "platform/snmp_value.h"

#include <cstdint>
#include <string>
#include <vector>

namespace cx::host {

using cx::snmp::Binding;
using cx::snmp::Oid;

// The outcome of one SnmpExtensionQuery call.
struct QueryOutcome {
    bool result = false;
    long error_status = SNMP_ERRORSTATUS_NOERROR;
    long error_index = 0;  // 1-based, as the agent reported it
};

// True when `prefix` is a prefix of (or equal to) `oid`.
bool OidStartsWith(const Oid& oid, const Oid& prefix);
// Dotted text ("1.3.6.1"), for log lines.
std::string OidText(const Oid& oid);

}  // namespace cx::host
