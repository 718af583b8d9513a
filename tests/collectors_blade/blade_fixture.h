// The blade collector's test bench: an inventory agent in this process whose SWITCH client talks
// to cx-switchd, a server cabinet and chassis already in the actual file, and a management blade
// on 127.0.0.2 played by a second SNMP host that replays a walk.
#pragma once

#include <memory>
#include <string>

#include "child_process.h"
#include "inventory_fixture.h"
#include "switchd_process.h"

namespace cx::test {

class BladeTest : public InventoryTest {
  protected:
    // The containers the cabinet collector leaves for the blades: the server cabinet and its
    // chassis, both number 2, and the chassis component, number 1.
    static constexpr DWORD kServerContainer = 2;
    static constexpr DWORD kServerCabinetNr = 1;
    static constexpr DWORD kComponentsBefore = 1;

    void SetUp() override;
    void TearDown() override;

    // Starts cx-switchd with `scenario` and attaches the agent's own client to it, as a scan
    // does.
    void StartSwitch(const std::string& scenario);
    // Starts the management blade's SNMP host serving `walk`; the manager reaches it on the
    // port the SNMP service's UdpPort names.
    void StartManagementBlade(const std::string& walk);
    // The port every manager session of this process goes to when its address has none.
    void SetManagerPort(int port) const;

    // ChkBlade with the server cabinet as record 0.
    void RunChkBlade();

    // A value of the actual file ("" when missing).
    std::string Actual(const char* section, const std::string& key) const;
    std::string Actual(const char* section, const char* key, DWORD row) const {
        return Actual(section, std::string(key) + "." + std::to_string(row));
    }
    // How often the management blade's host traced an SNMP request it was given.
    std::size_t RequestsAtManagementBlade() const;

    std::unique_ptr<SwitchdProcess> switchd_;
    std::unique_ptr<ChildProcess> host_;
    CabinetRecord server_;

  private:
    bool HostServing() const;
    bool com_initialised_ = false;
};

// The whole content of a data file shipped with the agent.
std::string ShippedBladeScenario();
std::string ShippedBladeWalk();

}  // namespace cx::test
