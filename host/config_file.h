// The administrator's --config file: whether the host may read it as it is.
#pragma once

#include <string>

namespace cx::host {

// Why the host does not start with `path` as its --config file; empty when it may. A file that
// every user of the machine may read must not hold createUser lines: their pass phrases are
// the SNMPv3 users' keys.
std::string ConfigFileProblem(const std::string& path);

}  // namespace cx::host
