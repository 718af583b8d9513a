// SC_MIB's tables from the facts of the machine's PCI functions: the bus table, the I/O and
// memory range tables and the interrupt table, as OIDs with values. No file system here: the
// reader (sysfs_reader.h) gathers the facts, so tests, the fuzz target and the benchmark feed
// this part directly.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cx::scmib {

// What the reader found of one PCI function. Texts are the files' contents as read.
struct PciFunction {
    std::uint32_t domain = 0;
    std::uint32_t bus = 0;       // 0 to 255, as the kernel counts
    std::uint32_t device = 0;    // 0 to 31
    std::uint32_t function = 0;  // 0 to 7
    std::uint16_t vendor_id = 0;
    std::uint16_t device_id = 0;
    std::uint32_t class_code = 0;  // base class << 16 | subclass << 8 | programming interface
    // Names from the ID database; empty where it has none.
    std::string class_name;
    std::string device_name;
    std::string vendor_name;
    std::optional<std::string> resource;  // the "resource" file; nullopt when unreadable
    std::optional<std::string> irq;       // the "irq" file
    std::string mac;                      // "address" of its first network interface, or empty
    std::uint32_t slot = 0;               // physical slot number; 0 when none
};

// The bus table's device classes (0 to 14) by PCI class and subclass.
std::uint32_t DeviceClassOf(std::uint32_t class_code);

// One BAR of the "resource" file: lines 0 to 5, "0xSTART 0xEND 0xFLAGS".
struct PciRange {
    bool io = false;  // I/O ports; else memory
    std::uint64_t start = 0;
    std::uint64_t end = 0;
};
// The assigned I/O and memory ranges in BAR order; malformed or empty lines are left out.
std::vector<PciRange> ParseResource(std::string_view text);
// The interrupt of an "irq" file (decimal), or nullopt when it holds none.
std::optional<std::uint32_t> ParseIrq(std::string_view text);
// The six bytes of "aa:bb:cc:dd:ee:ff", or nullopt for anything else.
std::optional<std::string> ParseMac(std::string_view text);

// One object of the tables.
struct TableValue {
    enum class Type { kInteger, kGauge, kOctets };
    std::vector<std::uint32_t> oid;
    Type type = Type::kInteger;
    std::uint32_t number = 0;  // kInteger (as a signed 32-bit value) and kGauge
    std::string octets;
};

// The OID of `column` of a table entry (dotted text of sc_mib_oids.h) in the row `index`.
std::vector<std::uint32_t> ColumnOid(std::string_view entry, std::uint32_t column,
                                     std::initializer_list<std::uint32_t> index);

// Every object of the four tables for `functions`, in no particular order. Functions outside
// PCI domain 0 are left out: the tables' index has no room for the domain.
std::vector<TableValue> BuildTables(const std::vector<PciFunction>& functions);

}  // namespace cx::scmib
