// Conversion between the host's neutral bindings and the extension API's SnmpVarBindList.
#pragma once

#include <vector>

#include "binding.h"
#include "platform/snmp.h"
#include "platform/snmp_value_asn.h"

namespace cx::host {

using cx::snmp::OidFromAsn;
// Fills `list` (memory from SnmpUtilMemAlloc, freed with SnmpUtilVarBindListFree). False when
// memory runs out; the list is then empty.
bool VarBindListFromBindings(const std::vector<Binding>& bindings, SnmpVarBindList* list);
// The agent's answer; values of types the host cannot carry become NULL.
std::vector<Binding> BindingsFromVarBindList(const SnmpVarBindList& list);

}  // namespace cx::host
