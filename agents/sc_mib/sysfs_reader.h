// Gathers the facts of the machine's PCI functions for SC_MIB: libpci lists the functions and
// their identification below the system root and names them from the ID database; the small
// sysfs files (resource, irq, network address, slots) are read here as they are.
#pragma once

#include <string>
#include <vector>

#include "pci_tables.h"

namespace cx::scmib {

struct ReaderOptions {
    std::string sys_root;  // prefixes /sys; empty for the machine's own
    std::string ids_file;  // the ID database; empty for libpci's default
};

struct ReadResult {
    std::vector<PciFunction> functions;  // in address order
    std::vector<std::string> problems;   // what libpci reported, and functions left out
};

ReadResult ReadPciFunctions(const ReaderOptions& options);

}  // namespace cx::scmib
