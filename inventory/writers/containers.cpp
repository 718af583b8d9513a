// The two container trees: rows of [Physical Container] and [Functional Container], each
// insertion making its container the current one of its tree.
#include "base/file_debug.h"
#include "inventory/cx_agent.h"
#include "inventory/inventory_sections.h"

using namespace cx::inventory;

namespace {

// Appends row `row`; the first row of a scan replaces whatever an earlier scan left.
void WriteContainer(ProfileFile& actual, const char* section, DWORD row, LONG type, DWORD parent,
                    const char* name) {
    actual.WriteInt(section, "NrContainer", row);
    actual.WriteInt(section, RowKey("Type", row), static_cast<DWORD>(type));
    actual.WriteInt(section, RowKey("Parent", row), parent);
    actual.WriteString(section, RowKey("Name", row), name);
}

}  // namespace

void CCX_Agent::InsertPhysicalContainer(const char* name, DWORD parent, const char* type_key,
                                        LONG type) {
    if (name == nullptr) return;
    char cut_name[kEntryTextSize];
    CopyEntryText(cut_name, name);
    // Without a type key a type of -1 stays: readers take 4294967295 as "no type".
    if (type == -1 && type_key != nullptr && *type_key != '\0') {
        type = static_cast<LONG>(m_DefinitionTable.ReadInt(kPhysicalTreeSection, type_key, 0));
    }
    DWORD row = ++NrPhysContainers;
    if (row == 1) {
        m_ActualFile.WriteString(kPhysicalContainerSection, nullptr, nullptr);
        CX_TRACE(3, "\n   Init Physical Container Table");
    }
    WriteContainer(m_ActualFile, kPhysicalContainerSection, row, type, parent, cut_name);
    CurPhysContainer = row;
    CX_TRACE(5, "\n   Physical Cont.   : (N)%u (T)%d (P)%u %s", row, type, parent, cut_name);
}

void CCX_Agent::InsertFunctionalContainer(const char* name, DWORD parent, const char* type_key,
                                          LONG type) {
    if (name == nullptr) return;
    char cut_name[kEntryTextSize];
    CopyEntryText(cut_name, name);
    if (type == -1) {
        const char* key = type_key != nullptr ? type_key : name;
        type = static_cast<LONG>(m_DefinitionTable.ReadInt(kFunctionalTreeSection, key, 0));
    }
    DWORD row = ++NrFuncContainers;
    if (row == 1) {
        m_ActualFile.WriteString(kFunctionalContainerSection, nullptr, nullptr);
        CX_TRACE(3, "\n   Init Functional Container Table");
    }
    WriteContainer(m_ActualFile, kFunctionalContainerSection, row, type, parent, cut_name);
    CurFuncContainer = row;
    CX_TRACE(5, "\n   Functional Cont. : (N)%u (T)%d (P)%u %s", row, type, parent, cut_name);
}
