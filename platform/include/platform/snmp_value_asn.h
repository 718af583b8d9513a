// The neutral binding of platform/snmp_value.h to and from the extension API's types, with
// memory from SnmpUtilMemAlloc.
#pragma once

#include "platform/snmp.h"
#include "platform/snmp_value.h"

namespace cx::snmp {

Oid OidFromAsn(const AsnObjectIdentifier& oid);
// Fills `to` (nothing to free beforehand); false when memory runs out, `to` then empty.
bool StoreOid(const Oid& from, AsnObjectIdentifier* to);
// Fills a fresh binding; false when memory runs out, with whatever was stored freed again.
// A type the extension API does not carry becomes NULL.
bool StoreBinding(const Binding& from, SnmpVarBind* to);

}  // namespace cx::snmp
