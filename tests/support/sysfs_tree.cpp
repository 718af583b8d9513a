// Writes recorded sysfs trees of invented PCI functions.
#include "sysfs_tree.h"

#include <cstdio>
#include <filesystem>

#include "child_process.h"

namespace cx::test {

const char kTestPciIds[] =
    "# Invented IDs for tests\n"
    "7391  Catalix\n"
    "\t0a01  Q47120-N1 Network Adapter\n"
    "\t0a02  Q47120-S2 Storage Controller\n"
    "7392  Arvenmark Systems, Inc.\n"
    "7394  Q47 Data Systems Ltd.\n"
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

namespace cx::test {
namespace {

namespace fs = std::filesystem;

std::string DeviceDir(const std::string& root, const std::string& pci) {
    return root + "/sys/devices/pci0000:00/" + pci;
}

// <root>/sys/<list>/<name> -> target, as the kernel links its lists.
void LinkFrom(const std::string& root, const std::string& list, const std::string& name,
              const std::string& target) {
    fs::create_directories(root + "/sys/" + list);
    fs::create_directory_symlink(target, root + "/sys/" + list + "/" + name);
}

// <dir>/block/<name> with "device" pointing back at <dir>, linked from /sys/block.
void WriteBlock(const std::string& root, const std::string& dir, const std::string& name) {
    const std::string block = dir + "/block/" + name;
    fs::create_directories(block);
    WriteFile(block + "/size", "2097152\n");
    fs::create_directory_symlink(dir, block + "/device");
    LinkFrom(root, "block", name, block);
}

}  // namespace

void WriteScsiDevice(const std::string& root, const FakeScsiDevice& d) {
    unsigned host = 0, channel = 0, target = 0;
    std::sscanf(d.address.c_str(), "%u:%u:%u", &host, &channel, &target);
    const std::string h = std::to_string(host);
    const std::string dir = DeviceDir(root, d.pci) + (d.ata.empty() ? "" : "/" + d.ata) + "/host" +
                            h + "/target" + h + ":" + std::to_string(channel) + ":" +
                            std::to_string(target) + "/" + d.address;
    fs::create_directories(dir);
    const std::pair<const char*, const std::optional<std::string>*> files[] = {
        {"vendor", &d.vendor}, {"model", &d.model}, {"rev", &d.rev}, {"type", &d.type}};
    for (const auto& [name, text] : files)
        if (*text) WriteFile(dir + "/" + name, **text + "\n");
    LinkFrom(root, "bus/scsi/devices", d.address, dir);
    if (!d.block.empty()) WriteBlock(root, dir, d.block);
}

void WriteNvmeNamespace(const std::string& root, const std::string& pci, unsigned controller,
                        const std::string& block, const std::string& nsid, const std::string& model,
                        const std::string& firmware) {
    const std::string name = "nvme" + std::to_string(controller);
    const std::string dir = DeviceDir(root, pci) + "/nvme/" + name;
    if (!fs::exists(dir)) {
        fs::create_directories(dir);
        WriteFile(dir + "/model", model + "\n");
        WriteFile(dir + "/firmware_rev", firmware + "\n");
        fs::create_directory_symlink(DeviceDir(root, pci), dir + "/device");
        LinkFrom(root, "class/nvme", name, dir);
    }
    WriteBlock(root, dir, block);
    if (!nsid.empty()) WriteFile(dir + "/block/" + block + "/nsid", nsid + "\n");
}

void WriteBlockDisk(const std::string& root, const std::string& pci, const std::string& via,
                    const std::string& name) {
    const std::string dir = DeviceDir(root, pci) + (via.empty() ? "" : "/" + via);
    fs::create_directories(dir);
    WriteBlock(root, dir, name);
}

}  // namespace cx::test
