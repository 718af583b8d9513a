// The manager sessions this process has open, as the SNMP service host sees them: a request
// that comes from one of them is the host's own agents asking, not a manager from outside.
#pragma once

#include <sys/socket.h>

#include <cstddef>

// True when `source` (a sockaddr_in or sockaddr_in6 of `length` bytes) is the local address of
// a manager session of this process that is open now. Only sessions to a loopback agent
// qualify: they are bound to the loopback address, where no other host can send from.
bool CxIsOwnManagerSession(const sockaddr* source, std::size_t length);
