#include "entity_table.h"

#include <algorithm>
#include <cstdio>
#include <map>

namespace cx::entity {
namespace {

// Component types of the table file that the classes below depend on.
enum : DWORD {
    kCabinet = 0x01,
    kChassis = 0x02,
    kPowerSupply = 0x04,
    kFan = 0x07,
    kProcessor = 0x0A,
    kUps = 0x13,
    kComputerName = 0x15,
    kBios = 0xA0,
    kFirmware = 0xA1,
    kSdrVersion = 0xA9,
    kFirstSoftware = 0xA0,
};

// Physical container types that stand for a cabinet: served as chassis.
constexpr const char* kCabinetContainerTypes[] = {"ServerCabinet", "StorageExtension"};

// The inventory's text for "not known"; ENTITY-MIB says so with an empty string.
std::string Known(const std::string& text) { return text == "N/A" ? std::string() : text; }

std::string Cut(std::string text, std::size_t size) {
    if (text.size() > size) text.resize(size);
    return text;
}

bool ReadNumber(const std::string& text, std::size_t at, std::size_t digits, int* value) {
    if (at + digits > text.size()) return false;
    int number = 0;
    for (std::size_t i = at; i < at + digits; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        number = number * 10 + (text[i] - '0');
    }
    *value = number;
    return true;
}

}  // namespace

bool IsPhysical(DWORD comp_type) {
    if (comp_type == kComputerName) return false;
    return comp_type < kFirstSoftware || IsFirmware(comp_type);
}

bool IsFirmware(DWORD comp_type) {
    return comp_type == kBios || comp_type == kFirmware || comp_type == kSdrVersion;
}

PhysicalClass ClassOf(DWORD comp_type) {
    switch (comp_type) {
        case kCabinet:
        case kChassis: return PhysicalClass::kChassis;
        case kPowerSupply:
        case kUps: return PhysicalClass::kPowerSupply;
        case kFan: return PhysicalClass::kFan;
        case kProcessor: return PhysicalClass::kCpu;
        case 0x00:  // bus device
        case 0x03:  // power backplane
        case 0x05:  // management controller
        case 0x06:  // environment controller
        case 0x08:  // front panel
        case 0x09:  // SCSI backplane
        case 0x0C:  // storage controller
        case 0x0D:  // network controller
        case 0x10:  // graphics controller
        case 0x11:  // Fibre Channel backplane
        case 0x12:  // Fibre Channel link adapter
        case 0x14:  // base board
        case 0x16:  // memory module
        case 0x17:  // memory expansion
        case 0x19:  // storage device
        case 0x1A:  // other bus device
        case 0x1B:  // remote service board
        case 0x1C:  // microcontroller
        case 0x1F:  // management blade
            return PhysicalClass::kModule;
        default: return PhysicalClass::kOther;
    }
}

std::string DateAndTime(const std::string& manu_date) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    const bool date = ReadNumber(manu_date, 0, 4, &year) && manu_date.size() >= 10 &&
                      manu_date[4] == '-' && ReadNumber(manu_date, 5, 2, &month) &&
                      manu_date[7] == '-' && ReadNumber(manu_date, 8, 2, &day);
    const bool time = manu_date.size() >= 19 && manu_date[10] == ' ' &&
                      ReadNumber(manu_date, 11, 2, &hour) && manu_date[13] == ':' &&
                      ReadNumber(manu_date, 14, 2, &minute) && manu_date[16] == ':' &&
                      ReadNumber(manu_date, 17, 2, &second);
    if (!date || year == 0 || month < 1 || month > 12 || day < 1 || day > 31 ||
        (manu_date.size() > 10 && !time) || hour > 23 || minute > 59 || second > 60)
        return std::string(8, '\0');
    const char bytes[8] = {static_cast<char>(year >> 8), static_cast<char>(year & 0xFF),
                           static_cast<char>(month),     static_cast<char>(day),
                           static_cast<char>(hour),      static_cast<char>(minute),
                           static_cast<char>(second),    0};
    return std::string(bytes, 8);
}

