// The agent's side of the text rules: each traced as the collectors' traces show it, and the
// Mylex controller names of the definition table.
#include <cstdio>

#include "base/file_debug.h"
#include "storage_steps.h"

void CCX_Agent::DecodeAacVsn(ComponentEntry* component) {
    CX_TRACE(5, "\n   DecodeAacVsn: %s", component->ProdDescript);
    cx::storage::SplitAacVersion(component);
}

void CCX_Agent::DecodeDptVsn(ComponentEntry* component, const char* text) {
    CX_TRACE(5, "\n   DecodeDptVsn: ProductInfo=%s", text != nullptr ? text : "");
    cx::storage::SplitDptVersion(component, text);
    CX_TRACE(5, "\n   DecodeDptVsn: %s", component->ProdDescript);
    if (component->ManuDate[0] != '\0') ConvertManuDate(component);
    CX_TRACE(5, "\n   DecodeDptVsn: Version: %s", component->Version);
    CX_TRACE(5, "\n   DecodeDptVsn: ManuDate: %s", component->ManuDate);
}

void CCX_Agent::ParseDevPath(AicPortEntry* port_entry) {
    port_entry->DevPath[sizeof(port_entry->DevPath) - 1] = '\0';
    CX_TRACE(5, "\n   DevPath %s", port_entry->DevPath);
    cx::storage::SplitDevPath(port_entry->DevPath, &port_entry->TargetId, &port_entry->Lun);
}

int CCX_Agent::FindAssoc(AicAssocList* list, DWORD t1, DWORD i1, DWORD t2, DWORD out[16]) {
    const std::vector<std::size_t>* matches = list->Matches(t1, i1, t2);
    if (matches == nullptr) return 0;
    int count = 0;
    for (const std::size_t position : *matches) {
        if (count == 16) {
            CX_TRACE(3, "\n   MORE THAN 16 ENTRIES !!!");
            break;
        }
        const AicAssocEntry& entry = list->At(position);
        CX_TRACE(3, "\n   Found Assoc T1 %d I1 %d T2 %d I2 %d", entry.T1, entry.I1, entry.T2,
                 entry.I2);
        out[count++] = entry.I2;
    }
    return count;
}

std::string CCX_Agent::GetCtrlName(DWORD type) {
    char key[16];
    std::snprintf(key, sizeof(key), "%04d", static_cast<int>(type));
    const char* name = m_DefinitionTable.ReadString("GamController", key, "");
    if (name == nullptr || name[0] == '\0') {
        CX_TRACE(3, "\nCX_MIB GetCtrlName  : unknown CtrlType %d (0x%02X)", type, type);
        return std::string();
    }
    return name;
}
