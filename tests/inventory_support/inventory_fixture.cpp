// The in-process fixture of the inventory agent's tests.
#include "inventory_fixture.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "base/file_debug.h"
#include "child_process.h"
#include "collectors/catalix_collectors.h"
#include "framework/agent_globals.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "platform/registry_store.h"
#include "platform/winreg.h"
#include "trace_reader.h"

namespace cx::test {

std::string EntryTexts(const ComponentEntry& e) {
    std::string text;
    for (const char* field : {e.Vendor, e.ProdName, e.ProdNumber, e.ProdDescript, e.Version,
                              e.ManuDate, e.SerialNo, e.Language, e.CompId})
        text += std::string(field, strnlen(field, kEntryTextSize)) + "|";
    text.pop_back();
    return text;
}

std::unique_ptr<CCX_Agent> MakeLoadedAgent(const std::string& data_root) {
    auto agent = std::make_unique<CCX_Agent>(CatalixCollectors());
    // InitModule needs the agent library itself; the framework's constructor clears the name.
    std::snprintf(g_szModuleName, sizeof(g_szModuleName), "%s", "CX_MIB");
    CSnmpAgent& framework = *agent;
    std::snprintf(framework.m_szCommonRoot, sizeof(framework.m_szCommonRoot), "%s",
                  agent->m_szRegistryRoot);
    const std::string agent_root = std::string(agent->m_szRegistryRoot) + "\\CX_MIB";
    std::snprintf(framework.m_szAgentRoot, sizeof(framework.m_szAgentRoot), "%s",
                  agent_root.c_str());
    std::snprintf(framework.m_szDataRoot, sizeof(framework.m_szDataRoot), "%s", data_root.c_str());
    return agent;
}

void InventoryTest::SetUp() {
    CxRegistrySetPath(dir_.File("registry.db").c_str());
    SetRegString("SOFTWARE\\Arvenmark\\#Setup", "DataRoot", dir_.Path());
    SetRegString("SOFTWARE\\Arvenmark\\#Setup", "FileRoot", dir_.Path());
    SetRegDword("SOFTWARE\\Debug\\CX_MIB", "FileDebugLevel", 5);
    SetRegString("SOFTWARE\\Debug\\CX_MIB", "TraceFile", dir_.File("trace.txt"));
    g_FileDebug.Init("CX_MIB", FALSE);
    AgentShutdown = 0;
    agent_ = MakeLoadedAgent(dir_.Path());
    agent_->m_ActualFile.SetPath(dir_.File("Catalix.act").c_str());
    agent_->m_ActualFile.Open(FALSE);
    agent_->m_SavedFile.SetPath(dir_.File("Catalix.sav").c_str());
    agent_->m_SavedFile.Open(FALSE);
}

void InventoryTest::TearDown() {
    agent_.reset();
    AgentShutdown = 0;
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, nullptr);
    g_FileDebug.Init(nullptr, FALSE);
}

void InventoryTest::WriteTableFile(const std::string& text) {
    WriteDataFile("CX_MIB.ini", text);
    std::string path = dir_.File("CX_MIB.ini");
    agent_->m_DefinitionTable.SetPath(path.c_str());
    agent_->m_DefinitionTable.Open(TRUE);
    agent_->m_RequestTable.SetPath(path.c_str());
    agent_->m_RequestTable.Open(TRUE);
}

std::string InventoryTest::DataFile(const std::string& name) const {
    // Profile writes of this process reach the disk first.
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, nullptr);
    return ReadFile(dir_.File(name));
}

void InventoryTest::WriteDataFile(const std::string& name, const std::string& text) const {
    WriteFile(dir_.File(name), text);
}

bool InventoryTest::DataFileExists(const std::string& name) const {
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, nullptr);
    return GetFileAttributesA(dir_.File(name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string InventoryTest::TraceText() const { return ReadFile(dir_.File("trace.txt")); }

std::size_t InventoryTest::TraceCount(const std::string& text) const {
    return CountOf(TraceText(), text);
}

}  // namespace cx::test
