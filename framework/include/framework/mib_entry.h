// MibEntry: one object of an agent's MIB tree with its stored binding, trace name, access and
// the agent's callbacks.
#pragma once

#include <functional>
#include <memory>

#include "platform/snmp.h"

// The mode a callback is called with.
constexpr UINT kMibModeGet = 0;       // GET and GETNEXT
constexpr UINT kMibModeSet = 1;       // SET, second phase
constexpr UINT kMibModeCheckSet = 2;  // SET, first phase
constexpr UINT kMibModePreGet = 3;    // GET and GETNEXT, before kMibModeGet

// Access of an entry: read-write; every other value is read-only.
constexpr BYTE kMibAccessReadWrite = 2;

// A callback is called on the agent with the binding to fill or check and the mode, and
// returns an SNMP error status (0: no error). Usually a member function of the agent
// (&Agent::Method) or a lambda taking the agent; an empty one is absent.
template <class TAgent>
using MibCallback = std::function<AsnInteger32(TAgent&, SnmpVarBind*, UINT)>;

template <class TAgent>
struct MibCallbacks {
    MibCallback<TAgent> GetCallback;
    MibCallback<TAgent> SetCallback;
    MibCallback<TAgent> CheckSetCallback;
    MibCallback<TAgent> PreGetCallback;
};

template <class TAgent>
struct MibEntry {
    MibEntry() { Binding.value.asnType = ASN_NULL; }
    ~MibEntry() { SnmpUtilAsnAnyFree(&Binding.value); }
    MibEntry(const MibEntry&) = delete;
    MibEntry& operator=(const MibEntry&) = delete;

    // Absent when all four are: the constant entries that make up most of a MIB carry none,
    // and a large MIB stays small enough to be searched in the cache.
    std::unique_ptr<MibCallbacks<TAgent>> Callbacks;
    // The full OID, borrowed from the entry's key so that a large MIB keeps each OID once, and
    // the stored value, owned (SnmpUtilMem memory).
    SnmpVarBind Binding{};
    const char* Name = "";  // for the trace only; kept in the MIB's MibNames
    DWORD Access = 0;
    // How many sub-identifiers at the end of the OID name the instance: those of a table cell's
    // indexes, the last one of any other entry (a scalar's ".0"). The rest is the object type.
    BYTE InstanceLength = 1;
};
