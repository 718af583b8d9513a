// The service control calls over the state a service host publishes in the registry.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "platform/errors.h"
#include "platform/registry_store.h"
#include "platform/winsvc.h"
#include "registry_values.h"
#include "snmp_listen.h"
#include "temp_dir.h"

namespace {

class ServiceControlTest : public ::testing::Test {
  protected:
    void SetUp() override {
        CxRegistrySetPath(temp_.File("registry.db").c_str());
        // The service is installed: its parameters key exists (the port is the default one).
        cx::test::SetRegDword(cx::test::kSnmpParameters, "UdpPort", 161);
    }
    void TearDown() override { CxRegistrySetPath(nullptr); }

    cx::test::TempDir temp_;
};

// Every published state reads back; a running service accepts stop; unusable stored values
// read as stopped.
TEST_F(ServiceControlTest, PublishedStatesReadBackAndUnusableOnesAsStopped) {
    EXPECT_EQ(cx::test::SnmpServiceState(), SERVICE_STOPPED);  // the host never ran
    for (DWORD state = SERVICE_STOPPED; state <= SERVICE_PAUSED; ++state) {
        ASSERT_EQ(CxSetServiceCurrentState("SNMP", state), ERROR_SUCCESS);
        EXPECT_EQ(cx::test::SnmpServiceState(), state);
    }
    ASSERT_EQ(CxSetServiceCurrentState("SNMP", SERVICE_RUNNING), ERROR_SUCCESS);
    SC_HANDLE manager = OpenSCManagerA(nullptr, SERVICES_ACTIVE_DATABASEA, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = OpenServiceA(manager, "SNMP", SERVICE_ALL_ACCESS);
    SERVICE_STATUS status{};
    ASSERT_TRUE(QueryServiceStatus(service, &status));
    EXPECT_EQ(status.dwServiceType, SERVICE_WIN32_OWN_PROCESS);
    EXPECT_EQ(status.dwControlsAccepted, SERVICE_ACCEPT_STOP);
    EXPECT_TRUE(CloseServiceHandle(service));
    EXPECT_TRUE(CloseServiceHandle(manager));

    for (const auto& [type, data] : {std::pair<DWORD, std::string>{REG_DWORD, {"\0\0\0\0", 4}},
                                     {REG_DWORD, {"\x08\0\0\0", 4}},
                                     {REG_SZ, {"4", 2}},
                                     {REG_BINARY, {"\x04", 2}}}) {
        cx::test::SetRegValue("SYSTEM\\CurrentControlSet\\Services\\SNMP\\Status", "CurrentState",
                              type, data);
        EXPECT_EQ(cx::test::SnmpServiceState(), SERVICE_STOPPED) << type;
    }
}

TEST_F(ServiceControlTest, FailuresReportTheWindowsErrors) {
    EXPECT_EQ(OpenSCManagerA("otherhost", nullptr, SC_MANAGER_CONNECT), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
    EXPECT_EQ(OpenSCManagerA(nullptr, "ServicesFailed", SC_MANAGER_CONNECT), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DATABASE_DOES_NOT_EXIST));

    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    ASSERT_NE(manager, nullptr);
    struct Case {
        const char* name;
        DWORD error;
    };
    for (const Case& c :
         {Case{"NoSuchService", ERROR_SERVICE_DOES_NOT_EXIST}, Case{"", ERROR_INVALID_NAME},
          Case{"SNMP\\Status", ERROR_INVALID_NAME}, Case{nullptr, ERROR_INVALID_NAME}}) {
        EXPECT_EQ(OpenServiceA(manager, c.name, SERVICE_QUERY_STATUS), nullptr);
        EXPECT_EQ(GetLastError(), c.error);
    }
    EXPECT_EQ(OpenServiceA(nullptr, "SNMP", SERVICE_QUERY_STATUS), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    SC_HANDLE config_only = OpenServiceA(manager, "SNMP", SERVICE_QUERY_CONFIG);
    SERVICE_STATUS status{};
    EXPECT_FALSE(QueryServiceStatus(config_only, &status));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(QueryServiceStatus(manager, &status));  // a manager is not a service
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_TRUE(CloseServiceHandle(config_only));
    EXPECT_FALSE(CloseServiceHandle(config_only));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_TRUE(CloseServiceHandle(manager));

    EXPECT_EQ(CxSetServiceCurrentState("SNMP", 0), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(CxSetServiceCurrentState("SNMP", 8), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(CxSetServiceCurrentState(nullptr, SERVICE_RUNNING), ERROR_INVALID_PARAMETER);
}

}  // namespace
