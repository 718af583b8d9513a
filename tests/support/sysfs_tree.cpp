// Writes recorded sysfs trees of invented PCI functions.
#include "sysfs_tree.h"

#include <filesystem>

#include "child_process.h"

namespace cx::test {

const char kTestPciIds[] =
    "# Invented IDs for tests\n"
    "7391  Catalix\n"
    "\t0a01  Q47120-N1 Network Adapter\n"
    "\t0a02  Q47120-S2 Storage Controller\n"
    "7392  Arvenmark\n"
    "C 01  Mass storage controller\n"
    "\t07  Serial Attached SCSI controller\n"
    "C 02  Network controller\n"
    "\t00  Ethernet controller\n";

void WritePciFunction(const std::string& root, const FakePciFunction& f) {
    const std::string dir = root + "/sys/bus/pci/devices/" + f.address;
    std::filesystem::create_directories(dir);
    if (f.vendor) WriteFile(dir + "/vendor", *f.vendor + "\n");
    WriteFile(dir + "/device", f.device + "\n");
    WriteFile(dir + "/class", f.class_code + "\n");
    if (f.resource) WriteFile(dir + "/resource", *f.resource);
    if (f.irq) WriteFile(dir + "/irq", *f.irq);
    if (!f.config.empty()) WriteFile(dir + "/config", f.config);
    if (!f.mac.empty()) {
        std::filesystem::create_directories(dir + "/net/eth0");
        WriteFile(dir + "/net/eth0/address", f.mac + "\n");
    }
}

void WritePciSlot(const std::string& root, const std::string& name, const std::string& address) {
    const std::string dir = root + "/sys/bus/pci/slots/" + name;
    std::filesystem::create_directories(dir);
    WriteFile(dir + "/address", address + "\n");
}

}  // namespace cx::test
