// The SNMP service's extension-agent types and utility functions (snmpapi), with the Windows
// layouts and memory rules: everything a list or value points to comes from SnmpUtilMemAlloc
// and is released by the matching SnmpUtil*Free.
//
// The ASN constants share names with net-snmp's macros; translation units that include
// net-snmp headers do not include this one (the host bridges the two in separate files) but may
// include platform/snmp_status.h.
#pragma once

#include "platform/snmp_status.h"
#include "platform/windef.h"

using AsnInteger32 = LONG;
using AsnUnsigned32 = UINT;
using AsnCounter32 = UINT;
using AsnGauge32 = UINT;
using AsnTimeticks = UINT;
using AsnInteger = AsnInteger32;
using AsnCounter = AsnCounter32;
using AsnGauge = AsnGauge32;

union AsnCounter64 {
    struct {
        DWORD LowPart;
        DWORD HighPart;
    };
    ULONGLONG QuadPart;
};

struct AsnOctetString {
    BYTE* stream;
    UINT length;
    BOOL dynamic;  // TRUE: stream was allocated with SnmpUtilMemAlloc and is freed with the value
};
using AsnBits = AsnOctetString;
using AsnSequence = AsnOctetString;
using AsnImplicitSequence = AsnOctetString;
using AsnIPAddress = AsnOctetString;
using AsnNetworkAddress = AsnOctetString;
using AsnDisplayString = AsnOctetString;
using AsnOpaque = AsnOctetString;

struct AsnObjectIdentifier {
    UINT idLength;
    UINT* ids;
};
using AsnObjectName = AsnObjectIdentifier;

struct AsnAny {
    BYTE asnType;
    union {
        AsnInteger32 number;
        AsnUnsigned32 unsigned32;
        AsnCounter64 counter64;
        AsnOctetString string;
        AsnBits bits;
        AsnObjectIdentifier object;
        AsnSequence sequence;
        AsnIPAddress address;
        AsnCounter32 counter;
        AsnGauge32 gauge;
        AsnTimeticks ticks;
        AsnOpaque arbitrary;
    } asnValue;
};
using AsnObjectSyntax = AsnAny;

struct SnmpVarBind {
    AsnObjectName name;
    AsnObjectSyntax value;
};

struct SnmpVarBindList {
    SnmpVarBind* list;
    UINT len;
};

using RFC1157VarBind = SnmpVarBind;
using RFC1157VarBindList = SnmpVarBindList;

// ASN.1 tags.
#define ASN_UNIVERSAL 0x00
#define ASN_APPLICATION 0x40
#define ASN_CONTEXT 0x80
#define ASN_PRIVATE 0xC0
#define ASN_PRIMITIVE 0x00
#define ASN_CONSTRUCTOR 0x20

#define ASN_INTEGER 0x02
#define ASN_BITS 0x03
#define ASN_OCTETSTRING 0x04
#define ASN_NULL 0x05
#define ASN_OBJECTIDENTIFIER 0x06
#define ASN_INTEGER32 ASN_INTEGER
#define ASN_SEQUENCE 0x30
#define ASN_SEQUENCEOF ASN_SEQUENCE
#define ASN_IPADDRESS 0x40
#define ASN_COUNTER32 0x41
#define ASN_GAUGE32 0x42
#define ASN_TIMETICKS 0x43
#define ASN_OPAQUE 0x44
#define ASN_COUNTER64 0x46
#define ASN_UNSIGNED32 0x47

#define ASN_RFC1155_IPADDRESS ASN_IPADDRESS
#define ASN_RFC1155_COUNTER ASN_COUNTER32
#define ASN_RFC1155_GAUGE ASN_GAUGE32
#define ASN_RFC1155_TIMETICKS ASN_TIMETICKS
#define ASN_RFC1155_OPAQUE ASN_OPAQUE
#define ASN_RFC1213_DISPSTRING ASN_OCTETSTRING

#define SNMP_EXCEPTION_NOSUCHOBJECT 0x80
#define SNMP_EXCEPTION_NOSUCHINSTANCE 0x81
#define SNMP_EXCEPTION_ENDOFMIBVIEW 0x82

