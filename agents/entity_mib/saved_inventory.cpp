#include "saved_inventory.h"

#include <algorithm>
#include <cstdio>

#include "inventory/profile_file.h"

namespace cx::entity {
namespace {

// Stands for a missing key: no value in an INI file can hold this byte.
constexpr char kMissing[] = "\n";

std::string Key(const char* name, DWORD row) {
    char key[64];
    std::snprintf(key, sizeof(key), "%s.%u", name, static_cast<unsigned>(row));
    return key;
}

bool Read(ProfileFile& file, const char* section, const char* name, DWORD row, std::string* value) {
    const char* text = file.ReadString(section, Key(name, row).c_str(), kMissing);
    if (text == nullptr || std::string(text) == kMissing) return false;
    *value = text;
    return true;
}

std::string ReadText(ProfileFile& file, const char* section, const char* name, DWORD row) {
    std::string value;
    Read(file, section, name, row, &value);
    return value;
}

DWORD ReadNumber(ProfileFile& file, const char* section, const char* name, DWORD row) {
    return file.ReadInt(section, Key(name, row).c_str(), 0);
}

}  // namespace

SavedInventory ReadSavedInventory(ProfileFile& saved) {
    SavedInventory inventory;
    std::string type_text;
    for (DWORD row = 1; row <= kMaxContainers; ++row) {
        if (!Read(saved, "Physical Definition", "Type", row, &type_text)) break;
        inventory.container_type_names[ReadNumber(saved, "Physical Definition", "Type", row)] =
            ReadText(saved, "Physical Definition", "Name", row);
    }

    const DWORD containers =
        std::min<DWORD>(saved.ReadInt("Physical Container", "NrContainer", 0), kMaxContainers);
    for (DWORD row = 1; row <= containers; ++row) {
        if (!Read(saved, "Physical Container", "Type", row, &type_text)) break;
        SavedContainer container;
        container.type = ReadNumber(saved, "Physical Container", "Type", row);
        container.parent = ReadNumber(saved, "Physical Container", "Parent", row);
        container.name = ReadText(saved, "Physical Container", "Name", row);
        inventory.containers.push_back(std::move(container));
    }

    const DWORD components =
        std::min<DWORD>(saved.ReadInt("Component Table", "NrComponents", 0), kMaxComponents);
    constexpr const char* kTable = "Component Table";
    for (DWORD row = 1; row <= components; ++row) {
        if (!Read(saved, kTable, "CompType", row, &type_text)) break;
        SavedComponent component;
        component.comp_type = ReadNumber(saved, kTable, "CompType", row);
        component.phys_cont = ReadNumber(saved, kTable, "PhysCont", row);
        component.vendor = ReadText(saved, kTable, "Vendor", row);
        component.prod_name = ReadText(saved, kTable, "ProdName", row);
        component.prod_number = ReadText(saved, kTable, "ProdNumber", row);
        component.prod_descript = ReadText(saved, kTable, "ProdDescript", row);
        component.manu_date = ReadText(saved, kTable, "ManuDate", row);
        component.version = ReadText(saved, kTable, "Version", row);
        component.serial_no = ReadText(saved, kTable, "SerialNo", row);
        inventory.components.push_back(std::move(component));
    }
    return inventory;
}

}  // namespace cx::entity
