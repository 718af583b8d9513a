// The SNMP Management API (mgmtapi): SNMPv1 manager sessions to an agent, with the binding lists
// and memory rules of snmpapi (platform/snmp.h).
#pragma once

#include "platform/snmp.h"

using LPSNMP_MGR_SESSION = LPVOID;

// Error codes of the manager calls (GetLastError after a failure).
#define SNMP_MGMTAPI_TIMEOUT 40
#define SNMP_MGMTAPI_SELECT_FDERRORS 41
#define SNMP_MGMTAPI_TRAP_ERRORS 42
#define SNMP_MGMTAPI_TRAP_DUPINIT 43
#define SNMP_MGMTAPI_NOTRAPS 44
#define SNMP_MGMTAPI_AGAIN 45
#define SNMP_MGMTAPI_INVALID_CTL 46
#define SNMP_MGMTAPI_INVALID_SESSION 47
#define SNMP_MGMTAPI_INVALID_BUFFER 48

// Opens a session to the agent at `agent_address` ("host" or "host:port"; without a port the
// SNMP service's UdpPort from the registry, default 161) with `community`. Each request waits
// `timeout_ms` for the answer and is sent again up to `retries` times. NULL on failure.
LPSNMP_MGR_SESSION SnmpMgrOpen(LPCSTR agent_address, LPCSTR community, INT timeout_ms, INT retries);
// FALSE with SNMP_MGMTAPI_INVALID_SESSION for an unknown session. A
// request under way on another thread finishes first.
BOOL SnmpMgrClose(LPSNMP_MGR_SESSION session);
// Sends a GET, GETNEXT or SET with `bindings` and waits for the answer. When the agent answers
// without error, the names and values of `bindings` are replaced with the answer's (memory from
// SnmpUtilMemAlloc); with an error status they stay as sent. SNMPAPI_ERROR (GetLastError set)
// when no usable answer arrived: SNMP_MGMTAPI_TIMEOUT after timeout x (retries + 1).
SNMPAPI SnmpMgrRequest(LPSNMP_MGR_SESSION session, BYTE request_type, RFC1157VarBindList* bindings,
                       AsnInteger* error_status, AsnInteger* error_index);
