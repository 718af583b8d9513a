// The sockets a process holds, as the kernel lists them under /proc: what a daemon listens on
// and where its sockets are bound.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace cx::test {

struct ProcessSocket {
    std::string protocol;  // "tcp", "tcp6", "udp" or "udp6"
    std::string address;   // the local address as inet_ntop writes it
    int port = 0;
};

// The IP sockets of process `pid` (its descriptors matched with its network namespace's tables).
std::vector<ProcessSocket> ProcessSockets(pid_t pid);

}  // namespace cx::test
