// Placeholder until the MIB builder and the comparison land.
#include "inventory/cx_agent.h"

void CCX_Agent::FillMib() {}
void CCX_Agent::SetScanState(DWORD state) { ScanState = state; }
BOOL CCX_Agent::CompareFiles() { return FALSE; }
BOOL CCX_Agent::MakeDataPath(const char*, char*, DWORD) { return FALSE; }
FILE* CCX_Agent::OpenDataFile(const char*, const char*) { return nullptr; }
BOOL CCX_Agent::CloseDataFile(FILE*) { return TRUE; }
BOOL CCX_Agent::CopyDataFile(const char*, const char*, BOOL) { return FALSE; }
BOOL CCX_Agent::DeleteDataFile(const char*) { return FALSE; }
