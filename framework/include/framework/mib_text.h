// Trace renderings of binding values and bindings.
#pragma once

#include "platform/snmp.h"

// "INTEGER: 5 (0x5)", "STRING: \"text\"", hexadecimal pairs for unprintable octets, ... The
// text lives in a 1024-byte buffer of the calling thread that the next call overwrites.
const char* VarBindValueText(const AsnAny* value);

// "Oid=1.3.6.1, Value=INTEGER: 5 (0x5)", in a second buffer of the calling thread.
const char* VarBindText(const SnmpVarBind* binding);
