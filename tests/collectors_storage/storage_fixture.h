// The storage collectors against REPLAY_MIB: the bus table, resource tables, hard-disk MIB and
// vendor MIBs of one walk, the PCI headers answered by cx-switchd, and the vendor agents
// registered as the collectors look for them. Read back from the inventory file.
#pragma once

#include <vector>

#include "bus_table.h"
#include "collector_fixture.h"
#include "registry_values.h"
#include "scoped_env.h"
#include "storage_walks.h"

namespace cx::test {

// A storage controller of the bus table with its resources: first I/O port, first memory
// address and interrupt (0: none).
struct Controller {
    BusDevice row;
    unsigned long io = 0;
    unsigned long mem = 0;
    int irq = 0;
};

constexpr PciIds Pci(int vendor, int device, int sub_system, int revision) {
    return {vendor, device, 0xCA71, sub_system, revision, 0};
}

// The controller of PCI bus `bus` (device 0, function 1).
inline Controller Ctrl(int bus, int dev_class, const char* descript, const char* name, PciIds pci,
                       unsigned long io, unsigned long mem = 0, int irq = 0) {
    return {{5, bus, 0, 1, dev_class, descript, name, "Catalix", pci}, io, mem, irq};
}

class StorageTest : public CollectorTest {
  protected:
    void SetUp() override {
        CollectorTest::SetUp();
        WriteTableFile(
            "[Functional Tree]\r\nSubsystemContainer=3\r\nBaseBoard=4\r\nSCSISystem=7\r\n"
            "SCSIDevice=8\r\n[GamController]\r\n0081=Q47120-M4\r\n");
        agent_->InsertFunctionalContainer("SubsystemContainer", 0, nullptr, -1);
        agent_->InsertFunctionalContainer("BaseBoard", 1, nullptr, -1);
        agent_->SubsystemContainerNr = 1;
        agent_->BaseBoardContainerNr = 2;
        agent_->ServerCabinetNr = 1;
    }

    // Serves the controllers' bus rows and resources and `walk`; then registers `agents` as
    // the vendor agents the collectors look for (after the host started, so that it does not
    // try to load them). A vendor agent is there when its registry entry names a file that
    // exists.
    void Start(const std::vector<Controller>& controllers, const Walk& walk,
               const std::vector<const char*>& agents) {
        const std::string root = ".1.3.6.1.4.1.7391.2.10.2.2.4.";
        std::vector<BusDevice> rows;
        Walk all = walk;
        for (const Controller& c : controllers) {
            const BusDevice& d = c.row;
            rows.push_back(d);
            if (c.io != 0) all.Gauge(root + "4.4.1.6" + BusIndex(d) + ".1", c.io);
            if (c.mem != 0) all.Gauge(root + "4.1.1.7" + BusIndex(d) + ".1", c.mem);
            if (c.irq != 0) all.Int(root + "3.1.1.12" + Idx(d.bus, d.device, d.function), c.irq);
        }
        StartSwitch(PciHeaderLines(rows));
        StartReplay(BusTableWalk(rows) + all.text, StorageRegions());
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

    ScopedEnv fast_{"CX_TIME_SCALE", "1000"};
};

}  // namespace cx::test
