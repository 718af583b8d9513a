// The blade collector's test bench: an inventory agent in this process whose SWITCH client talks
// to cx-switchd, a server cabinet and chassis already in the actual file, and a management blade
// on 127.0.0.2 played by a second SNMP host that replays a walk.
#pragma once

#include <cstring>
#include <string>

#include "collector_fixture.h"
#include "registry_values.h"
#include "trace_reader.h"

namespace cx::test {

inline const std::string kSnmpParameters = "SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters";

class BladeTest : public CollectorTest {
  protected:
    // The containers the cabinet collector leaves for the blades: the server cabinet and its
    // chassis, both number 2, and the chassis component, number 1.
    static constexpr DWORD kComponentsBefore = 1;

    void SetUp() override {
        CollectorTest::SetUp();
        WriteTableFile(
            "[Physical Tree]\r\nPhysKorvan=1\r\nServerCabinet=2\r\n"
            "[Functional Tree]\r\nFuncKorvan=1\r\nFuncChassis=2\r\nBladeSystem=10\r\n");
        agent_->InsertPhysicalContainer("blade01", 0, "PhysKorvan", -1);
        agent_->InsertPhysicalContainer("Arden B20 Server Blade", 1, "ServerCabinet", -1);
        agent_->InsertFunctionalContainer("blade01", 0, "FuncKorvan", -1);
        agent_->InsertFunctionalContainer("Arden BX40 Blade Chassis", 1, "FuncChassis", -1);
        ComponentEntry chassis(2);
        std::strcpy(chassis.ProdName, "Arden BX40 Blade Chassis");
        agent_->InsertComponent(&chassis);
        server_.PhysCont = agent_->CurPhysContainer;
        server_.FuncCont = agent_->CurFuncContainer;
        server_.CabinetNr = agent_->ServerCabinetNr = 1;
        std::strcpy(server_.Name, "Arden B20 Server Blade");
        SetRegDword(kSnmpParameters + "\\ValidCommunities", "public", 4);
    }

    // The management blade's SNMP host serving `walk`; the manager reaches it on the port the
    // SNMP service's UdpPort names.
    void StartManagementBlade(const std::string& walk) {
        const std::string replay = "SOFTWARE\\Arvenmark\\REPLAY_MIB";
        SetRegDword(kSnmpParameters, "UdpPort", static_cast<DWORD>(FreeUdpPort()));
        SetRegString(kSnmpParameters, "ListenAddress", "127.0.0.2");
        SetRegString(kSnmpParameters + "\\ExtensionAgents", "1", replay + "\\CurrentVersion");
        SetRegString(replay + "\\CurrentVersion", "Pathname", CX_REPLAY_AGENT_PATH);
        WriteDataFile("blade.walk", walk);
        SetRegMultiString(replay + "\\Parameters", "WalkFiles", DataPath("blade.walk"));
        SetRegMultiString(replay + "\\Parameters", "Regions", "1.3.6.1.4.1.8265");
        SetRegString("SOFTWARE\\Debug\\REPLAY_MIB", "TraceFile", DataPath("blade-trace.txt"));
        SetRegDword("SOFTWARE\\Debug\\REPLAY_MIB", "FileDebugLevel", 2);
        ASSERT_TRUE(StartHostServing(host_, CX_EXTAGENTD_PATH, dir_, "REPLAY_MIB"))
            << ReadFile(DataPath("host.err"));
    }
    // ChkBlade with the server cabinet as record 0.
    void RunChkBlade() { agent_->ChkBlade(&server_, 1); }

    using CollectorTest::Actual;
    std::string Actual(const char* section, const char* key, DWORD row) const {
        return Actual(section, std::string(key) + "." + std::to_string(row));
    }
    // How often the management blade's host traced an SNMP request it was given.
    std::size_t RequestsAtManagementBlade() const {
        return CountOf(ReadFile(DataPath("blade-trace.txt")), "SNMP query:");
    }

    CabinetRecord server_;
};

}  // namespace cx::test
