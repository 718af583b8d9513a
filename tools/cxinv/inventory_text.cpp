// The trees and the JSON form of a saved inventory.
#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

#include "inventory/inventory_sections.h"
#include "inventory_text.h"

namespace cx::cxinv {

namespace {

using namespace cx::inventory;

std::string Indent(int depth) { return std::string(static_cast<std::size_t>(depth) * 2, ' '); }

std::string NodeTypeName(const SavedInventory& inventory, const char* definitions, DWORD type) {
    for (const Row& row : inventory.Rows(definitions).rows)
        if (row.Number(row_key::kType) == type) return row.Text(row_key::kName);
    return "type " + std::to_string(type);
}

std::string ComponentLine(const SavedInventory& inventory, const Row& row) {
    std::string line = "#" + std::to_string(row.no) + " " +
                       inventory.TypeName(row.Number(row_key::kCompType)) + ": " +
                       row.Text(row_key::kVendor) + " " + row.Text(row_key::kProdName);
    std::string details;
    for (const char* key :
         {row_key::kProdNumber, row_key::kVersion, row_key::kSerialNo, row_key::kCompId}) {
        std::string value = row.Text(key);
        if (value.empty() || value == "N/A") continue;
        details += (details.empty() ? "" : ", ") + std::string(key) + " " + value;
    }
    return details.empty() ? line : line + " (" + details + ")";
}

struct Tree {
    const char* title;
    const char* containers;
    const char* definitions;
    const char* component_key;
};

// Deeper nesting is drawn at this depth: a file may nest as deep as it has containers.
constexpr int kMaxDepth = 32;

void AddTree(const SavedInventory& inventory, const Tree& tree, std::string* out) {
    *out += "\n" + std::string(tree.title) + "\n";
    // Rows are numbered 1, 2, ... without gaps; index 0 holds the roots, and the components
    // that are in no container of this tree.
    const std::vector<Row>& containers = inventory.Rows(tree.containers).rows;
    std::vector<std::vector<const Row*>> children(containers.size() + 1);
    for (const Row& row : containers)
        children[inventory.ParentOf(tree.containers, row.no)].push_back(&row);
    std::vector<std::vector<const Row*>> contents(containers.size() + 1);
    for (const Row& row : inventory.Rows(kComponentTableSection).rows) {
        DWORD container = row.Number(tree.component_key);
        contents[container <= containers.size() ? container : 0].push_back(&row);
    }
    std::vector<std::pair<const Row*, int>> stack;  // depth first, without recursion
    for (auto root = children[0].rbegin(); root != children[0].rend(); ++root)
        stack.emplace_back(*root, 1);
    while (!stack.empty()) {
        auto [container, depth] = stack.back();
        stack.pop_back();
        int shown = std::min(depth, kMaxDepth);
        *out += Indent(shown) + "[" + std::to_string(container->no) + "] " +
                container->Text(row_key::kName) + " (" +
                NodeTypeName(inventory, tree.definitions, container->Number(row_key::kType)) +
                ")\n";
        for (const Row* component : contents[container->no])
            *out += Indent(shown + 2) + ComponentLine(inventory, *component) + "\n";
        const std::vector<const Row*>& below = children[container->no];
        for (auto child = below.rbegin(); child != below.rend(); ++child)
            stack.emplace_back(*child, depth + 1);
    }
    if (contents[0].empty()) return;
    *out += Indent(1) + "(no container)\n";
    for (const Row* component : contents[0])
        *out += Indent(3) + ComponentLine(inventory, *component) + "\n";
}

const NamedValues& Header(const SavedInventory& inventory, bool agent) {
    return agent ? inventory.agent_info : inventory.last_date;
}

void AddObject(const NamedValues& values, std::string* out) {
    *out += "{";
    const char* separator = "";
    for (const auto& [key, value] : values) {
        *out += separator + JsonString(key) + ": " + JsonString(value);
        separator = ", ";
    }
    *out += "}";
}

void AddRow(const Row& row, std::string* out) {
    *out += "{\"No\": " + std::to_string(row.no);
    for (const Field& field : row.fields) {
        *out += ", " + JsonString(field.key) + ": " +
                (field.text ? JsonString(field.value) : std::to_string(field.number));
    }
    *out += "}";
}

// Lead-in byte length of a UTF-8 sequence at `text`, 0 when none starts there.
std::size_t Utf8Length(std::string_view text) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    auto follows = [&](std::size_t n) {
        if (text.size() < n) return false;
        for (std::size_t i = 1; i < n; ++i)
            if ((byte(i) & 0xC0) != 0x80) return false;
        return true;
    };
    unsigned char lead = byte(0);
    if (lead >= 0xC2 && lead <= 0xDF) return follows(2) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        if (!follows(3)) return 0;
        bool overlong = lead == 0xE0 && byte(1) < 0xA0;
        bool surrogate = lead == 0xED && byte(1) >= 0xA0;
        return overlong || surrogate ? 0 : 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        if (!follows(4)) return 0;
        bool overlong = lead == 0xF0 && byte(1) < 0x90;
        bool too_large = lead == 0xF4 && byte(1) >= 0x90;
        return overlong || too_large ? 0 : 4;
    }
    return 0;
}

}  // namespace

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F || (c >= 0x80 && Utf8Length(text.substr(i)) == 0)) {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\u%04x", c);
            out += escaped;
        } else if (c >= 0x80) {
            std::size_t length = Utf8Length(text.substr(i));
            out.append(text.substr(i, length));
            i += length;
            continue;
        } else {
            out += static_cast<char>(c);
        }
        ++i;
    }
    return out + "\"";
}

