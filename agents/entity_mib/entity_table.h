// The entity table (entPhysicalTable) of a saved inventory: one row per physical container and
// per hardware component, with containment, class and the inventory's identification texts,
// and the SNMP values that serve it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "index_map.h"
#include "inventory/saved_inventory.h"
#include "platform/windef.h"

namespace cx::entity {

// PhysicalClass of ENTITY-MIB, the values this table uses.
enum class PhysicalClass : std::int32_t {
    kOther = 1,
    kChassis = 3,
    kContainer = 5,
    kPowerSupply = 6,
    kFan = 7,
    kModule = 9,
    kCpu = 12,
    kStorageDrive = 15,
};

struct EntityRow {
    std::int32_t index = 0;
    std::string descr;
    std::int32_t contained_in = 0;
    PhysicalClass physical_class = PhysicalClass::kOther;
    std::int32_t parent_rel_pos = 0;
    std::string name, hardware_rev, firmware_rev, serial_num, mfg_name, model_name;
    bool is_fru = false;
    std::string mfg_date;  // DateAndTime, 8 bytes

    bool operator==(const EntityRow&) const = default;
};

struct EntityTable {
    std::vector<EntityRow> rows;  // containers in file order, then components in file order
    std::vector<std::string> problems;
};

// Whether a component type is hardware (a row of the table): software, drivers, agents, tools
// and the computer's name are not.
bool IsPhysical(DWORD comp_type);
PhysicalClass ClassOf(DWORD comp_type);
// BIOS and firmware parts: their version is a firmware revision.
bool IsFirmware(DWORD comp_type);
// "YYYY-MM-DD[ HH:MM:SS]" as an 8-byte DateAndTime; eight zero bytes for anything else.
std::string DateAndTime(const std::string& manu_date);

// Builds the rows; indexes come from (and update) `indexes`, with the saved file's "LastScan" as
// the scan and `now` (seconds) as the time. Containers are placed as the reader's ParentOf
// says; a component in a missing container is taken as outermost. The reader's problems are
// the table's. A file without rows gives no rows and leaves the indexes alone.
EntityTable BuildEntityTable(const inventory::SavedInventory& inventory, IndexMap& indexes,
                             std::int64_t now);

// One value to serve.
struct EntityValue {
    enum class Type { kInteger, kOctets, kObjectId, kTimeTicks };
    std::vector<UINT> oid;
    Type type = Type::kInteger;
    std::int64_t number = 0;
    std::string octets;
};

inline constexpr char kEntityMibRoot[] = "1.3.6.1.2.1.47";
// Every column of every row, then entLastChangeTime with `last_change` (hundredths of a second
// since the host started).
std::vector<EntityValue> EntityValues(const std::vector<EntityRow>& rows, DWORD last_change);

}  // namespace cx::entity