EntityTable BuildEntityTable(const SavedInventory& inventory, IndexMap& indexes) {
    EntityTable table;
    const std::size_t count = inventory.containers.size();
    auto problem = [&table](const char* format, unsigned a, unsigned b) {
        char text[160];
        std::snprintf(text, sizeof(text), format, a, b);
        table.problems.push_back(text);
    };

    // Parents: one outside the containers becomes a root; a loop is cut where it is found.
    std::vector<DWORD> parent(count, 0);
    for (std::size_t i = 0; i < count; ++i) {
        const DWORD p = inventory.containers[i].parent;
        if (p > count) {
            problem("container %u: parent %u does not exist, taken as outermost",
                    static_cast<unsigned>(i + 1), p);
        } else {
            parent[i] = p;
        }
    }
    for (std::size_t i = 0; i < count; ++i) {
        DWORD at = parent[i];
        for (std::size_t steps = 0; at != 0 && steps <= count; ++steps) {
            if (at == i + 1) {
                problem("container %u: containment loop through parent %u, cut here",
                        static_cast<unsigned>(i + 1), parent[i]);
                parent[i] = 0;
                break;
            }
            at = parent[at - 1];
        }
    }

    // Identities: the chain of container names from the outermost one.
    std::vector<std::string> paths(count);
    for (std::size_t i = 0; i < count; ++i) {
        std::vector<const std::string*> chain;
        for (DWORD at = static_cast<DWORD>(i + 1); at != 0 && chain.size() <= count;
             at = parent[at - 1])
            chain.push_back(&inventory.containers[at - 1].name);
        for (auto name = chain.rbegin(); name != chain.rend(); ++name)
            paths[i] += "/" + **name;
    }
    std::vector<std::string> identities;
    std::vector<const SavedComponent*> components;
    std::vector<DWORD> component_container;
    for (std::size_t i = 0; i < count; ++i)
        identities.push_back("container\t" + paths[i]);
    for (const SavedComponent& component : inventory.components) {
        if (!IsPhysical(component.comp_type)) continue;
        DWORD container = component.phys_cont;
        if (container > count) {
            problem("component of type %u: container %u does not exist, taken as outermost",
                    component.comp_type, container);
            container = 0;
        }
        char type[16];
        std::snprintf(type, sizeof(type), "%02X", static_cast<unsigned>(component.comp_type));
        identities.push_back("component\t" + (container != 0 ? paths[container - 1] : "") + "\t" +
                             type + "\t" + component.vendor + "\t" + component.prod_name + "\t" +
                             component.serial_no);
        components.push_back(&component);
        component_container.push_back(container);
    }
    // Two equal components (memory modules without serial numbers) count in file order.
    std::map<std::string, unsigned> seen;
    for (std::string& identity : identities)
        if (unsigned n = ++seen[identity]; n > 1) identity += "\t#" + std::to_string(n);
    const std::vector<std::int32_t> index = indexes.Assign(identities);

    std::map<std::int32_t, std::int32_t> children;  // parent index -> children so far
    auto add = [&](EntityRow row, std::size_t position, DWORD container) {
        row.index = index[position];
        if (row.index == 0) {
            problem("row %u: no index left, not served", static_cast<unsigned>(position + 1), 0);
            return;
        }
        row.contained_in = container != 0 ? index[container - 1] : 0;
        row.parent_rel_pos = ++children[row.contained_in];
        table.rows.push_back(std::move(row));
    };
    for (std::size_t i = 0; i < count; ++i) {
        const SavedContainer& saved = inventory.containers[i];
        EntityRow row;
        row.descr = saved.name;
        row.name = saved.name;
        row.physical_class = PhysicalClass::kContainer;
        if (auto type = inventory.container_type_names.find(saved.type);
            type != inventory.container_type_names.end() &&
            std::find(std::begin(kCabinetContainerTypes), std::end(kCabinetContainerTypes),
                      type->second) != std::end(kCabinetContainerTypes))
            row.physical_class = PhysicalClass::kChassis;
        row.mfg_date = std::string(8, '\0');
        add(std::move(row), i, parent[i]);
    }
    for (std::size_t c = 0; c < components.size(); ++c) {
        const SavedComponent& saved = *components[c];
        EntityRow row;
        row.descr = saved.prod_descript;
        row.name = saved.prod_name;
        row.physical_class = ClassOf(saved.comp_type);
        (IsFirmware(saved.comp_type) ? row.firmware_rev : row.hardware_rev) = Known(saved.version);
        row.serial_num = Cut(Known(saved.serial_no), 32);  // the column's size
        row.mfg_name = Known(saved.vendor);
        row.model_name = !saved.prod_number.empty() ? saved.prod_number : saved.prod_name;
        row.is_fru = true;
        row.mfg_date = DateAndTime(saved.manu_date);
        add(std::move(row), count + c, component_container[c]);
    }
    return table;
}

std::vector<EntityValue> EntityValues(const std::vector<EntityRow>& rows, DWORD last_change) {
    std::vector<EntityValue> values;
    values.reserve(rows.size() * 17 + 1);
    auto column = [&values](const EntityRow& row, UINT number, EntityValue value) {
        value.oid = {1, 3, 6, 1, 2, 1, 47, 1, 1, 1, 1, number, static_cast<UINT>(row.index)};
        values.push_back(std::move(value));
    };
    using Type = EntityValue::Type;
    auto text = [](const std::string& octets) { return EntityValue{{}, Type::kOctets, 0, octets}; };
    auto integer = [](std::int64_t n) { return EntityValue{{}, Type::kInteger, n, {}}; };
    for (const EntityRow& row : rows) {
        column(row, 2, text(row.descr));
        column(row, 3, EntityValue{{}, Type::kObjectId, 0, {}});  // zeroDotZero
        column(row, 4, integer(row.contained_in));
        column(row, 5, integer(static_cast<std::int64_t>(row.physical_class)));
        column(row, 6, integer(row.parent_rel_pos));
        column(row, 7, text(row.name));
        column(row, 8, text(row.hardware_rev));
        column(row, 9, text(row.firmware_rev));
        column(row, 10, text(""));  // software revision: software is not in this table
        column(row, 11, text(row.serial_num));
        column(row, 12, text(row.mfg_name));
        column(row, 13, text(row.model_name));
        column(row, 14, text(""));  // alias and asset id: not known to the inventory
        column(row, 15, text(""));
        column(row, 16, integer(row.is_fru ? 1 : 2));
        column(row, 17, text(row.mfg_date));
        column(row, 18, text(""));
    }
    EntityValue change{{1, 3, 6, 1, 2, 1, 47, 1, 4, 1, 0}, Type::kTimeTicks, last_change, {}};
    values.push_back(std::move(change));
    return values;
}

}  // namespace cx::entity