std::string Printable(std::string text) {
    for (char& c : text) {
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\n') || c == 0x7F) c = '?';
    }
    return text;
}

std::string TreeText(const SavedInventory& inventory) {
    const NamedValues& date = Header(inventory, false);
    const NamedValues& agent = Header(inventory, true);
    std::string out = inventory.path + ": scan of " + ValueOf(date, "LastCollectionDate") +
                      ", ScanState " + ValueOf(date, "ScanState") + ", " +
                      std::to_string(inventory.Rows(kComponentTableSection).rows.size()) +
                      " components\n";
    out += "Agent: " + ValueOf(agent, "AgentId") + " " + ValueOf(agent, "AgentVersion") + " (" +
           ValueOf(agent, "AgentCompany") + ")\n";
    AddTree(inventory,
            {"Physical tree", kPhysicalContainerSection, kPhysicalDefinitionSection,
             row_key::kPhysCont},
            &out);
    AddTree(inventory,
            {"Functional tree", kFunctionalContainerSection, kFunctionalDefinitionSection,
             row_key::kFuncCont},
            &out);
    return Printable(std::move(out));
}

std::string JsonText(const SavedInventory& inventory) {
    std::string out = "{\n  \"File\": " + JsonString(inventory.path) + ",\n  ";
    out += JsonString(kLastDateSection) + ": ";
    AddObject(inventory.last_date, &out);
    out += ",\n  " + JsonString(kAgentInfoSection) + ": ";
    AddObject(inventory.agent_info, &out);
    out += ",\n  " + JsonString(kComponentDefinitionSection) + ": [";
    const char* separator = "\n    ";
    for (const auto& [type, name] : inventory.component_types) {
        out += separator + std::string("{\"CompType\": ") + std::to_string(type) +
               ", \"Name\": " + JsonString(name) + "}";
        separator = ",\n    ";
    }
    out += inventory.component_types.empty() ? "]" : "\n  ]";
    for (const Table& table : inventory.tables) {
        out += ",\n  " + JsonString(table.section) + ": [";
        separator = "\n    ";
        for (const Row& row : table.rows) {
            out += separator;
            AddRow(row, &out);
            separator = ",\n    ";
        }
        out += table.rows.empty() ? "]" : "\n  ]";
    }
    return out + "\n}\n";
}

}  // namespace cx::cxinv
