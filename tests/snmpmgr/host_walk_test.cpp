// CSnmpMgr through a real extagentd: an agent of ours serves a walk file, the manager walks it
// to each kind of end, and a thread inside the host walks the host's own MIB while it serves.
// (Walk files served and printed back by snmpwalk are the replay agent's tests.)
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <string>
#include <thread>

#include "child_process.h"
#include "clients/snmp_mgr.h"
#include "platform/registry_store.h"
#include "platform/winreg.h"
#include "platform/winsvc.h"
#include "registry_values.h"
#include "snmp_listen.h"
#include "temp_dir.h"

namespace cx::test {
namespace {

constexpr const char* kRoot = "1.3.6.1.4.1.99999.5";

// Two rows of three columns under kRoot.1.1, in the form snmpwalk -On prints.
const char* const kTable =
    ".1.3.6.1.4.1.99999.5.1.1.1.1 = INTEGER: 11\n"
    ".1.3.6.1.4.1.99999.5.1.1.1.2 = INTEGER: -12\n"
    ".1.3.6.1.4.1.99999.5.1.1.2.1 = STRING: \"row one\"\n"
    ".1.3.6.1.4.1.99999.5.1.1.2.2 = STRING: \"row\ntwo \\\"2\\\"\"\n"
    ".1.3.6.1.4.1.99999.5.1.1.3.1 = Counter32: 31\n"
    ".1.3.6.1.4.1.99999.5.1.1.3.2 = Gauge32: 4294967295\n";

class HostWalkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        CxRegistrySetPath(temp_.File("registry.db").c_str());
        port_ = FreeUdpPort();
        ASSERT_NE(port_, 0);
        ListenOnLoopback(port_);
    }
    void TearDown() override {
        if (host_ != nullptr) StopHost();
        CxRegistrySetPath(nullptr);
    }

    // Our agent with `walk` as its walk file; `settings` adds lines to its configuration.
    void AddAgent(const std::string& walk, const std::string& settings = "") {
        const std::string library = temp_.File("walk_agent.so");
        std::filesystem::copy_file(CX_WALK_AGENT_PATH, library);
        WriteFile(temp_.File("agent.walk"), walk);
        WriteFile(library + ".conf", "root " + std::string(kRoot) + "\nwalk " +
                                         temp_.File("agent.walk") + "\n" + settings);
        SetRegString("SOFTWARE\\Test\\WalkAgent", "Pathname", library);
        SetRegString(std::string(kSnmpParameters) + "\\ExtensionAgents", "1",
                     "SOFTWARE\\Test\\WalkAgent");
    }

    bool StartHost() {
        host_ = std::make_unique<ChildProcess>();
        if (!host_->Start({CX_EXTAGENTD_PATH, "--foreground", "--registry",
                           temp_.File("registry.db"), "--state-dir", temp_.File("state")},
                          temp_.File("host.out"), temp_.File("host.err")))
            return false;
        return WaitUntil([this] { return SnmpServiceRunning() || !host_->Running(); },
                         std::chrono::seconds(30)) &&
               host_->Running();
    }

    int StopHost() {
        host_->Signal(SIGTERM);
        const int code = host_->Wait(std::chrono::seconds(60));
        host_.reset();
        return code;
    }

    std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }

    // A manager on the table's three columns, position 0 driving.
    void PrepareTableWalk(CSnmpMgr& manager) {
        ASSERT_TRUE(manager.OpenSession(Address().c_str(), "public", 2000, 1));
        ASSERT_TRUE(manager.ResizeVarBindList(3, FALSE));
        for (UINT column = 1; column <= 3; ++column)
            manager.SetOID((std::string(kRoot) + ".1.1." + std::to_string(column) + ".0").c_str(),
                           column - 1);
    }

    void ExpectFirstRow(CSnmpMgr& manager) {
        ASSERT_TRUE(manager.GetNextInTable(nullptr));
        EXPECT_EQ(manager.GetInteger(manager.GetVarBind(0)), 11u);
        EXPECT_STREQ(manager.GetString(manager.GetVarBind(1)), "row one");
        EXPECT_EQ(manager.GetInteger(manager.GetVarBind(2)), 31u);
    }

    TempDir temp_;
    int port_ = 0;
    std::unique_ptr<ChildProcess> host_;
};

