// What cx-switchd --linux knows about the machine it runs on: the firmware's description
// (SMBIOS) or what procfs and sysfs tell without it. Empty texts are unknown ones; the readers
// leave out placeholder texts, so an empty field is answered as "not available".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cx::switchd {

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
    std::string kind;  // "Motherboard", "I/O Module", ...
};

struct ChassisInfo {
    std::string maker;
    std::string kind;  // "Rack Mount Chassis", "Tower", ...
    std::string version;
    std::string serial;
    std::string asset_tag;
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
};

}  // namespace cx::switchd
