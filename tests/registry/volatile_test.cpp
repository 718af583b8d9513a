// Volatile keys: they belong to the boot they were made in and vanish with it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "registry_fixture.h"

namespace cx::test {
namespace {

class VolatileKeys : public RegistryTest {
  protected:
    void SetUp() override {
        Boot("boot-one");
        RegistryTest::SetUp();
    }
    void TearDown() override {
        unsetenv("CX_BOOT_ID");
        RegistryTest::TearDown();
    }
    // The machine restarts: another boot id, and the store opened afresh.
    void Reboot(const char* boot_id) {
        Boot(boot_id);
        CxRegistrySetPath(store_.c_str());
    }
    static void Boot(const char* boot_id) { setenv("CX_BOOT_ID", boot_id, 1); }
    bool Exists(const char* path) {
        HKEY key = nullptr;
        LONG status = Open(path, &key);
        RegCloseKey(key);
        return status == ERROR_SUCCESS;
    }
};

TEST_F(VolatileKeys, VanishAfterARebootWhileOthersStay) {
    RegCloseKey(Create("SOFTWARE\\Arvenmark"));  // as an installation leaves it
    HKEY status = Create("SOFTWARE\\Arvenmark\\#Status", REG_OPTION_VOLATILE);
    ASSERT_EQ(SetString(status, "CX_MIB", "started"), ERROR_SUCCESS);
    HKEY parameters = Create("SOFTWARE\\Arvenmark\\CX_MIB\\Parameters");
    ASSERT_EQ(SetDword(parameters, "ScanTime", 300), ERROR_SUCCESS);
    RegCloseKey(
        Create("SOFTWARE\\Arvenmark\\CX_MIB\\Parameters\\VolatileParameters", REG_OPTION_VOLATILE));
    RegCloseKey(status);

    Reboot("boot-two");
    EXPECT_FALSE(Exists("SOFTWARE\\Arvenmark\\#Status"));
    EXPECT_FALSE(Exists("SOFTWARE\\Arvenmark\\CX_MIB\\Parameters\\VolatileParameters"));
    EXPECT_EQ(Query(parameters, "ScanTime"), "<error 1018>") << "opened before the reboot";
    RegCloseKey(parameters);
    ASSERT_TRUE(Exists("SOFTWARE\\Arvenmark\\CX_MIB\\Parameters"));
    HKEY fresh = nullptr;
    ASSERT_EQ(Open("SOFTWARE\\Arvenmark\\CX_MIB\\Parameters", &fresh), ERROR_SUCCESS);
    EXPECT_EQ(Query(fresh, "ScanTime"), std::string("\x2c\x01\0\0", 4));
    RegCloseKey(fresh);

    // Made again in the new boot; purged for good: the old boot coming back (a test
    // artefact) finds nothing either.
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Arvenmark\\#Status", 0, nullptr,
                              REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &status, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    RegCloseKey(status);
    Reboot("boot-one");
    EXPECT_FALSE(Exists("SOFTWARE\\Arvenmark\\#Status"));
}

TEST_F(VolatileKeys, HoldOnlyVolatileChildren) {
    HKEY parent = Create("SOFTWARE\\VolatileParent", REG_OPTION_VOLATILE);
    HKEY child = nullptr;
    EXPECT_EQ(RegCreateKeyExA(parent, "Plain", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                              nullptr, &child, nullptr),
              ERROR_CHILD_MUST_BE_VOLATILE);
    EXPECT_EQ(child, nullptr);
    EXPECT_EQ(RegCreateKeyExA(parent, "Volatile", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                              nullptr, &child, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(child);
    // An existing key opens whatever the options say.
    EXPECT_EQ(RegCreateKeyExA(parent, "Volatile", 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &child, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(child);
    RegCloseKey(parent);

    // Keys made on the way to a volatile key are volatile too; the hives are not.
    RegCloseKey(Create("SOFTWARE\\Made\\On\\TheWay", REG_OPTION_VOLATILE));
    HKEY plain = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Made\\Plain", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &plain, nullptr),
              ERROR_CHILD_MUST_BE_VOLATILE);
    Reboot("boot-two");
    EXPECT_FALSE(Exists("SOFTWARE\\Made"));
    EXPECT_TRUE(Exists("SOFTWARE"));
}

}  // namespace
}  // namespace cx::test
