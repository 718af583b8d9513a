// Every object the inventory agent publishes, with the name it registers, for the tests that
// check the MIB module against the agent's tree.
#pragma once

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace cx::test {

constexpr const char* kCatalixRoot = ".1.3.6.1.4.1.7391.2.10.2.10";
constexpr const char* kModuleName = "CATALIX-INVENTORY-MIB";

enum class ValueType { kInteger, kText };

struct PublishedObject {
    std::string agent_name;  // as the agent registers it, blanks and letter case included
    std::string oid;         // below kCatalixRoot; a column without its row sub-identifier
    ValueType type;
    bool column;
};

// The objects listed in published_objects.txt, one "agent name|OID|integer or text|scalar or
// column" a line.
inline std::vector<PublishedObject> PublishedObjects() {
    std::vector<PublishedObject> objects;
    std::ifstream in(CX_TEST_DATA "/mibs/published_objects.txt");
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string type, kind;
        PublishedObject& object = objects.emplace_back();
        std::getline(std::getline(std::getline(fields, object.agent_name, '|'), object.oid, '|'),
                     type, '|') >>
            kind;
        object.type = type == "text" ? ValueType::kText : ValueType::kInteger;
        object.column = kind == "column";
    }
    return objects;
}

// The descriptor the module gives an object: SMI descriptors hold no blanks and begin with a
// lower-case letter, so the agent's trailing blank goes and its leading capital is lowered.
inline std::string Descriptor(const PublishedObject& object) {
    std::string name = object.agent_name;
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    if (!name.empty() && name[0] >= 'A' && name[0] <= 'Z')
        name[0] = static_cast<char>(name[0] - 'A' + 'a');
    return name;
}

// The full numeric OID of the object's instance: .0 for a scalar, the row for a column.
inline std::string InstanceOid(const PublishedObject& object, int row) {
    return std::string(kCatalixRoot) + object.oid + "." + std::to_string(object.column ? row : 0);
}

// The instance as snmptranslate and snmpwalk name it with the module loaded.
inline std::string InstanceName(const PublishedObject& object, int row) {
    return std::string(kModuleName) + "::" + Descriptor(object) + "." +
           std::to_string(object.column ? row : 0);
}

}  // namespace cx::test
