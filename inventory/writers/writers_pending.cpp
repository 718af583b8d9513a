// Placeholder until the writers land.
#include "inventory/cx_agent.h"

void ComponentEntry::Clear() { *this = ComponentEntry(); }
void ComponentEntry::SetVendor(const char*, const char*) {}
void ComponentEntry::SetVersion(const char*, const char*) {}
void ComponentEntry::SetProdDescript(const char*) {}
FwUpdateObject::FwUpdateObject(const char*) {}
void CopyEntryText(char*, const char*, std::size_t) {}
void CCX_Agent::InitCommon() {}
void CCX_Agent::InitComponentDefinitions() {}
void CCX_Agent::InsertPhysicalDefinition(const char*) {}
void CCX_Agent::InsertFunctionalDefinition(const char*) {}
void CCX_Agent::InsertPhysicalContainer(const char*, DWORD, const char*, LONG) {}
void CCX_Agent::InsertFunctionalContainer(const char*, DWORD, const char*, LONG) {}
void CCX_Agent::InsertScsiSystem(ComponentEntry*, DWORD, ScsiCtrl*) {}
void CCX_Agent::InsertComponent(ComponentEntry*) {}
void CCX_Agent::InsertFwUpdateObject(FwUpdateObject*) {}
BOOL CCX_Agent::ReadFileVersionInfo(ComponentEntry*, const char*) { return FALSE; }
void CCX_Agent::ConvertManuDate(ComponentEntry*) {}