#define ASN_RFC1157_GETREQUEST SNMP_PDU_GET
#define ASN_RFC1157_GETNEXTREQUEST SNMP_PDU_GETNEXT
#define ASN_RFC1157_GETRESPONSE SNMP_PDU_RESPONSE
#define ASN_RFC1157_SETREQUEST SNMP_PDU_SET
#define ASN_RFC1157_TRAP SNMP_PDU_V1TRAP

// Extension-agent set phases.
#define SNMP_EXTENSION_GET SNMP_PDU_GET
#define SNMP_EXTENSION_GET_NEXT SNMP_PDU_GETNEXT
#define SNMP_EXTENSION_GET_BULK SNMP_PDU_GETBULK
#define SNMP_EXTENSION_SET_TEST (ASN_PRIVATE | ASN_CONSTRUCTOR | 0x0)
#define SNMP_EXTENSION_SET_COMMIT SNMP_PDU_SET
#define SNMP_EXTENSION_SET_UNDO (ASN_PRIVATE | ASN_CONSTRUCTOR | 0x1)
#define SNMP_EXTENSION_SET_CLEANUP (ASN_PRIVATE | ASN_CONSTRUCTOR | 0x2)

// Beside the five entry points, the agents of our framework export CxExtensionLookup
// (DWORD (AsnObjectIdentifier* name)): what the agent's MIB holds at a name. A host looks it up
// by name and does without it.
#define CX_LOOKUP_NO_OBJECT_TYPE 0  // no object type of the MIB is a prefix of the name
#define CX_LOOKUP_NO_INSTANCE 1     // an object type is, but no object has that name
#define CX_LOOKUP_INSTANCE 2        // an object has that name

#define SNMP_GENERICTRAP_COLDSTART 0
#define SNMP_GENERICTRAP_WARMSTART 1
#define SNMP_GENERICTRAP_LINKDOWN 2
#define SNMP_GENERICTRAP_LINKUP 3
#define SNMP_GENERICTRAP_AUTHFAILURE 4
#define SNMP_GENERICTRAP_EGPNEIGHLOSS 5
#define SNMP_GENERICTRAP_ENTERSPECIFIC 6

#define SNMPAPI_NOERROR TRUE
#define SNMPAPI_ERROR FALSE
using SNMPAPI = INT;

// Memory: zero-filled; Free accepts NULL; ReAlloc keeps the old block when it fails.
LPVOID SnmpUtilMemAlloc(UINT bytes);
LPVOID SnmpUtilMemReAlloc(LPVOID memory, UINT bytes);
void SnmpUtilMemFree(LPVOID memory);

SNMPAPI SnmpUtilOidCpy(AsnObjectIdentifier* destination, const AsnObjectIdentifier* source);
// Sub-identifier by sub-identifier; when one is a prefix of the other the shorter is less.
INT SnmpUtilOidCmp(const AsnObjectIdentifier* first, const AsnObjectIdentifier* second);
// As SnmpUtilOidCmp over at most `count` sub-identifiers.
INT SnmpUtilOidNCmp(const AsnObjectIdentifier* first, const AsnObjectIdentifier* second,
                    UINT count);
void SnmpUtilOidFree(AsnObjectIdentifier* oid);

SNMPAPI SnmpUtilOctetsCpy(AsnOctetString* destination, const AsnOctetString* source);
void SnmpUtilOctetsFree(AsnOctetString* octets);

SNMPAPI SnmpUtilAsnAnyCpy(AsnAny* destination, const AsnAny* source);
void SnmpUtilAsnAnyFree(AsnAny* any);
SNMPAPI SnmpUtilVarBindCpy(SnmpVarBind* destination, const SnmpVarBind* source);
void SnmpUtilVarBindFree(SnmpVarBind* varbind);
SNMPAPI SnmpUtilVarBindListCpy(SnmpVarBindList* destination, const SnmpVarBindList* source);
void SnmpUtilVarBindListFree(SnmpVarBindList* list);
