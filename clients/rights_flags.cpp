// The agent-wide permission flags; they live with the SWITCH client, which updates them.
#include "clients/rights_flags.h"

std::atomic<BYTE> SetAllowed{0};
std::atomic<BYTE> ShutdownIsAllowed{0};
std::atomic<BYTE> DoAccountCheck{0};

namespace {

const RightsFlag kRightsFlags[] = {
    {0x3811, &ShutdownIsAllowed, "\n%-20s: Checking for SNMP shutdown allowed...",
     "\n%-20s:    ShutdownIsAllowed = %d", "\nCRcmiClient::Reply  : # MIB shutdown %s! #"},
    {0x3810, &SetAllowed, "\n%-20s: Checking for SNMP set allowed...",
     "\n%-20s:    SetAllowed = %d", "\nCRcmiClient::Reply  : # MIB write %s! #"},
    {0x3812, &DoAccountCheck, nullptr, "\n%-20s:    DoAccountCheck = %d",
     "\nCRcmiClient::Reply  : # MIB account check %s! #"},
};

}  // namespace

std::span<const RightsFlag> RightsFlags() { return kRightsFlags; }
