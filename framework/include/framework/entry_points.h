// The five extension-agent entry points, our lookup beside them, and the library entry point of
// an agent library.
#pragma once

#include "platform/snmp.h"

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

extern "C" {
BOOL SnmpExtensionInit(DWORD time_zero_reference, HANDLE* trap_event,
                       AsnObjectIdentifier* supported_view);
BOOL SnmpExtensionInitEx(AsnObjectIdentifier* supported_view);
BOOL SnmpExtensionQuery(BYTE request_type, SnmpVarBindList* bindings, AsnInteger32* error_status,
                        AsnInteger32* error_index);
BOOL SnmpExtensionTrap(AsnObjectIdentifier* enterprise, AsnInteger32* generic_trap,
                       AsnInteger32* specific_trap, AsnTimeticks* time_stamp,
                       SnmpVarBindList* bindings);
void SnmpExtensionClose();

// Beside the five, for hosts that know it: what the agent's MIB holds at `name`
// (CX_LOOKUP_*, platform/snmp.h), so that a host answers a name the agent lacks with RFC 3416's
// noSuchObject or noSuchInstance without asking the agent for it.
DWORD CxExtensionLookup(AsnObjectIdentifier* name);
}

BOOL DllMain(HMODULE module, DWORD reason, LPVOID reserved);
