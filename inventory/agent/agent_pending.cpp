// Placeholder until the life cycle lands.
#include "inventory/cx_agent.h"

CCX_Agent::CCX_Agent() {}
CCX_Agent::~CCX_Agent() {}
void CCX_Agent::RcmiReply(CSwitchCommand*) {}
void CCX_Agent::InitializeMib() {}
void CCX_Agent::CloseMib() {}
DWORD WINAPI CCX_Agent::ScanThreadMain(LPVOID) { return 0; }
DWORD WINAPI CCX_Agent::WatchThreadMain(LPVOID) { return 0; }
void CCX_Agent::CxRescan() {}
void CCX_Agent::StartSnmpServiceWatch() {}
void CCX_Agent::StopSnmpServiceWatch() {}
void CCX_Agent::SnmpServiceWatch() {}
DWORD CCX_Agent::ReadScanTime() { return 7200; }
BOOL CCX_Agent::ScanDriver() { return FALSE; }
BOOL CCX_Agent::IsAgentInitialized(const char*) { return FALSE; }
BOOL CreateCatalixAgent(CSnmpAgent** agent) {
    auto* created = new (std::nothrow) CCX_Agent;
    if (created != nullptr) created->AddMibRegion(kCatalixMibRoot, nullptr);
    *agent = created;
    return created != nullptr;
}
