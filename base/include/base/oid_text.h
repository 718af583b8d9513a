// Object identifiers as dotted text, and the names of request types and error statuses, for
// the program text and the trace.
#pragma once

#include "platform/snmp.h"

// Parses ".1.3.6.1" (leading blanks and one leading dot allowed; a component in double quotes
// is an octet-string index: its length, then one sub-identifier per character) into `oid`,
// whose old contents are freed. FALSE leaves `oid` empty.
BOOL StringToOid(const char* text, AsnObjectIdentifier* oid);

// The first `count` sub-identifiers (all when 0) as "1.3.6.1". The text lives in a buffer of
// the calling thread that the next call overwrites; it is meant for trace output.
const char* OidToString(const AsnObjectIdentifier* oid, UINT count);

const char* ErrorStatusText(LONG status);
const char* RequestTypeText(UINT type);
