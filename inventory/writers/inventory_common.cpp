// The start of every scan's inventory file: [Last Date] and [Agent Info], then the definition
// sections copied from the table file.
#include <ctime>
#include <iterator>
#include <string>

#include "base/file_debug.h"
#include "inventory/cx_agent.h"
#include "inventory/inventory_sections.h"
#include "inventory/scan_stamp.h"

using namespace cx::inventory;

namespace {

// One string of the agent library's own version resource; "" when the library's path is not
// known (an agent that was not loaded as a library).
std::string AgentVersionString(CFileVersionInfo& info, const char* module_path, const char* name) {
    if (module_path[0] == '\0') return std::string();
    return std::string(info.QueryValue(module_path, name));
}

// Row `row` of a definition section: the node type name and its number from the table's tree.
void WriteDefinition(ProfileFile& actual, ProfileFile& table, const char* section, const char* tree,
                     const char* label, DWORD row, const char* name) {
    UINT type = table.ReadInt(tree, name, 0);
    char cut_name[kEntryTextSize];
    CopyEntryText(cut_name, name);
    CX_TRACE(3, "\nCX_MIB              : Insert %s definition %u", label, row);
    CX_TRACE(3, "\nCX_MIB              :   Name        : %s", cut_name);
    CX_TRACE(3, "\nCX_MIB              :   Type        : %u", type);
    actual.WriteInt(section, RowKey("Type", row), type);
    actual.WriteString(section, RowKey("Name", row), cut_name);
}

}  // namespace

void CCX_Agent::InitCommon() {
    CX_TRACE(3, "\n  CX_Mib: Init common");
    m_ActualFile.WriteString(kLastDateSection, nullptr, nullptr);
    m_ActualFile.WriteString(kAgentInfoSection, nullptr, nullptr);

    const ScanStamp now(std::time(nullptr));
    const char* const last_date[] = {now.date, now.date, now.seconds, now.seconds, "SCANNING"};
    static_assert(std::size(last_date) == std::size(kLastDateKeys));
    for (std::size_t i = 0; i < std::size(kLastDateKeys); ++i) {
        m_ActualFile.WriteString(kLastDateSection, kLastDateKeys[i], last_date[i]);
    }

    m_ActualFile.WriteString(
        kAgentInfoSection, "AgentId",
        AgentVersionString(m_VersionInfo, m_szModulePath, "FileDescription").c_str());
    m_ActualFile.WriteString(
        kAgentInfoSection, "AgentCompany",
        AgentVersionString(m_VersionInfo, m_szModulePath, "CompanyName").c_str());
    m_ActualFile.WriteString(
        kAgentInfoSection, "AgentVersion",
        AgentVersionString(m_VersionInfo, m_szModulePath, "FileVersion").c_str());
    m_ActualFile.WriteString(kAgentInfoSection, "AgentBuild", kInventoryBuildStamp);
}

void CCX_Agent::InitComponentDefinitions() {
    CX_TRACE(3, "\nCX_MIB              : Init Component Definition Table");
    const char* name = m_DefinitionTable.FirstKey(kComponentTypeSection);
    if (*name != '\0') m_ActualFile.WriteString(kComponentDefinitionSection, nullptr, nullptr);
    for (; *name != '\0'; name = m_DefinitionTable.NextKey()) {
        const char* number = m_DefinitionTable.ReadString(kComponentTypeSection, name, "");
        // A type without a number cannot become a key of the definition section.
        if (*number == '\0') continue;
        m_ActualFile.WriteString(kComponentDefinitionSection, number, name);
        CX_TRACE(4, "\nComp Type : (%s) = %s", number, name);
    }

    CX_TRACE(3, "\nCX_MIB              : Insert Physical Definition");
    name = m_DefinitionTable.FirstKey(kPhysicalTreeSection);
    if (*name != '\0') m_ActualFile.WriteString(kPhysicalDefinitionSection, nullptr, nullptr);
    for (; *name != '\0'; name = m_DefinitionTable.NextKey())
        InsertPhysicalDefinition(name);

    CX_TRACE(3, "\nCX_MIB              : Insert Functional Definition");
    name = m_DefinitionTable.FirstKey(kFunctionalTreeSection);
    if (*name != '\0') m_ActualFile.WriteString(kFunctionalDefinitionSection, nullptr, nullptr);
    for (; *name != '\0'; name = m_DefinitionTable.NextKey())
        InsertFunctionalDefinition(name);

    m_ActualFile.WriteString(kFirmwareUpdateSection, nullptr, nullptr);
    m_ActualFile.WriteString(kComponentTableSection, nullptr, nullptr);
}

void CCX_Agent::InsertPhysicalDefinition(const char* name) {
    if (name == nullptr) return;
    DWORD row = ++NrPhysDefinitions;
    if (row == 1) {
        m_ActualFile.WriteString(kPhysicalDefinitionSection, nullptr, nullptr);
        CX_TRACE(3, "\n   Init Physical Definition Table");
    }
    WriteDefinition(m_ActualFile, m_DefinitionTable, kPhysicalDefinitionSection,
                    kPhysicalTreeSection, "physical", row, name);
}

void CCX_Agent::InsertFunctionalDefinition(const char* name) {
    if (name == nullptr) return;
    DWORD row = ++NrFuncDefinitions;
    if (row == 1) {
        m_ActualFile.WriteString(kFunctionalDefinitionSection, nullptr, nullptr);
        CX_TRACE(3, "\n   Init Functional Definition Table");
    }
    WriteDefinition(m_ActualFile, m_DefinitionTable, kFunctionalDefinitionSection,
                    kFunctionalTreeSection, "functional", row, name);
}
