// Values and table indexes of variable bindings, as the MIB registration builds them.
#pragma once

#include <cstddef>

#include "platform/snmp.h"

// Replaces the binding's value by `value` of `asn_type`: INTEGER stores it signed; Counter32,
// Gauge32, TimeTicks and Unsigned32 unsigned; IpAddress as its four bytes in memory order. The
// old value is freed first, so any other type leaves a NULL value and gives FALSE.
BOOL SetVarBindValue(SnmpVarBind* binding, LONG value, BYTE asn_type);

// As SetVarBindValue from text (NULL counts as ""): the number types read a decimal number
// (leading blanks and a sign allowed, reading stops at the first other character), OCTET
// STRING takes the bytes without the terminating NUL, OBJECT IDENTIFIER parses dotted text,
// IpAddress takes the low bytes of the first four numbers of a dotted list. FALSE (and a NULL
// value) for fewer than four address numbers, unparsable OID text or any other type.
BOOL SetVarBindValueText(SnmpVarBind* binding, const char* text, BYTE asn_type);

// An OCTET STRING of `length` bytes, NULs included, replacing the old value. FALSE (and a NULL
// value) when the bytes cannot be copied.
BOOL SetVarBindOctets(SnmpVarBind* binding, const void* bytes, std::size_t length);

// Table objects are registered with placeholder sub-identifiers at the end of their OID; the
// given indexes replace those in order, index1 farthest from the end and the last given index
// last. An index of -1 is absent (the others close up towards the end); a position before the
// OID's start is not written.
void AppendTableIndex(AsnObjectIdentifier* oid, LONG index1, LONG index2, LONG index3, LONG index4,
                      LONG index5);

// A binding of the OID written as `oid_text` (the empty OID when the text does not parse) and
// a NULL value, ready for SetVarBindValue or SetVarBindValueText. Free it with
// SnmpUtilVarBindFree.
SnmpVarBind MakeConstBinding(const char* oid_text);
