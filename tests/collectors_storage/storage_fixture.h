// The storage collectors against REPLAY_MIB: the bus table, resource tables, hard-disk MIB and
// vendor MIBs of one walk, the PCI headers answered by cx-switchd, and the vendor agents
// registered as the collectors look for them. Read back from the inventory file.
#pragma once

#include <signal.h>

#include <memory>
#include <string>
#include <vector>

#include "bus_table.h"
#include "host_start.h"
#include "inventory_fixture.h"
#include "platform/objbase.h"
#include "platform/profile.h"
#include "registry_values.h"
#include "scoped_env.h"
#include "storage_walks.h"
#include "switchd_process.h"

namespace cx::test {

inline constexpr const char* kResourceRoot = ".1.3.6.1.4.1.7391.2.10.2.2.4.";

// A storage controller of the bus table with its resources: first I/O port, first memory
// address and interrupt (0: none).
struct Controller {
    BusDevice row;
    unsigned long io = 0;
    unsigned long mem = 0;
    int irq = 0;
};

inline void AddResources(Walk& w, const Controller& c) {
    const std::string at = BusIndex(c.row);
    if (c.io != 0) w.Gauge(kResourceRoot + std::string("4.4.1.6") + at + ".1", c.io);
    if (c.mem != 0) w.Gauge(kResourceRoot + std::string("4.1.1.7") + at + ".1", c.mem);
    if (c.irq != 0) {
        w.Int(
            kResourceRoot + std::string("3.1.1.12") + Idx(c.row.bus, c.row.device, c.row.function),
            c.irq);
    }
}

class StorageTest : public InventoryTest {
  protected:
    void SetUp() override {
        InventoryTest::SetUp();
        WriteTableFile(
            "[Functional Tree]\r\nSubsystemContainer=3\r\nBaseBoard=4\r\nSCSISystem=7\r\n"
            "SCSIDevice=8\r\n[GamController]\r\n0081=Q47120-M4\r\n");
        agent_->InsertFunctionalContainer("SubsystemContainer", 0, nullptr, -1);
        agent_->InsertFunctionalContainer("BaseBoard", 1, nullptr, -1);
        agent_->SubsystemContainerNr = 1;
        agent_->BaseBoardContainerNr = 2;
        agent_->ServerCabinetNr = 1;
    }
    void TearDown() override {
        if (host_ != nullptr) {
            host_->Signal(SIGTERM);
            host_->Wait(std::chrono::seconds(60));
        }
        if (switchd_ != nullptr) agent_->m_SwitchClient.Detach();
        InventoryTest::TearDown();
        switchd_.reset();
        if (com_) CoUninitialize();
    }

    // Serves the controllers' bus rows and resources and `walk`; then registers `agents` as
    // the vendor agents the collectors look for (after the host started, so that it does not
    // try to load them).
    void Start(const std::vector<Controller>& controllers, const Walk& walk,
               const std::vector<const char*>& agents) {
        std::vector<BusDevice> rows;
        Walk all = walk;
        for (const Controller& c : controllers) {
            rows.push_back(c.row);
            AddResources(all, c);
        }
        switchd_ = std::make_unique<SwitchdProcess>(dir_);
        switchd_->RegisterClass();
        ASSERT_TRUE(switchd_->Start(PciHeaderLines(rows)));
        const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        com_ = init == S_OK || init == S_FALSE;
        ASSERT_TRUE(agent_->m_SwitchClient.Attach(nullptr));
        WriteDataFile("storage.walk", BusTableWalk(rows) + all.text);
        ASSERT_TRUE(StartReplayHost(host_, CX_EXTAGENTD_PATH, CX_REPLAY_AGENT_PATH, dir_,
                                    DataPath("storage.walk"), StorageRegions()))
            << ReadFile(DataPath("host.err"));
        RegisterAgents(agents);
    }
    // A vendor agent is there when its registry entry names a file that exists.
    void RegisterAgents(const std::vector<const char*>& agents) {
        WriteDataFile("vendor-agent.so", "placeholder\n");
        for (const char* name : agents) {
            const std::string key = std::string("SOFTWARE\\Test\\Vendor\\") + name;
            SetRegString(key, "Pathname", DataPath("vendor-agent.so"));
            SetRegString("SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters\\ExtensionAgents",
                         name, key);
        }
    }
    void Scan() {
        agent_->InitBus();
        agent_->InitSCSI();
    }

    std::string Actual(const std::string& section, const std::string& key) const {
        const std::string path = DataPath("Catalix.act");
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());
        char value[256] = {};
        GetPrivateProfileStringA(section.c_str(), key.c_str(), "", value, sizeof(value),
                                 path.c_str());
        return value;
    }
    std::string Field(unsigned row, const char* field) const {
        return Actual("Component Table", std::string(field) + "." + std::to_string(row));
    }
    // The first component with `field` = `value` after row `after`; 0 when none.
    unsigned Find(const char* field, const std::string& value, unsigned after = 0) const {
        for (unsigned row = after + 1; row <= agent_->NrComponents; ++row)
            if (Field(row, field) == value) return row;
        return 0;
    }
    unsigned Count(const char* field, const std::string& value) const {
        unsigned count = 0;
        for (unsigned row = Find(field, value); row != 0; row = Find(field, value, row))
            ++count;
        return count;
    }
    std::string ContainerName(unsigned container) const {
        return Actual("Functional Container", "Name." + std::to_string(container));
    }
    unsigned ContainerParent(unsigned container) const {
        const std::string parent =
            Actual("Functional Container", "Parent." + std::to_string(container));
        return parent.empty() ? 0 : static_cast<unsigned>(std::stoul(parent));
    }
    // The firmware-update objects in their order, and the component each one belongs to.
    std::vector<std::string> Objects() const {
        std::vector<std::string> names;
        for (unsigned row = 1;; ++row) {
            const std::string name = Actual("Firmware Update", "ObjectName." + std::to_string(row));
            if (name.empty()) return names;
            names.push_back(name);
        }
    }
    unsigned ObjectComponent(const std::string& name) const {
        const std::vector<std::string> names = Objects();
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (names[i] == name) {
                return static_cast<unsigned>(
                    std::stoul(Actual("Firmware Update", "CompIndex." + std::to_string(i + 1))));
            }
        }
        return 0;
    }

    ScopedEnv fast_{"CX_TIME_SCALE", "1000"};
    std::unique_ptr<SwitchdProcess> switchd_;
    std::unique_ptr<ChildProcess> host_;
    bool com_ = false;
};

constexpr PciIds Pci(int vendor, int device, int sub_system, int revision) {
    return {vendor, device, 0xCA71, sub_system, revision, 0};
}

}  // namespace cx::test
