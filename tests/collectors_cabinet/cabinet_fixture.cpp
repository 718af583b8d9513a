// The cabinet collector's fixture.
#include "cabinet_fixture.h"

#include <cstdio>

#include "platform/objbase.h"
#include "platform/profile.h"

namespace cx::test {

const char* const kOneCabinet =
    "reply 0xE204 0 0 0 : word 1\n"
    "reply 0x0C00 0x2002 0 1 : text \"Arden T40 Tower\"\n"
    "reply 0x0C00 0x2102 0 1 : text \"Arden T40 Chassis\"\n";

std::string TextLine(unsigned item, unsigned object, unsigned cabinet, const std::string& text) {
    char head[64];
    std::snprintf(head, sizeof(head), "reply 0x0C00 0x%04X %u %u : text \"", item, object, cabinet);
    return head + text + "\"\n";
}

void CabinetTest::SetUp() {
    InventoryTest::SetUp();
    SetRegString("SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ActiveComputerName",
                 "ComputerName", "TESTHOST");
}

void CabinetTest::TearDown() {
    agent_->m_SwitchClient.Detach();
    if (com_) CoUninitialize();
    switchd_.reset();
    InventoryTest::TearDown();
}

void CabinetTest::Start(const std::string& scenario, bool snmp_ups) {
    std::string text = ReadFile(CX_TABLE_FILE);
    if (!snmp_ups) {
        for (std::size_t at = text.find("Method=SNMP"); at != std::string::npos;
             at = text.find("Method=SNMP", at))
            text.replace(at, 11, "Method=NONE");
    }
    WriteTableFile(text);
    switchd_ = std::make_unique<SwitchdProcess>(dir_);
    switchd_->RegisterClass();
    ASSERT_TRUE(switchd_->Start(scenario));
    const HRESULT result = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    com_ = result == S_OK || result == S_FALSE;
    ASSERT_TRUE(agent_->m_SwitchClient.Attach(nullptr));
}

void CabinetTest::RunCollector() { agent_->InitCabinets(); }

std::string CabinetTest::Actual(const std::string& section, const std::string& key) {
    char value[1024] = {};
    GetPrivateProfileStringA(section.c_str(), key.c_str(), "", value, sizeof(value),
                             DataPath("Catalix.act").c_str());
    return value;
}

unsigned CabinetTest::Row(const std::string& prod_name) {
    const unsigned count = std::stoul("0" + Actual("Component Table", "NrComponents"));
    for (unsigned row = 1; row <= count; ++row) {
        if (Field(row, "ProdName") == prod_name) return row;
    }
    return 0;
}

std::string CabinetTest::Field(unsigned row, const std::string& field) {
    return Actual("Component Table", field + "." + std::to_string(row));
}

unsigned CabinetTest::CountOfType(unsigned type) {
    const unsigned count = std::stoul("0" + Actual("Component Table", "NrComponents"));
    unsigned found = 0;
    for (unsigned row = 1; row <= count; ++row) {
        if (Field(row, "CompType") == std::to_string(type)) ++found;
    }
    return found;
}

unsigned CabinetTest::ObjectComponent(const std::string& name) {
    const unsigned count = std::stoul("0" + Actual("Firmware Update", "NrUpdObjects"));
    for (unsigned row = 1; row <= count; ++row) {
        if (Actual("Firmware Update", "ObjectName." + std::to_string(row)) == name) {
            return std::stoul("0" + Actual("Firmware Update", "CompIndex." + std::to_string(row)));
        }
    }
    return 0;
}

}  // namespace cx::test