// One host for each kind of end a walk meets: where the table ends, at the end of the host's
// MIB (noSuchName), and when the host has gone.
TEST_F(HostWalkTest, WalksEndAtEachKindOfEnd) {
    AddAgent(std::string(kTable) + ".1.3.6.1.4.1.99999.5.2.0 = INTEGER: 0\n");
    ASSERT_TRUE(StartHost()) << ReadFile(temp_.File("host.err"));
    CSnmpMgr manager;
    PrepareTableWalk(manager);
    ExpectFirstRow(manager);
    ASSERT_TRUE(manager.GetNextInTable(nullptr));
    EXPECT_EQ(manager.GetInteger(manager.GetVarBind(0)), static_cast<UINT>(-12));
    EXPECT_STREQ(manager.GetString(manager.GetVarBind(1)), "row\ntwo \"2\"");
    EXPECT_EQ(manager.GetVarBind(2).value.asnType, ASN_GAUGE32);
    EXPECT_EQ(manager.GetInteger(manager.GetVarBind(2)), 4294967295u);
    EXPECT_FALSE(manager.GetNextInTable(nullptr));
    EXPECT_EQ(manager.m_ErrorStatus, 0);

    int objects = 0;
    for (const char* start = "1.3.6.1.4.1.99999.5.2"; manager.GetNextInTable(start);
         start = nullptr)
        ++objects;
    EXPECT_EQ(objects, 1);  // the object after the table is the host's last
    EXPECT_EQ(manager.m_ErrorStatus, SNMP_ERRORSTATUS_NOSUCHNAME);
    EXPECT_EQ(manager.m_ErrorIndex, 1);

    PrepareTableWalk(manager);
    ExpectFirstRow(manager);
    EXPECT_EQ(StopHost(), 0);
    EXPECT_FALSE(manager.GetNextInTable(nullptr));
    EXPECT_EQ(manager.m_ErrorStatus, SNMP_ERRORSTATUS_GENERR);
    EXPECT_EQ(manager.m_LastError, static_cast<DWORD>(SNMP_MGMTAPI_TIMEOUT));
}

// A thread of an agent inside the host walks the host's whole MIB (its own view included)
// through a manager session while the host answers it and this test's manager at once. Under
// ThreadSanitizer the host reports any race on its standard error.
TEST_F(HostWalkTest, AnAgentThreadWalksTheHostsOwnMibWhileTheHostServes) {
    constexpr int kSelfWalks = 10;
    AddAgent(kTable, "self_walks " + std::to_string(kSelfWalks) + "\n");
    ASSERT_TRUE(StartHost()) << ReadFile(temp_.File("host.err"));
    const std::string result_file = temp_.File("walk_agent.so.result");
    int outside_walks = 0;
    while (!std::filesystem::exists(result_file) && outside_walks < 1000) {
        CSnmpMgr manager;
        PrepareTableWalk(manager);
        int rows = 0;
        while (manager.GetNextInTable(nullptr))
            ++rows;
        EXPECT_EQ(rows, 2);
        ++outside_walks;
    }
    ASSERT_TRUE(
        WaitUntil([&] { return std::filesystem::exists(result_file); }, std::chrono::seconds(120)));
    // 6 table objects; the host serves nothing else.
    EXPECT_EQ(ReadFile(result_file), "walks=" + std::to_string(kSelfWalks) + " objects=" +
                                         std::to_string(kSelfWalks * 6) + " errors=0\n");
    EXPECT_EQ(StopHost(), 0);
    const std::string log = ReadFile(temp_.File("host.err"));
    EXPECT_EQ(log.find("Sanitizer"), std::string::npos) << log;
}

}  // namespace
}  // namespace cx::test
