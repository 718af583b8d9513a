// Recorded sysfs trees of PCI functions for tests and benchmarks: the files the server-control
// agent and cx-switchd --linux read, below a root of the test's choosing, with invented devices.
#pragma once

#include <optional>
#include <string>

namespace cx::test {

struct FakePciFunction {
    std::string address;  // "0000:00:03.0"
    std::optional<std::string> vendor = "0x7391";
    std::string device = "0x0a01";
    std::string class_code = "0x020000";
    std::optional<std::string> resource;
    std::optional<std::string> irq;
    std::string mac;  // net/eth0/address when not empty
    std::string config;
};

// Writes <root>/sys/bus/pci/devices/<address>/... (a "vendor" of nullopt is left out, as for
// a function that went away after it was listed).
void WritePciFunction(const std::string& root, const FakePciFunction& function);
// Writes <root>/sys/bus/pci/slots/<name>/address.
void WritePciSlot(const std::string& root, const std::string& name, const std::string& address);

// An ID database of invented vendors, devices and the class names the tests use.
extern const char kTestPciIds[];

}  // namespace cx::test

namespace cx::test {

// Storage devices below a PCI function's directory <root>/sys/devices/pci0000:00/<pci>, linked
// from where the kernel lists them.
struct FakeScsiDevice {
    std::string pci = "0000:00:1f.2";  // the controller
    std::string address = "0:0:0:0";   // H:C:T:L
    std::string ata;                   // "ata1": the host sits below a libata port
    std::optional<std::string> vendor = "Arvenmark";
    std::optional<std::string> model = "Catalix D1";
    std::optional<std::string> rev = "A1";
    std::optional<std::string> type = "0";
    std::string block;  // "sda"; empty for a device without one
};
// <pci>/[<ata>/]host<H>/target<H:C:T>/<H:C:T:L> with its files, linked from
// /sys/bus/scsi/devices; its block device (block/<name>, "device" back up) from /sys/block.
void WriteScsiDevice(const std::string& root, const FakeScsiDevice& device);
// <pci>/nvme/nvme<controller> with "model" and "firmware_rev", linked from /sys/class/nvme,
// and its namespace <block> (with "nsid" unless empty) linked from /sys/block.
void WriteNvmeNamespace(const std::string& root, const std::string& pci, unsigned controller,
                        const std::string& block, const std::string& nsid,
                        const std::string& model = "Catalix N7",
                        const std::string& firmware = "Q47120-F");
// <pci>/<via>/block/<name> ("virtio1" for a virtio disk), linked from /sys/block.
void WriteBlockDisk(const std::string& root, const std::string& pci, const std::string& via,
                    const std::string& name);

}  // namespace cx::test
