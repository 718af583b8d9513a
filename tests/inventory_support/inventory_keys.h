// Registry keys and the SWITCH scenario lines that the inventory agent's tests arrange, in
// process and in the host alike.
#pragma once

namespace cx::test {

inline constexpr const char* kAgentParameters = "SOFTWARE\\Arvenmark\\CX_MIB\\Parameters";
// Where the server-control agent reports itself ready (AgentStatus).
inline constexpr const char* kReadinessKey =
    "SOFTWARE\\Arvenmark\\SC_MIB\\Subsystems\\Environment\\Parameters\\VolatileParameters";
// cx-switchd's answers to the three rights requests an agent asks at start.
inline constexpr const char* kRightsScenario =
    "reply 0xE001 0x3811 * * : byte 1\n"
    "reply 0xE001 0x3810 * * : byte 0\n"
    "reply 0xE001 0x3812 * * : byte 1\n";

}  // namespace cx::test
