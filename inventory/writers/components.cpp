// Rows of [Component Table] and [Firmware Update], and the storage controller's functional
// container with its bookkeeping.
#include <cstring>

#include "base/file_debug.h"
#include "inventory/cx_agent.h"
#include "inventory/inventory_sections.h"

using namespace cx::inventory;

namespace {

// Appends `text` to a record field, keeping it within the field (the end is cut).
void AppendEntryText(char* field, const char* text) {
    std::size_t length = strnlen(field, kEntryTextSize - 1);
    CopyEntryText(field + length, text, kEntryTextSize - length);
}

// A collector may have filled a text field to the brim; every field is written terminated.
void TerminateTexts(ComponentEntry* entry) {
    for (char* field :
         {entry->Vendor, entry->ProdName, entry->ProdNumber, entry->ProdDescript, entry->Version,
          entry->ManuDate, entry->SerialNo, entry->Language, entry->CompId}) {
        field[kEntryTextSize - 1] = '\0';
    }
}

void ApplyComponentDefaults(ComponentEntry* entry) {
    if (entry->ProdName[0] == '\0') CopyEntryText(entry->ProdName, "unknown");
    if (entry->Vendor[0] == '\0') CopyEntryText(entry->Vendor, "N/A");
    if (entry->Version[0] == '\0' || entry->Version[0] == ' ') {
        CopyEntryText(entry->Version, "N/A");
    }
}

void WriteComponentRow(ProfileFile& actual, DWORD row, const ComponentEntry& entry) {
    const char* section = kComponentTableSection;
    actual.WriteInt(section, "NrComponents", row);
    actual.WriteInt(section, RowKey("PhysCont", row), entry.PhysCont);
    actual.WriteInt(section, RowKey("FuncCont", row), entry.FuncCont);
    actual.WriteInt(section, RowKey("CompType", row), entry.CompType);
    actual.WriteString(section, RowKey("Vendor", row), entry.Vendor);
    actual.WriteString(section, RowKey("ProdName", row), entry.ProdName);
    actual.WriteString(section, RowKey("ProdNumber", row), entry.ProdNumber);
    actual.WriteString(section, RowKey("ProdDescript", row), entry.ProdDescript);
    actual.WriteString(section, RowKey("ManuDate", row), entry.ManuDate);
    actual.WriteString(section, RowKey("Version", row), entry.Version);
    actual.WriteString(section, RowKey("SerialNo", row), entry.SerialNo);
    actual.WriteString(section, RowKey("Language", row), entry.Language);
    actual.WriteString(section, RowKey("CompId", row), entry.CompId);
}

void TerminateTexts(FwUpdateObject* object) {
    for (char* field : {object->ObjectName, object->ObjectParent, object->ObjectPath}) {
        field[kEntryTextSize - 1] = '\0';
    }
}

}  // namespace

const char* BusTypeSuffix(DWORD bus_type) {
    switch (bus_type) {
        case 2: return " (ISA)";
        case 3: return " (EISA)";
        case 5: return " (PCI)";
        default: return " (unknown)";
    }
}

void CCX_Agent::InsertScsiSystem(ComponentEntry* component, DWORD parent, ScsiCtrl* controller) {
    InsertFunctionalContainer("SCSISystem", parent, nullptr, -1);
    if (component == nullptr) return;
    component->CompType = kCompStorageController;
    if (controller == nullptr) return;
    controller->PhysCont = CurPhysContainer;
    controller->FuncCont = CurFuncContainer;
    component->ProdName[kEntryTextSize - 1] = '\0';
    CopyEntryText(controller->CtrlName, component->ProdName, sizeof(controller->CtrlName));
    component->ProdDescript[kEntryTextSize - 1] = '\0';
    AppendEntryText(component->ProdDescript, BusTypeSuffix(controller->BusType));
}

void CCX_Agent::InsertComponent(ComponentEntry* component) {
    if (component == nullptr) return;
    TerminateTexts(component);
    ApplyComponentDefaults(component);
    DWORD row = ++NrComponents;
    if (row == 1) {
        m_ActualFile.WriteString(kComponentTableSection, nullptr, nullptr);
        CX_TRACE(3, "\n   Init Component Table");
    }
    CX_TRACE(5, "\nCX_MIB              : Insert component entry Nr. %u \"%s\" (Type: %u)", row,
             component->ProdDescript, component->CompType);
    CX_TRACE(5, "\nCX_MIB              :   Vendor      : %s", component->Vendor);
    CX_TRACE(5, "\nCX_MIB              :   Model       : %s", component->ProdName);
    CX_TRACE(5, "\nCX_MIB              :   Version     : %s", component->Version);
    component->PhysCont = CurPhysContainer;
    component->FuncCont = CurFuncContainer;
    WriteComponentRow(m_ActualFile, row, *component);
    CX_TRACE(5, "\n    CONTAINER       : (PC)%u (FC)%u (CT)%02X", component->PhysCont,
             component->FuncCont, component->CompType);
}

void CCX_Agent::InsertFwUpdateObject(FwUpdateObject* object) {
    if (object == nullptr) return;
    TerminateTexts(object);
    const char* section = kFirmwareUpdateSection;
    // The count lives only in the file, so objects of one scan keep counting wherever they
    // come from.
    DWORD row = m_ActualFile.ReadInt(section, "NrUpdObjects", 0);
    if (row == 0) {
        m_ActualFile.WriteString(section, nullptr, nullptr);
        CX_TRACE(3, "\n   Init Firmware Update Object Table");
    }
    ++row;
    m_ActualFile.WriteInt(section, "NrUpdObjects", row);

    if (object->ObjectName[0] == '\0') {
        std::snprintf(object->ObjectName, sizeof(object->ObjectName), "FwObj%u", row);
    }
    m_ActualFile.WriteString(section, RowKey("ObjectName", row), object->ObjectName);
    if (object->ObjectParent[0] == '\0') CopyEntryText(object->ObjectParent, "N/A");
    m_ActualFile.WriteString(section, RowKey("ObjectParent", row), object->ObjectParent);
    if (object->ObjectPath[0] == '\0') CopyEntryText(object->ObjectPath, "N/A");
    m_ActualFile.WriteString(section, RowKey("ObjectPath", row), object->ObjectPath);

    // The update state belongs to the object's name, whatever row the name had before.
    LONG saved_row = m_SavedFile.FindKeyNumber(section, "ObjectName", object->ObjectName);
    object->UpdateState =
        saved_row > 0 ? static_cast<LONG>(m_SavedFile.ReadInt(
                            section, RowKey("UpdateState", static_cast<DWORD>(saved_row)), 0))
                      : 0;
    m_ActualFile.WriteInt(section, RowKey("UpdateState", row),
                          static_cast<DWORD>(object->UpdateState));

    if (object->CompIndex == 0) object->CompIndex = static_cast<LONG>(NrComponents);
    m_ActualFile.WriteInt(section, RowKey("CompIndex", row), static_cast<DWORD>(object->CompIndex));

    CX_TRACE(5, "\nCX_MIB              : Insert firmware update entry %u", row);
    CX_TRACE(5, "\nCX_MIB              :   Name      : %s", object->ObjectName);
    CX_TRACE(5, "\nCX_MIB              :   Parent    : %s", object->ObjectParent);
    CX_TRACE(5, "\nCX_MIB              :   Path      : %s", object->ObjectPath);
    CX_TRACE(5, "\nCX_MIB              :   CompIndex : %d", object->CompIndex);
    CX_TRACE(5, "\nCX_MIB              :   State     : %d", object->UpdateState);
}
