// The difference of two saved inventories, component by component.
#include <map>
#include <utility>
#include <vector>

#include "inventory/inventory_sections.h"
#include "inventory_text.h"

namespace cx::cxinv {

namespace {

using namespace cx::inventory;

// Container numbers change from scan to scan; the identity and the comparison use the names.
constexpr const char* kPlaceKeys[] = {row_key::kPhysCont, row_key::kFuncCont};

std::string Place(const SavedInventory& inventory, const Row& row, const char* key) {
    const char* section = std::string_view(key) == row_key::kPhysCont ? kPhysicalContainerSection
                                                                      : kFunctionalContainerSection;
    return inventory.ContainerPath(section, row.Number(key));
}

std::string Identity(const SavedInventory& inventory, const Row& row) {
    std::string id = row.Text(row_key::kCompId);
    std::string identity = std::to_string(row.Number(row_key::kCompType));
    for (const char* key : kPlaceKeys)
        identity += '\n' + Place(inventory, row, key);
    return identity + '\n' +
           (id.empty() ? "ProdName " + row.Text(row_key::kProdName) : "CompId " + id);
}

// Each component's identity with its occurrence ("#2" for the second component of the same
// identity), in file order.
std::vector<std::pair<std::string, const Row*>> Keyed(const SavedInventory& inventory) {
    std::vector<std::pair<std::string, const Row*>> keyed;
    std::map<std::string, int> seen;
    for (const Row& row : inventory.Rows(kComponentTableSection).rows) {
        std::string identity = Identity(inventory, row);
        keyed.emplace_back(identity + "\n#" + std::to_string(++seen[identity]), &row);
    }
    return keyed;
}

std::string Line(const char* mark, const SavedInventory& inventory, const Row& row) {
    return std::string(mark) + " #" + std::to_string(row.no) + " " +
           inventory.TypeName(row.Number(row_key::kCompType)) + ": " + row.Text(row_key::kVendor) +
           " " + row.Text(row_key::kProdName) + " in " + Place(inventory, row, row_key::kPhysCont) +
           " | " + Place(inventory, row, row_key::kFuncCont) + "\n";
}

std::string Changes(const Row& before, const Row& after) {
    std::string changes;
    for (const Field& field : after.fields) {
        if (!field.text) continue;
        std::string old = before.Text(field.key);
        if (old != field.value)
            changes += "    " + field.key + ": " + JsonString(old) + " -> " +
                       JsonString(field.value) + "\n";
    }
    return changes;
}

}  // namespace

std::string DiffText(const SavedInventory& before, const SavedInventory& after) {
    auto old_rows = Keyed(before);
    auto new_rows = Keyed(after);
    std::map<std::string, const Row*> old_index(old_rows.begin(), old_rows.end());
    std::map<std::string, const Row*> new_index(new_rows.begin(), new_rows.end());
    std::string removed, added, changed;
    for (const auto& [identity, row] : old_rows) {
        auto match = new_index.find(identity);
        if (match == new_index.end()) {
            removed += Line("-", before, *row);
            continue;
        }
        std::string changes = Changes(*row, *match->second);
        if (!changes.empty()) changed += Line("~", after, *match->second) + changes;
    }
    for (const auto& [identity, row] : new_rows)
        if (old_index.count(identity) == 0) added += Line("+", after, *row);
    return Printable(removed + added + changed);
}

}  // namespace cx::cxinv
