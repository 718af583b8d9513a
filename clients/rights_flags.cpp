// The agent-wide permission flags; they live with the SWITCH client, which updates them.
#include "clients/rights_flags.h"

std::atomic<BYTE> SetAllowed{0};
std::atomic<BYTE> ShutdownIsAllowed{0};
std::atomic<BYTE> DoAccountCheck{0};
