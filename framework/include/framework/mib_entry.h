// What an entry of an agent's MIB carries besides its binding and name: its access and the
// agent's callbacks (kept by MibStore).
#pragma once

#include <functional>

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
