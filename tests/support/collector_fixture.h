// A collector's test bench: the in-process inventory agent with readers for the actual file the
// collector wrote and, where the test defines CX_SWITCHD_PATH (and has tests/switch on its
// include path), its SWITCH client attached to a cx-switchd of the test's own and an SNMP host
// replaying a walk.
#pragma once

#include <signal.h>

#include <memory>
#include <string>
#include <vector>

#include "host_start.h"
#include "inventory_fixture.h"
#include "platform/objbase.h"
#include "platform/profile.h"
#include "registry_values.h"
#ifdef CX_SWITCHD_PATH
#include "switchd_process.h"
#endif

namespace cx::test {

class ActualFileTest : public InventoryTest {
  protected:
    // A value of the actual file, "" when missing.
    std::string Actual(const std::string& section, const std::string& key) const {
        const std::string path = DataPath("Catalix.act");
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());
        char value[1024] = {};
        GetPrivateProfileStringA(section.c_str(), key.c_str(), "", value, sizeof(value),
                                 path.c_str());
        return value;
    }
    unsigned Number(const std::string& section, const std::string& key) const {
        return static_cast<unsigned>(std::stoul("0" + Actual(section, key)));
    }
    std::string Field(unsigned row, const std::string& field) const {
        return Actual("Component Table", field + "." + std::to_string(row));
    }
    // Fields of a component joined with '|', to compare them at once.
    std::string Fields(unsigned row, std::initializer_list<const char*> fields) const {
        std::string text;
        for (const char* field : fields)
            text += (field == *fields.begin() ? "" : "|") + Field(row, field);
        return text;
    }
    // The first component with `field` = `value` after row `after`; 0 when none.
    unsigned Find(const std::string& field, const std::string& value, unsigned after = 0) const {
        for (unsigned row = after + 1; row <= Number("Component Table", "NrComponents"); ++row)
            if (Field(row, field) == value) return row;
        return 0;
    }
    unsigned Row(const std::string& prod_name) const { return Find("ProdName", prod_name); }
    unsigned Count(const std::string& field, const std::string& value) const {
        unsigned count = 0;
        for (unsigned row = Find(field, value); row != 0; row = Find(field, value, row))
            ++count;
        return count;
    }
    std::string ContainerName(unsigned container) const {
        return Actual("Functional Container", "Name." + std::to_string(container));
    }
    unsigned ContainerParent(unsigned container) const {
        return Number("Functional Container", "Parent." + std::to_string(container));
    }
    // The firmware-update objects in their order, and the component one of them belongs to
    // (0 when there is no such object).
    std::vector<std::string> Objects() const {
        std::vector<std::string> names;
        for (unsigned row = 1; row <= Number("Firmware Update", "NrUpdObjects"); ++row)
            names.push_back(Actual("Firmware Update", "ObjectName." + std::to_string(row)));
        return names;
    }
    unsigned ObjectComponent(const std::string& name) const {
        const std::vector<std::string> names = Objects();
        for (std::size_t i = 0; i < names.size(); ++i)
            if (names[i] == name)
                return Number("Firmware Update", "CompIndex." + std::to_string(i + 1));
        return 0;
    }
};

#ifdef CX_SWITCHD_PATH
class CollectorTest : public ActualFileTest {
  protected:
    void TearDown() override {
        if (host_ != nullptr) {
            host_->Signal(SIGTERM);
            host_->Wait(std::chrono::seconds(60));
            const std::string errors = ReadFile(DataPath("host.err"));
            EXPECT_EQ(errors.find("ERROR: AddressSanitizer"), std::string::npos) << errors;
            EXPECT_EQ(errors.find("runtime error"), std::string::npos) << errors;
        }
        if (switchd_ != nullptr) agent_->m_SwitchClient.Detach();
        ActualFileTest::TearDown();
        switchd_.reset();
        if (com_) CoUninitialize();
    }

    // cx-switchd answering from `scenario` (and with `extra` arguments), the agent's client
    // attached to it as a scan does.
    void StartSwitch(const std::string& scenario, bool cancellable = false,
                     const std::vector<std::string>& extra = {}) {
        switchd_ = std::make_unique<SwitchdProcess>(dir_);
        switchd_->RegisterClass();
        ASSERT_TRUE(switchd_->Start(scenario, extra));
        const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        com_ = init == S_OK || init == S_FALSE;
        ASSERT_TRUE(agent_->m_SwitchClient.Attach(nullptr));
        if (cancellable) agent_->m_SwitchClient.EnableCancelRequest(TRUE);
    }
    // This process's manager sessions go to `port` on the loopback (a fake agent's, say).
    void ManagerPort(int port) const {
        const std::string snmp = "SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters";
        SetRegDword(snmp, "UdpPort", static_cast<DWORD>(port));
        SetRegDword(snmp + "\\ValidCommunities", "public", 4);
    }
#ifdef CX_REPLAY_AGENT_PATH
    // extagentd with REPLAY_MIB serving `walk` under `regions` (NUL between them).
    void StartReplay(const std::string& walk, const std::string& regions) {
        WriteDataFile("replay.walk", walk);
        ASSERT_TRUE(StartReplayHost(host_, CX_EXTAGENTD_PATH, CX_REPLAY_AGENT_PATH, dir_,
                                    DataPath("replay.walk"), regions))
            << ReadFile(DataPath("host.err"));
    }
#endif

    std::unique_ptr<SwitchdProcess> switchd_;
    std::unique_ptr<ChildProcess> host_;
    bool com_ = false;
};
#endif

}  // namespace cx::test
