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
