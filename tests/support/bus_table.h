// A bus table of the server management agent written as a walk, with the SWITCH scenario lines
// that answer the PCI configuration reads of its functions: what the bus collector's tests and
// benchmark serve it. Header only, so that benchmarks take it without the test libraries.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace cx::test {

inline constexpr const char* kServerManagementRegion = ".1.3.6.1.4.1.7391.2.10.2.2";
inline constexpr const char* kBusEntry = ".1.3.6.1.4.1.7391.2.10.2.2.4.1.4.1";

// What the configuration header of a function says; vendor -1: SWITCH cannot read it.
struct PciIds {
    int vendor = -1;
    int device = 0;
    int sub_vendor = 0;
    int sub_system = 0;
    int revision = 0;
    int header_type = 0;
};

// One row, numbered as the table numbers it (bus and function from 1).
struct BusDevice {
    int bus_type;
    int bus;
    int device;
    int function;
    int dev_class;
    const char* description;
    const char* name;
    const char* vendor;
    PciIds pci = {};
    const char* mac = nullptr;  // column 10 as walk text ("Hex-STRING: 00 0E"); nullptr: none
    int slot = 0;
};

inline std::string BusIndex(const BusDevice& d) {
    char index[64];
    std::snprintf(index, sizeof(index), ".%d.%d.%d.%d", d.bus_type, d.bus, d.device, d.function);
    return index;
}

// Columns 1 to 10, column by column, rows in the order given (the table's order).
inline std::string BusTableWalk(const std::vector<BusDevice>& devices) {
    std::string walk;
    auto line = [&](int column, const BusDevice& d, const std::string& value) {
        walk += kBusEntry + ("." + std::to_string(column)) + BusIndex(d) + " = " + value + "\n";
    };
    auto number = [](int n) { return "INTEGER: " + std::to_string(n); };
    auto text = [](const char* t) { return "STRING: \"" + std::string(t) + "\""; };
    for (const BusDevice& d : devices)
        line(1, d, number(d.bus_type));
    for (const BusDevice& d : devices)
        line(2, d, number(d.bus));
    for (const BusDevice& d : devices)
        line(3, d, number(d.device));
    for (const BusDevice& d : devices)
        line(4, d, number(d.function));
    for (const BusDevice& d : devices)
        line(5, d, number(d.dev_class));
    for (const BusDevice& d : devices)
        line(6, d, text(d.description));
    for (const BusDevice& d : devices)
        line(7, d, text(d.name));
    for (const BusDevice& d : devices)
        line(8, d, text(d.vendor));
    for (const BusDevice& d : devices)
        line(9, d, number(d.slot));
    for (const BusDevice& d : devices)
        if (d.mac != nullptr) line(10, d, d.mac);
    return walk;
}

// The 64-byte header of `ids` as a scenario reply to the read of the device's function.
inline std::string PciHeaderLine(const BusDevice& d) {
    unsigned char header[64] = {};
    const PciIds& ids = d.pci;
    auto word = [&](int at, int value) {
        header[at] = static_cast<unsigned char>(value & 0xFF);
        header[at + 1] = static_cast<unsigned char>((value >> 8) & 0xFF);
    };
    word(0, ids.vendor);
    word(2, ids.device);
    header[8] = static_cast<unsigned char>(ids.revision);
    header[14] = static_cast<unsigned char>(ids.header_type);
    word(44, ids.sub_vendor);
    word(46, ids.sub_system);
    char line[96];
    std::snprintf(line, sizeof(line), "reply 0x1401 0 5 * data %02X %02X %02X : hex",
                  (d.bus - 1) & 0xFF, d.device & 0xFF, (d.function - 1) & 0xFF);
    std::string text = line;
    for (unsigned char byte : header) {
        std::snprintf(line, sizeof(line), " %02X", byte);
        text += line;
    }
    return text + "\n";
}

inline std::string PciHeaderLines(const std::vector<BusDevice>& devices) {
    std::string scenario;
    for (const BusDevice& d : devices)
        if (d.bus_type == 5 && d.pci.vendor >= 0) scenario += PciHeaderLine(d);
    return scenario;
}

}  // namespace cx::test
