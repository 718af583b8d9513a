// RegKey, ReadRegString, CSysBase's roots and ExpandEnvironmentStringsA.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/reg_key.h"
#include "base/sys_base.h"
#include "registry_fixture.h"
#include "scoped_env.h"

namespace cx::test {
namespace {

TEST(ExpandEnvironmentStrings, ReplacesKnownNamesAndKeepsTheRest) {
    ScopedEnv root("CX_TEST_ROOT", "alpha");
    struct Case {
        const char* source;
        const char* expanded;
    } cases[] = {
        {"%CX_TEST_ROOT%\\inv", "alpha\\inv"},
        {"%cx_test_root%", "alpha"},
        {"%CX_TEST_UNSET%x", "%CX_TEST_UNSET%x"},
        {"a%CX_TEST_UNSET%CX_TEST_ROOT%", "a%CX_TEST_UNSET%CX_TEST_ROOT%"},
        {"100%", "100%"},
        {"%%", "%%"},
        {"", ""},
    };
    for (const Case& c : cases) {
        char buffer[64] = {};
        DWORD needed = ExpandEnvironmentStringsA(c.source, buffer, sizeof(buffer));
        EXPECT_STREQ(buffer, c.expanded) << c.source;
        EXPECT_EQ(needed, std::strlen(c.expanded) + 1) << c.source;
    }
    char small[4] = "xyz";
    EXPECT_EQ(ExpandEnvironmentStringsA("%CX_TEST_ROOT%", small, sizeof(small)), 6u);
    EXPECT_STREQ(small, "xyz") << "nothing written when it does not fit";
    EXPECT_EQ(ExpandEnvironmentStringsA(nullptr, small, sizeof(small)), 0u);
}

class RegKeyTest : public RegistryTest {
  protected:
    ScopedEnv root_{"CX_TEST_ROOT", "alpha"};
};

// Every call keeps its result; a failed open keeps the key open before it, a failed create
// leaves none, so that no later write lands in the parent.
TEST_F(RegKeyTest, OpensBelowTheOpenKeyAndCreateReplacesIt) {
    RegCloseKey(Create("SOFTWARE\\Arvenmark\\CX_MIB"));
    RegKey key;
    DWORD value = 0;
    EXPECT_EQ(key.QueryDword("x", &value), ERROR_INVALID_HANDLE) << "no key open";
    EXPECT_EQ(key.Open("SOFTWARE\\Missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key.m_lResult, ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(key.Open("SOFTWARE\\Arvenmark"), ERROR_SUCCESS);
    HKEY family = key.Key();
    EXPECT_EQ(key.Open("Missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key.Key(), family) << "a failed open keeps the key";
    ASSERT_EQ(key.Open("CX_MIB"), ERROR_SUCCESS);
    EXPECT_NE(key.Key(), family);

    ASSERT_EQ(key.Create("Parameters", nullptr), ERROR_SUCCESS);
    ASSERT_EQ(key.Create("VolatileParameters", nullptr, REG_OPTION_VOLATILE), ERROR_SUCCESS);
    EXPECT_EQ(key.SetDword("AgentStatus", 1), ERROR_SUCCESS);
    HKEY check = nullptr;
    ASSERT_EQ(Open("SOFTWARE\\Arvenmark\\CX_MIB\\Parameters\\VolatileParameters", &check),
              ERROR_SUCCESS);
    EXPECT_EQ(Query(check, "AgentStatus"), std::string("\1\0\0\0", 4));
    RegCloseKey(check);

    EXPECT_EQ(key.SetString("Null", nullptr), -1) << "the guard's answer to a NULL text";
    EXPECT_EQ(key.QueryDword("AgentStatus", &value), ERROR_SUCCESS);
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(key.m_dwType, REG_DWORD);
    EXPECT_EQ(key.Create("Plain", nullptr, REG_OPTION_NON_VOLATILE), ERROR_CHILD_MUST_BE_VOLATILE);
    EXPECT_EQ(key.Key(), nullptr);
    EXPECT_EQ(key.SetDword("AgentStatus", 4), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(key.Close());
}

TEST_F(RegKeyTest, QueryRegValueTerminatesAndExpands) {
    HKEY raw = Create("SOFTWARE\\Q");
    ASSERT_EQ(RegSetValueExA(raw, "Bytes", 0, REG_BINARY, reinterpret_cast<const BYTE*>("ab"), 2),
              ERROR_SUCCESS);
    ASSERT_EQ(SetString(raw, "Root", "%CX_TEST_ROOT%\\inv", REG_EXPAND_SZ), ERROR_SUCCESS);
    RegCloseKey(raw);
    RegKey key;
    ASSERT_EQ(key.Open("SOFTWARE\\Q"), ERROR_SUCCESS);
    char buffer[32];
    std::memset(buffer, 'x', sizeof(buffer));
    DWORD size = sizeof(buffer);
    EXPECT_EQ(key.QueryRegValue("Bytes", reinterpret_cast<BYTE*>(buffer), &size), ERROR_SUCCESS);
    EXPECT_STREQ(buffer, "ab") << "a shorter value is terminated";
    size = sizeof(buffer);
    EXPECT_EQ(key.QueryRegValue("Root", reinterpret_cast<BYTE*>(buffer), &size), ERROR_SUCCESS);
    EXPECT_STREQ(buffer, "alpha\\inv");
    EXPECT_EQ(size, 10u);
    EXPECT_EQ(key.m_dwType, REG_EXPAND_SZ);

    // The stored text fits, its expansion does not: 234, and the unexpanded text stays.
    root_.Set(std::string(40, 'L'));
    size = sizeof(buffer);
    EXPECT_EQ(key.QueryRegValue("Root", reinterpret_cast<BYTE*>(buffer), &size), ERROR_MORE_DATA);
    EXPECT_STREQ(buffer, "%CX_TEST_ROOT%\\inv");

    EXPECT_TRUE(ReadRegString("SOFTWARE\\Q", "Bytes", buffer, sizeof(buffer)));
    EXPECT_FALSE(ReadRegString("SOFTWARE\\Q", "Missing", buffer, sizeof(buffer)));
    EXPECT_FALSE(ReadRegString("SOFTWARE\\Nothing", "Bytes", buffer, sizeof(buffer)));
}

using SysBaseRoots = RegKeyTest;

TEST_F(SysBaseRoots, ReadsTheRecordedRootAndItsDirectories) {
    struct Case {
        const char* data_root;
        DWORD type;
        const char* expected;
    } cases[] = {
        {"C:\\Data\\", REG_SZ, "C:\\Data"},
        {"C:\\", REG_SZ, "C:"},
        {"/var/lib/catalix/", REG_SZ, "/var/lib/catalix"},
        {"/", REG_SZ, "/"},
        {"%CX_TEST_ROOT%\\inv", REG_EXPAND_SZ, "alpha\\inv"},
    };
    HKEY uuid = Create(kFamilyRootKey);
    ASSERT_EQ(SetString(uuid, kFamilyRootValue, "SOFTWARE\\Family"), ERROR_SUCCESS);
    RegCloseKey(uuid);
    HKEY setup = Create("SOFTWARE\\Family\\#Setup");
    ASSERT_EQ(SetString(setup, "AgentRoot", "/opt/agent\\"), ERROR_SUCCESS);
    for (const Case& c : cases) {
        ASSERT_EQ(SetString(setup, "DataRoot", c.data_root, c.type), ERROR_SUCCESS);
        CSysBase base;
        EXPECT_STREQ(base.m_szRegistryRoot, "SOFTWARE\\Family");
        EXPECT_STREQ(base.m_szSetupKey, "SOFTWARE\\Family\\#Setup");
        EXPECT_STREQ(base.m_szFileRoot, "/opt/agent") << "AgentRoot stands in for FileRoot";
        EXPECT_STREQ(base.m_szDataRoot, c.expected) << c.data_root;
    }
    ASSERT_EQ(SetString(setup, "FileRoot", "/usr/share/catalix"), ERROR_SUCCESS);
    EXPECT_STREQ(CSysBase().m_szFileRoot, "/usr/share/catalix");
    RegCloseKey(setup);
}

}  // namespace
}  // namespace cx::test
