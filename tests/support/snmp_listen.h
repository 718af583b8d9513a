// The SNMP service settings that have extagentd listen on 127.0.0.1 at a given port, with
// "public" as a read-only community; the agents' own manager sessions, given an address without
// a port, take the same port from there.
#pragma once

#include <string>

#include "registry_values.h"

namespace cx::test {

inline constexpr const char* kSnmpParameters =
    "SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters";

inline void ListenOnLoopback(int port) {
    SetRegDword(kSnmpParameters, "UdpPort", static_cast<DWORD>(port));
    SetRegString(kSnmpParameters, "ListenAddress", "127.0.0.1");
    SetRegDword(std::string(kSnmpParameters) + "\\ValidCommunities", "public", 4);
}

}  // namespace cx::test
