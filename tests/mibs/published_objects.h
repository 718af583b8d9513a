// Every object the inventory agent publishes, with the name it registers, for the tests that
// check the MIB module against the agent's tree.
#pragma once

#include <string>

namespace cx::test {

constexpr const char* kCatalixRoot = ".1.3.6.1.4.1.7391.2.10.2.10";
constexpr const char* kModuleName = "CATALIX-INVENTORY-MIB";

enum class ValueType { kInteger, kText };

struct PublishedObject {
    const char* agent_name;  // as the agent registers it, blanks and letter case included
    const char* oid;         // below kCatalixRoot; a column without its row sub-identifier
    ValueType type;
    bool column;
};

inline constexpr PublishedObject kPublishedObjects[] = {
    {"avkCxAgentId", ".1.1", ValueType::kText, false},
    {"avkCxAgentCompany", ".1.2", ValueType::kText, false},
    {"avkCxAgentVersion", ".1.3", ValueType::kText, false},
    {"avkCxAgentBuild", ".1.4", ValueType::kText, false},
    {"avkCxLastDate", ".2.1", ValueType::kInteger, false},
    {"avkCxLastScan", ".2.2", ValueType::kInteger, false},
    {"avkCxScanState", ".2.3", ValueType::kInteger, false},
    {"avkCxCompDefNo", ".3.1.1.1", ValueType::kInteger, true},
    {"avkCxCompDefType", ".3.1.1.2", ValueType::kInteger, true},
    {"avkCxCompDefName", ".3.1.1.3", ValueType::kText, true},
    {"avkCxPhysNodeDefNo", ".3.2.1.1", ValueType::kInteger, true},
    {"avkCxPhysNodeDefType", ".3.2.1.2", ValueType::kInteger, true},
    {"avkCxPhysNodeDefName", ".3.2.1.3", ValueType::kText, true},
    {"avkCxFuncNodeDefNo", ".3.3.1.1", ValueType::kInteger, true},
    {"avkCxFuncNodeDefType", ".3.3.1.2", ValueType::kInteger, true},
    {"avkCxFuncNodeDefName", ".3.3.1.3", ValueType::kText, true},
    {"avkCxPhysContNo", ".4.1.1.1", ValueType::kInteger, true},
    {"avkCxPhysContType", ".4.1.1.2", ValueType::kInteger, true},
    {"avkCxPhysContParent", ".4.1.1.3", ValueType::kInteger, true},
    {"avkCxPhyscContName", ".4.1.1.4", ValueType::kText, true},
    {"avkCxFuncContNo ", ".4.2.1.1", ValueType::kInteger, true},
    {"avkCxFuncContType", ".4.2.1.2", ValueType::kInteger, true},
    {"avkCxFuncContParent", ".4.2.1.3", ValueType::kInteger, true},
    {"avkCxFuncContName", ".4.2.1.4", ValueType::kText, true},
    {"avkCxInfoNo", ".5.1.1.1", ValueType::kInteger, true},
    {"avkCxInfoPhysContNo", ".5.1.1.2", ValueType::kInteger, true},
    {"avkCxInfoFuncContNo", ".5.1.1.3", ValueType::kInteger, true},
    {"avkCxInfoCompType", ".5.1.1.4", ValueType::kInteger, true},
    {"avkCxInfoVendor", ".5.1.1.5", ValueType::kText, true},
    {"avkCxInfoProductName", ".5.1.1.6", ValueType::kText, true},
    {"avkCxInfoProductNumber", ".5.1.1.7", ValueType::kText, true},
    {"avkCxInfoProductDescription", ".5.1.1.8", ValueType::kText, true},
    {"avkCxInfoVersion", ".5.1.1.9", ValueType::kText, true},
    {"avkCxInfoManufacturingDate", ".5.1.1.10", ValueType::kText, true},
    {"avkCxInfoSerialNo", ".5.1.1.11", ValueType::kText, true},
    {"avkCxInfoLanguage", ".5.1.1.12", ValueType::kText, true},
    {"avkCxInfoCompId", ".5.1.1.13", ValueType::kText, true},
    {"AvkCxFwuObjectNo", ".6.1.1.1", ValueType::kInteger, true},
    {"AvkCxFwuObjectName", ".6.1.1.2", ValueType::kText, true},
    {"AvkCxFwuObjectPath", ".6.1.1.3", ValueType::kText, true},
    {"AvkCxFwuObjectParent", ".6.1.1.4", ValueType::kText, true},
    {"AvkCxFwuObjectUpdateState", ".6.1.1.5", ValueType::kInteger, true},
    {"AvkCxFwuObjectComponentIndex", ".6.1.1.6", ValueType::kInteger, true},
};

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
