// The net-snmp configuration lines that carry the host's communities, permitted managers and
// trap destinations.
#pragma once

#include <string>
#include <vector>

#include "host_config.h"

namespace cx::host {

// One line per community and permitted manager ("rocommunity public 10.0.0.1"; "rocommunity6"
// for an IPv6 manager, both for every manager), then one per trap destination ("trapsink
// host:162 public", "trap2sink host public"). Names net-snmp's configuration syntax cannot carry
// safely are left out and reported in `rejected`.
std::vector<std::string> AccessConfigLines(const HostConfig& config,
                                           std::vector<std::string>* rejected);

}  // namespace cx::host
