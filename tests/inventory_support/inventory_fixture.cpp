// The in-process fixture of the inventory agent's tests.
#include "inventory_fixture.h"

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "base/file_debug.h"
#include "collectors/catalix_collectors.h"
#include "framework/agent_globals.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "platform/registry_store.h"
#include "platform/winreg.h"
#include "registry_values.h"

namespace cx::test {

void InventoryTest::SetUp() {
    CxRegistrySetPath(dir_.File("registry.db").c_str());
    WriteRegString("SOFTWARE\\Arvenmark\\#Setup", "DataRoot", dir_.Path());
    WriteRegString("SOFTWARE\\Arvenmark\\#Setup", "FileRoot", dir_.Path());
    WriteRegDword("SOFTWARE\\Debug\\CX_MIB", "FileDebugLevel", 5);
    WriteRegString("SOFTWARE\\Debug\\CX_MIB", "TraceFile", dir_.File("trace.txt"));
    g_FileDebug.Init("CX_MIB", FALSE);
    AgentShutdown = 0;
    agent_ = std::make_unique<CCX_Agent>(CatalixCollectors());
    // The module name and roots the library's load gives the agent (InitModule needs the agent
    // library itself); the framework's constructor clears the name.
    std::snprintf(g_szModuleName, sizeof(g_szModuleName), "%s", "CX_MIB");
    CSnmpAgent& framework = *agent_;
    std::snprintf(framework.m_szCommonRoot, sizeof(framework.m_szCommonRoot), "%s",
                  agent_->m_szRegistryRoot);
    const std::string agent_root = std::string(agent_->m_szRegistryRoot) + "\\CX_MIB";
    std::snprintf(framework.m_szAgentRoot, sizeof(framework.m_szAgentRoot), "%s",
                  agent_root.c_str());
    std::snprintf(framework.m_szDataRoot, sizeof(framework.m_szDataRoot), "%s",
                  dir_.Path().c_str());
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
    std::ifstream in(dir_.File(name), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void InventoryTest::WriteDataFile(const std::string& name, const std::string& text) const {
    std::ofstream out(dir_.File(name), std::ios::binary | std::ios::trunc);
    out << text;
}

bool InventoryTest::DataFileExists(const std::string& name) const {
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, nullptr);
    return GetFileAttributesA(dir_.File(name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string InventoryTest::TraceText() const {
    std::ifstream in(dir_.File("trace.txt"), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::size_t InventoryTest::TraceCount(const std::string& text) const {
    std::string trace = TraceText();
    std::size_t count = 0;
    for (std::size_t at = trace.find(text); at != std::string::npos;
         at = trace.find(text, at + text.size())) {
        ++count;
    }
    return count;
}

void InventoryTest::WriteRegString(const char* key, const char* value,
                                   const std::string& text) const {
    SetRegString(key, value, text);
}

void InventoryTest::WriteRegDword(const char* key, const char* value, DWORD number) const {
    SetRegDword(key, value, number);
}

}  // namespace cx::test
