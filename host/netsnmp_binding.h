// Conversion between net-snmp's variable lists and the host's neutral bindings.
#pragma once

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include "binding.h"

namespace cx::host {

Oid OidFromNetsnmp(const oid* name, size_t length);
Binding BindingFromVariable(const netsnmp_variable_list& variable);
// Sets the value (and, when `set_name`, the name) of `variable`; false when the value does not
// fit net-snmp's limits (an OID longer than MAX_OID_LEN).
bool StoreBinding(const Binding& binding, bool set_name, netsnmp_variable_list* variable);
// Appends `binding` to a notification's variable list; false when it cannot be carried.
bool AppendBinding(const Binding& binding, netsnmp_variable_list** list);

}  // namespace cx::host
