// What cx-switchd --linux knows about the machine it runs on: the firmware's description
// (SMBIOS) or what procfs, sysfs and the device tree tell without it, the management
// controller's own (IPMI) and the UPS server's (NUT). Empty texts are unknown ones; the readers
// leave out placeholder texts, so an empty field is answered as "not available".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cx::switchd {

// Where a part of the description comes from; a set of them as bits.
enum Source : std::uint32_t {
    kFixed = 1u << 0,       // the server's own answers
    kSmbios = 1u << 1,      // the firmware table, or the kernel's copy in /sys/class/dmi/id
    kDeviceTree = 1u << 2,  // /proc/device-tree
    kProcfs = 1u << 3,      // /proc/cpuinfo, /proc/meminfo
    kIpmi = 1u << 4,        // the management controller
    kNut = 1u << 5,         // the UPS server
};
using SourceSet = std::uint32_t;

struct BiosInfo {
    std::string vendor;
    std::string version;
    std::string release_date;  // mm/dd/yyyy as the firmware writes it
};

struct SystemInfo {
    std::string maker;
    std::string product;
    std::string version;
    std::string serial;
    std::string sku;
};

struct BoardInfo {
    std::string maker;
    std::string product;
    std::string version;
    std::string serial;
    std::string asset_tag;
    std::string kind;         // "Motherboard", "I/O Module", ...
    std::string part_number;  // the FRU's; the firmware table's sits in `version`
};

struct ChassisInfo {
    std::string maker;
    std::string kind;  // "Rack Mount Chassis", "Tower", ...
    std::string version;
    std::string serial;
    std::string asset_tag;
    std::string part_number;
};

// Socket status as the SWITCH processor requests report it.
enum class SocketStatus : std::uint8_t { kEmpty = 0, kEnabled = 1, kDisabled = 2 };

struct ProcessorInfo {
    std::string socket;
    std::string maker;
    std::string version;  // the name text, "Catalix Cx64 Processor"
    SocketStatus status = SocketStatus::kEnabled;
    std::uint16_t current_mhz = 0;
    std::uint16_t max_mhz = 0;
    std::uint8_t stepping = 0;
};

struct MemoryDeviceInfo {
    std::string locator;  // the slot, "DIMM A1"
    std::string bank;
    std::string maker;
    std::string serial;
    std::string part_number;
    std::string type;  // "DDR4"
    std::string form;  // "DIMM"
    std::uint16_t speed_mts = 0;
    bool installed = false;
    // MByte; nullopt for an installed module of unknown size.
    std::optional<std::uint32_t> size_mb;
};

struct PowerSupplyInfo {
    std::string location;
    std::string name;
    std::string maker;
    std::string serial;
    std::string part_number;
    std::string revision;
    std::uint16_t max_watts = 0;  // 0: unknown
    bool present = false;
};

struct ManagementControllerInfo {
    std::string interface;  // "KCS", "SMIC", "BT", "SSIF"
    std::uint8_t spec_major = 0;
    std::uint8_t spec_minor = 0;
    // What the controller tells of itself (IPMI Get Device ID); empty without it.
    std::string maker;     // the maker's name, else "ID n" of its manufacturer ID
    std::string product;   // "0x1234", its product ID
    std::string firmware;  // "1.42"
};

// The controller's sensor data record repository.
struct SdrRepositoryInfo {
    std::string version;  // of the repository's format, "1.5"
    std::uint16_t records = 0;
};

// A fan whose sensor reads; its sensor's ID string and entity ("29.1": entity ID and instance).
struct FanInfo {
    std::string name;
    std::string entity;
};

// One UPS the UPS server lists.
struct UpsInfo {
    std::string id;  // "name@host", how the server knows it
    std::string description;
    std::string maker;
    std::string model;
    std::string serial;
    std::string firmware;
    std::string date;  // "2021-05-17 00:00:00"
    bool operator==(const UpsInfo&) const = default;
};

struct MachineInfo {
    std::optional<BiosInfo> bios;
    std::optional<SystemInfo> system;
    std::vector<BoardInfo> boards;
    std::optional<ChassisInfo> chassis;
    std::vector<ProcessorInfo> processors;  // one per socket
    std::vector<MemoryDeviceInfo> memory;   // one per slot
    std::vector<PowerSupplyInfo> power_supplies;
    std::optional<ManagementControllerInfo> management;
    std::optional<SdrRepositoryInfo> sdr;
    std::vector<FanInfo> fans;
    std::vector<UpsInfo> ups;
    // Sources that were there but stopped answering during the read: what they would have
    // told is unknown, not absent.
    SourceSet failed = 0;
};

}  // namespace cx::switchd
