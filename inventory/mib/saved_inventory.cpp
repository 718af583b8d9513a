// The saved inventory read through ReadSavedMib, the MIB builder's reader, into rows keyed by the
// file's names, and the consistency checks the MIB does not make.
#include "inventory/saved_inventory.h"

#include <map>

#include "inventory/inventory_sections.h"
#include "inventory/profile_file.h"
#include "mib_content.h"
#include "mib_objects.h"

namespace cx::inventory {

namespace {

constexpr const char* kAgentInfoKeys[] = {"AgentId", "AgentCompany", "AgentVersion", "AgentBuild"};
// Real trees are a few levels deep; a path stops after this many names.
constexpr int kMaxPathNames = 32;

struct ColumnPlace {
    std::size_t table;
    const MibColumn* column;
};

void ReadTables(ProfileFile& saved, SavedInventory* inventory) {
    std::map<const MibObject*, ColumnPlace> places;
    for (const MibRowTable& table : ProbedTables()) {
        inventory->tables.push_back({table.section, {}});
        for (const MibColumn& column : table.columns)
            places[&column.object] = {inventory->tables.size() - 1, &column};
    }
    MibContent content = ReadSavedMib(saved);
    inventory->aborted = content.aborted;
    DWORD type = 0;
    for (const MibCell& cell : content.cells) {
        if (cell.object == &kCompDefTypeObject) type = static_cast<DWORD>(cell.number);
        if (cell.object == &kCompDefNameObject)
            inventory->component_types.emplace_back(type, cell.text);
        auto place = places.find(cell.object);
        if (place == places.end()) continue;
        const MibColumn& column = *place->second.column;
        std::vector<SavedRow>& rows = inventory->tables[place->second.table].rows;
        if (column.source == CellSource::kRowNumber) {
            rows.push_back({static_cast<DWORD>(cell.row), {}});
            continue;
        }
        if (rows.empty()) continue;  // a row's cells follow its row number
        bool text = column.source == CellSource::kText;
        rows.back().fields.push_back(
            {column.key, text, text ? 0 : static_cast<DWORD>(cell.number), cell.text});
    }
}

void Problem(SavedInventory* inventory, std::string_view section, std::string_view key, DWORD row,
             DWORD value, std::string_view why) {
    inventory->problems.push_back("[" + std::string(section) + "] " + std::string(key) + "." +
                                  std::to_string(row) + "=" + std::to_string(value) + ": " +
                                  std::string(why));
}

// A count key that disagrees with the rows read means rows are missing: the MIB stops at the
// first row whose first key is missing.
void CheckCount(ProfileFile& saved, SavedInventory* inventory, const char* section,
                const char* key) {
    const char* text = saved.ReadString(section, key, "");
    if (*text == '\0') return;
    std::string count = text;
    std::size_t rows = inventory->Rows(section).rows.size();
    if (count != std::to_string(rows)) {
        inventory->problems.push_back("[" + std::string(section) + "] " + key + "=" + count + ": " +
                                      std::to_string(rows) + " rows read");
    }
}

void CheckContainers(SavedInventory* inventory, const char* section) {
    for (const SavedRow& row : inventory->Rows(section).rows) {
        DWORD parent = row.Number(row_key::kParent);
        if (parent != inventory->ParentOf(section, row.no))
            Problem(inventory, section, row_key::kParent, row.no, parent,
                    "not an earlier container");
    }
}

void CheckReferences(SavedInventory* inventory) {
    const char* trees[][2] = {{row_key::kPhysCont, kPhysicalContainerSection},
                              {row_key::kFuncCont, kFunctionalContainerSection}};
    for (const SavedRow& row : inventory->Rows(kComponentTableSection).rows) {
        for (const auto& [key, section] : trees) {
            DWORD container = row.Number(key);
            if (container > inventory->Rows(section).rows.size())
                Problem(inventory, kComponentTableSection, key, row.no, container,
                        "no such container");
        }
    }
    std::size_t components = inventory->Rows(kComponentTableSection).rows.size();
    for (const SavedRow& row : inventory->Rows(kFirmwareUpdateSection).rows) {
        DWORD index = row.Number(row_key::kCompIndex);
        if (index == 0 || index > components)
            Problem(inventory, kFirmwareUpdateSection, row_key::kCompIndex, row.no, index,
                    "no such component");
    }
}

}  // namespace

std::string ValueOf(const NamedValues& values, std::string_view key) {
    for (const auto& [name, value] : values)
        if (name == key) return value;
    return {};
}

const SavedField* SavedRow::Find(std::string_view key) const {
    for (const SavedField& field : fields)
        if (field.key == key) return &field;
    return nullptr;
}

DWORD SavedRow::Number(std::string_view key) const {
    const SavedField* field = Find(key);
    return field != nullptr ? field->number : 0;
}

std::string SavedRow::Text(std::string_view key) const {
    const SavedField* field = Find(key);
    return field != nullptr ? field->value : std::string();
}

const SavedTable& SavedInventory::Rows(std::string_view section) const {
    static const SavedTable kEmpty;
    for (const SavedTable& table : tables)
        if (table.section == section) return table;
    return kEmpty;
}

std::string SavedInventory::TypeName(DWORD comp_type) const {
    for (const auto& [type, name] : component_types)
        if (type == comp_type) return name;
    return "type " + std::to_string(comp_type);
}

DWORD SavedInventory::ParentOf(std::string_view section, DWORD no) const {
    const std::vector<SavedRow>& rows = Rows(section).rows;
    if (no == 0 || no > rows.size()) return 0;
    const DWORD parent = rows[no - 1].Number(row_key::kParent);
    return parent < no ? parent : 0;
}

std::string SavedInventory::ContainerPath(std::string_view section, DWORD no) const {
    const std::vector<SavedRow>& rows = Rows(section).rows;
    std::string path;
    for (int names = 0; no != 0 && no <= rows.size() && names < kMaxPathNames; ++names) {
        const std::string name = rows[no - 1].Text(row_key::kName);
        path = path.empty() ? name : name + "/" + path;
        no = ParentOf(section, no);
    }
    return path;
}

SavedInventory ReadSavedInventory(ProfileFile& saved) {
    SavedInventory inventory;
    inventory.path = saved.Path() != nullptr ? saved.Path() : "";
    for (const char* key : kLastDateKeys)
        inventory.last_date.emplace_back(key, saved.ReadString(kLastDateSection, key, ""));
    for (const char* key : kAgentInfoKeys)
        inventory.agent_info.emplace_back(key, saved.ReadString(kAgentInfoSection, key, ""));
    ReadTables(saved, &inventory);
    CheckCount(saved, &inventory, kPhysicalContainerSection, "NrContainer");
    CheckCount(saved, &inventory, kFunctionalContainerSection, "NrContainer");
    CheckCount(saved, &inventory, kComponentTableSection, "NrComponents");
    CheckCount(saved, &inventory, kFirmwareUpdateSection, "NrUpdObjects");
    CheckContainers(&inventory, kPhysicalContainerSection);
    CheckContainers(&inventory, kFunctionalContainerSection);
    CheckReferences(&inventory);
    return inventory;
}

}  // namespace cx::inventory
