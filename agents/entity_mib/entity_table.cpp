#include "entity_table.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "inventory/inventory_sections.h"

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
    kStorageDevice = 0x19,
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

// entPhysicalParentRelPos of a row that no other contains.
constexpr std::int32_t kNoParentRelPos = -1;

// The names of the physical container types by number, from [Physical Definition].
std::map<DWORD, std::string> ContainerTypeNames(const inventory::SavedInventory& inventory) {
    std::map<DWORD, std::string> names;
    for (const inventory::SavedRow& row :
         inventory.Rows(inventory::kPhysicalDefinitionSection).rows)
        names.emplace(row.Number(inventory::row_key::kType), row.Text(inventory::row_key::kName));
    return names;
}

std::string Path(const inventory::SavedInventory& inventory, DWORD container) {
    return inventory.ContainerPath(inventory::kPhysicalContainerSection, container);
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
        case kStorageDevice: return PhysicalClass::kStorageDrive;
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

EntityTable BuildEntityTable(const inventory::SavedInventory& inventory, IndexMap& indexes,
                             std::int64_t now) {
    using namespace inventory;
    EntityTable table;
    table.problems = inventory.problems;
    const std::vector<SavedRow>& containers = inventory.Rows(kPhysicalContainerSection).rows;
    const std::size_t count = containers.size();
    std::vector<DWORD> parent(count);
    for (DWORD no = 1; no <= count; ++no)
        parent[no - 1] = inventory.ParentOf(kPhysicalContainerSection, no);

    // Identities: the chain of container names from the outermost one.
    std::vector<std::string> identities;
    for (DWORD no = 1; no <= count; ++no)
        identities.push_back("container\t/" + Path(inventory, no));
    std::vector<const SavedRow*> components;
    std::vector<DWORD> component_container;
    for (const SavedRow& component : inventory.Rows(kComponentTableSection).rows) {
        const DWORD type = component.Number(row_key::kCompType);
        if (!IsPhysical(type)) continue;
        DWORD container = component.Number(row_key::kPhysCont);
        if (container > count) container = 0;  // the reader reported it
        char type_text[16];
        std::snprintf(type_text, sizeof(type_text), "%02X", static_cast<unsigned>(type));
        identities.push_back(
            "component\t" + (container != 0 ? "/" + Path(inventory, container) : "") + "\t" +
            type_text + "\t" + component.Text(row_key::kVendor) + "\t" +
            component.Text(row_key::kProdName) + "\t" + component.Text(row_key::kSerialNo));
        components.push_back(&component);
        component_container.push_back(container);
    }
    // Two equal components (memory modules without serial numbers) count in file order.
    std::map<std::string, unsigned> seen;
    for (std::string& identity : identities)
        if (unsigned n = ++seen[identity]; n > 1) identity += "\t#" + std::to_string(n);
    const std::vector<std::int32_t> index =
        indexes.Assign(identities, inventory::ValueOf(inventory.last_date, "LastScan"), now);

    // Siblings are the rows of one container and one class, each counted from 1; a row in no
    // container has no siblings.
    std::map<std::pair<std::int32_t, PhysicalClass>, std::int32_t> siblings;
    auto add = [&](EntityRow row, std::size_t position, DWORD container) {
        row.index = index[position];
        if (row.index == 0) {
            table.problems.push_back("row " + std::to_string(position + 1) +
                                     ": no index left, not served");
            return;
        }
        row.contained_in = container != 0 ? index[container - 1] : 0;
        row.parent_rel_pos = row.contained_in == 0
                                 ? kNoParentRelPos
                                 : ++siblings[{row.contained_in, row.physical_class}];
        table.rows.push_back(std::move(row));
    };
    const std::map<DWORD, std::string> type_names = ContainerTypeNames(inventory);
    for (DWORD no = 1; no <= count; ++no) {
        const SavedRow& saved = containers[no - 1];
        EntityRow row;
        row.descr = row.name = saved.Text(row_key::kName);
        row.physical_class = PhysicalClass::kContainer;
        if (auto type = type_names.find(saved.Number(row_key::kType));
            type != type_names.end() &&
            std::find(std::begin(kCabinetContainerTypes), std::end(kCabinetContainerTypes),
                      type->second) != std::end(kCabinetContainerTypes))
            row.physical_class = PhysicalClass::kChassis;
        row.mfg_date = std::string(8, '\0');
        add(std::move(row), no - 1, parent[no - 1]);
    }
    for (std::size_t c = 0; c < components.size(); ++c) {
        const SavedRow& saved = *components[c];
        const DWORD type = saved.Number(row_key::kCompType);
        EntityRow row;
        row.descr = saved.Text(row_key::kProdDescript);
        row.name = saved.Text(row_key::kProdName);
        row.physical_class = ClassOf(type);
        (IsFirmware(type) ? row.firmware_rev : row.hardware_rev) =
            Known(saved.Text(row_key::kVersion));
        row.serial_num = Cut(Known(saved.Text(row_key::kSerialNo)), 32);  // the column's size
        row.mfg_name = Known(saved.Text(row_key::kVendor));
        const std::string number = saved.Text(row_key::kProdNumber);
        row.model_name = !number.empty() ? number : row.name;
        row.is_fru = true;
        row.mfg_date = DateAndTime(saved.Text(row_key::kManuDate));
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
