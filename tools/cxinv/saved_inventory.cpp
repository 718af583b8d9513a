// Loading a saved inventory through ProfileFile and ReadSavedMib, the MIB builder's reader, and
// the consistency checks the MIB does not make.
#include "saved_inventory.h"

#include <map>

#include "inventory/inventory_sections.h"
#include "inventory/profile_file.h"
#include "mib_content.h"
#include "mib_objects.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/profile.h"

namespace cx::cxinv {

namespace {

using namespace cx::inventory;

constexpr const char* kAgentInfoKeys[] = {"AgentId", "AgentCompany", "AgentVersion", "AgentBuild"};

struct ColumnPlace {
    std::size_t table;
    const MibColumn* column;
};

const char* FileError(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND: return "no such file";
        case ERROR_ACCESS_DENIED: return "cannot be read (access denied)";
        case ERROR_NOT_ENOUGH_MEMORY: return "cannot be read (too large)";
        case ERROR_NOT_SUPPORTED: return "not an inventory file: not single-byte text (UTF-16?)";
        default: return "cannot be read";
    }
}

// The section names of the file; false with `error` set when it cannot be read as INI text.
bool ReadSections(const std::string& path, std::string* sections, std::string* error) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        *error = FileError(GetLastError());
        return false;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        *error = "is a directory";
        return false;
    }
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        auto size = static_cast<DWORD>(buffer.size());
        DWORD length =
            GetPrivateProfileStringA(nullptr, nullptr, "", buffer.data(), size, path.c_str());
        DWORD status = GetLastError();
        if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA &&
            status != ERROR_FILE_NOT_FOUND) {
            *error = FileError(status);
            return false;
        }
        if (length != size - 2 || size >= (1u << 26)) {
            sections->assign(buffer.data(), length);
            return true;
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool HasSection(const std::string& sections, std::string_view name) {
    for (std::size_t start = 0; start < sections.size();) {
        std::size_t end = sections.find('\0', start);
        if (end == std::string::npos) end = sections.size();
        std::string_view item(sections.data() + start, end - start);
        if (item.size() == name.size() &&
            std::equal(item.begin(), item.end(), name.begin(),
                       [](char a, char b) { return (a | 0x20) == (b | 0x20); })) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

void ReadTables(ProfileFile& saved, SavedInventory* inventory) {
    std::map<const MibObject*, ColumnPlace> places;
    for (const MibRowTable& table : ProbedTables()) {
        inventory->tables.push_back({table.section, {}});
        for (const MibColumn& column : table.columns)
            places[&column.object] = {inventory->tables.size() - 1, &column};
    }
    MibContent content = ReadSavedMib(saved);
    DWORD type = 0;
    for (const MibCell& cell : content.cells) {
        if (cell.object == &kCompDefTypeObject) type = static_cast<DWORD>(cell.number);
        if (cell.object == &kCompDefNameObject)
            inventory->component_types.emplace_back(type, cell.text);
        auto place = places.find(cell.object);
        if (place == places.end()) continue;
        const MibColumn& column = *place->second.column;
        std::vector<Row>& rows = inventory->tables[place->second.table].rows;
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
    for (const Row& row : inventory->Rows(section).rows) {
        DWORD parent = row.Number("Parent");
        if (parent != 0 && parent >= row.no)
            Problem(inventory, section, "Parent", row.no, parent, "not an earlier container");
    }
}

void CheckReferences(SavedInventory* inventory) {
    const char* trees[][2] = {{"PhysCont", kPhysicalContainerSection},
                              {"FuncCont", kFunctionalContainerSection}};
    for (const Row& row : inventory->Rows(kComponentTableSection).rows) {
        for (const auto& [key, section] : trees) {
            DWORD container = row.Number(key);
            if (container > inventory->Rows(section).rows.size())
                Problem(inventory, kComponentTableSection, key, row.no, container,
                        "no such container");
        }
    }
    std::size_t components = inventory->Rows(kComponentTableSection).rows.size();
    for (const Row& row : inventory->Rows(kFirmwareUpdateSection).rows) {
        DWORD index = row.Number("CompIndex");
        if (index == 0 || index > components)
            Problem(inventory, kFirmwareUpdateSection, "CompIndex", row.no, index,
                    "no such component");
    }
}

}  // namespace

const Field* Row::Find(std::string_view key) const {
    for (const Field& field : fields)
        if (field.key == key) return &field;
    return nullptr;
}

DWORD Row::Number(std::string_view key) const {
    const Field* field = Find(key);
    return field != nullptr ? field->number : 0;
}

std::string Row::Text(std::string_view key) const {
    const Field* field = Find(key);
    return field != nullptr ? field->value : std::string();
}

const Table& SavedInventory::Rows(std::string_view section) const {
    static const Table kEmpty;
    for (const Table& table : tables)
        if (table.section == section) return table;
    return kEmpty;
}

std::string SavedInventory::TypeName(DWORD comp_type) const {
    for (const auto& [type, name] : component_types)
        if (type == comp_type) return name;
    return "type " + std::to_string(comp_type);
}

std::string SavedInventory::ContainerPath(std::string_view section, DWORD no) const {
    const std::vector<Row>& rows = Rows(section).rows;
    std::string path;
    // Parents are earlier containers; a file that says otherwise ends the path there. Real
    // trees are a few levels deep: a path stops after 32 names.
    for (int names = 0; no != 0 && no <= rows.size() && names < 32; ++names) {
        const Row& row = rows[no - 1];
        path = path.empty() ? row.Text("Name") : row.Text("Name") + "/" + path;
        DWORD parent = row.Number("Parent");
        no = parent < no ? parent : 0;
    }
    return path;
}

bool LoadSavedInventory(const std::string& path, SavedInventory* inventory, std::string* error) {
    *inventory = SavedInventory{};
    inventory->path = path;
    std::string sections;
    if (!ReadSections(path, &sections, error)) return false;
    if (!HasSection(sections, kLastDateSection)) {
        *error = "not an inventory file: no [Last Date] section";
        return false;
    }
    ProfileFile saved;
    saved.SetPath(path.c_str());
    if (!saved.Open(TRUE)) {
        *error = FileError(GetLastError());
        return false;
    }
    for (const char* key : kLastDateKeys)
        inventory->last_date.emplace_back(key, saved.ReadString(kLastDateSection, key, ""));
    for (const char* key : kAgentInfoKeys)
        inventory->agent_info.emplace_back(key, saved.ReadString(kAgentInfoSection, key, ""));
    ReadTables(saved, inventory);
    CheckCount(saved, inventory, kPhysicalContainerSection, "NrContainer");
    CheckCount(saved, inventory, kFunctionalContainerSection, "NrContainer");
    CheckCount(saved, inventory, kComponentTableSection, "NrComponents");
    CheckCount(saved, inventory, kFirmwareUpdateSection, "NrUpdObjects");
    CheckContainers(inventory, kPhysicalContainerSection);
    CheckContainers(inventory, kFunctionalContainerSection);
    CheckReferences(inventory);
    return true;
}

}  // namespace cx::cxinv
