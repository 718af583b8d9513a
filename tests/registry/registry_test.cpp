// The registry: the Reg* calls against their Windows contracts, volatile keys, RegKey and
// CSysBase, .reg text, the store under faults and concurrent writers, and the cxreg tool.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "base/reg_key.h"
#include "base/sys_base.h"
#include "child_process.h"
#include "file_modes.h"
#include "platform/handles.h"
#include "platform/reg_publish.h"
#include "platform/reg_text.h"
#include "platform/registry_store.h"
#include "platform/synch.h"
#include "platform/winreg.h"
#include "platform/winsvc.h"
#include "registry_values.h"
#include "scoped_env.h"
#include "temp_dir.h"
#include "text_rows.h"

namespace cx::test {
namespace {

// A registry store of the test's own, in its own temporary directory, and small helpers.
class RegistryTest : public ::testing::Test {
  protected:
    void SetUp() override { CxRegistrySetPath(store_.c_str()); }
    // Drops the pooled connections before the directory goes.
    void TearDown() override { CxRegistrySetPath(store_.c_str()); }

    // Creates (or opens) HKLM\path with all access; fails the test when that fails.
    HKEY Create(const char* path, DWORD options = REG_OPTION_NON_VOLATILE) {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, options, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS)
            << path;
        return key;
    }
    LONG Open(const char* path, HKEY* key, REGSAM access = KEY_ALL_ACCESS) {
        return RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, key);
    }
    static LONG SetString(HKEY key, const char* name, const std::string& text,
                          DWORD type = REG_SZ) {
        return RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                              static_cast<DWORD>(text.size() + 1));
    }
    static LONG SetDword(HKEY key, const char* name, DWORD value) {
        return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                              sizeof(value));
    }
    // The value's bytes, or "<error N>".
    static std::string Query(HKEY key, const char* name, DWORD* type = nullptr) {
        BYTE data[4096];
        DWORD size = sizeof(data);
        LONG status = RegQueryValueExA(key, name, nullptr, type, data, &size);
        if (status != ERROR_SUCCESS) return "<error " + std::to_string(status) + ">";
        return std::string(reinterpret_cast<const char*>(data), size);
    }

    // The names RegEnumKeyExA (`keys`) or RegEnumValueA hands out, in order; "<error N>"
    // ends the list when a call fails otherwise than with ERROR_NO_MORE_ITEMS.
    static std::vector<std::string> Names(HKEY key, bool keys) {
        std::vector<std::string> names;
        char name[256];
        for (DWORD index = 0;; ++index) {
            DWORD size = sizeof(name);
            LONG status =
                keys ? RegEnumKeyExA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr)
                     : RegEnumValueA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr);
            if (status == ERROR_NO_MORE_ITEMS) return names;
            if (status != ERROR_SUCCESS) {
                names.push_back("<error " + std::to_string(status) + ">");
                return names;
            }
            names.push_back(name);
        }
    }

    TempDir dir_;
    std::string store_ = dir_.File("registry.db");
};

using RegistryPaths = RegistryTest;
using RegistryHandles = RegistryTest;
using RegistryValues = RegistryTest;
using RegistryEnumeration = RegistryTest;
using RegistryDeletion = RegistryTest;
using RegistryStoreFile = RegistryTest;

// Create makes the keys on the way; paths then open as Windows splits and compares them.
TEST_F(RegistryPaths, AreSplitAndComparedAsWindowsDoes) {
    RegCloseKey(Create("SOFTWARE\\Cx\\Sub"));
    struct Case {
        std::string path;
        LONG expected;
    } cases[] = {
        {"SOFTWARE\\Cx\\Sub", ERROR_SUCCESS},
        {"software\\cX\\SUB", ERROR_SUCCESS},
        {"SOFTWARE\\\\Cx\\\\\\Sub", ERROR_SUCCESS},
        {"SOFTWARE\\Cx\\Sub\\", ERROR_SUCCESS},
        {"\\SOFTWARE\\Cx", ERROR_BAD_PATHNAME},
        {"SOFTWARE\\Cx\\Missing", ERROR_FILE_NOT_FOUND},
        {"SOFTWARE\\" + std::string(256, 'n'), ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        HKEY key = reinterpret_cast<HKEY>(1);
        EXPECT_EQ(Open(c.path.c_str(), &key), c.expected) << c.path;
        EXPECT_EQ(key == nullptr, c.expected != ERROR_SUCCESS) << c.path;
        RegCloseKey(key);
    }
}

TEST_F(RegistryPaths, KeepTheCaseTheyWereCreatedWith) {
    HKEY parent = Create("SOFTWARE\\Case");
    HKEY first = nullptr, second = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(parent, "MixedName", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &first,
                              &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    ASSERT_EQ(RegCreateKeyExA(parent, "MIXEDNAME", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &second,
                              &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    EXPECT_EQ(Names(parent, true), std::vector<std::string>{"MixedName"});
    EXPECT_EQ(SetString(first, "Value", "one"), ERROR_SUCCESS);
    EXPECT_EQ(SetString(second, "VALUE", "two"), ERROR_SUCCESS);
    EXPECT_EQ(Names(first, false), std::vector<std::string>{"Value"}) << "the first spelling";
    EXPECT_EQ(Query(first, "vALUE"), std::string("two\0", 4));
    for (HKEY key : {first, second, parent})
        RegCloseKey(key);
}

TEST_F(RegistryHandles, InvalidOnesAreRefusedAndEmptySubKeysReopen) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    for (HKEY bad :
         {static_cast<HKEY>(nullptr), reinterpret_cast<HKEY>(0x1234), static_cast<HKEY>(event)}) {
        HKEY result = reinterpret_cast<HKEY>(7);
        EXPECT_EQ(RegOpenKeyExA(bad, "SOFTWARE", 0, KEY_READ, &result), ERROR_INVALID_HANDLE);
        EXPECT_EQ(result, reinterpret_cast<HKEY>(7));
        EXPECT_EQ(RegQueryValueExA(bad, "x", nullptr, nullptr, nullptr, nullptr),
                  ERROR_INVALID_HANDLE);
        EXPECT_EQ(SetDword(bad, "x", 1), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegCloseKey(bad), ERROR_INVALID_HANDLE);
    }
    CloseHandle(event);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, nullptr),
              ERROR_INVALID_PARAMETER);

    // An empty subkey gives the predefined key itself, or a new handle to an opened one.
    HKEY result = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "", 0, KEY_READ, &result), ERROR_SUCCESS);
    EXPECT_EQ(result, HKEY_LOCAL_MACHINE);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, nullptr, 0, KEY_READ, &result), ERROR_SUCCESS);
    EXPECT_EQ(result, HKEY_LOCAL_MACHINE);
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);

    HKEY key = Create("SOFTWARE\\Same");
    ASSERT_EQ(RegOpenKeyExA(key, "", 0, KEY_READ, &result), ERROR_SUCCESS);
    EXPECT_NE(result, key);
    EXPECT_EQ(RegCloseKey(result), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE) << "a closed handle is gone";
}

TEST_F(RegistryHandles, AccessRightsAreThoseAskedFor) {
    RegCloseKey(Create("SOFTWARE\\Rights"));
    HKEY read = nullptr, write = nullptr;
    ASSERT_EQ(Open("SOFTWARE\\Rights", &read, KEY_READ | KEY_WOW64_64KEY), ERROR_SUCCESS);
    ASSERT_EQ(Open("SOFTWARE\\Rights", &write, KEY_WRITE | KEY_WOW64_32KEY), ERROR_SUCCESS);
    EXPECT_EQ(SetDword(read, "x", 1), ERROR_ACCESS_DENIED);
    EXPECT_EQ(SetDword(write, "x", 1), ERROR_SUCCESS);
    EXPECT_EQ(Query(write, "x"), "<error 5>");
    EXPECT_EQ(Query(read, "x"), std::string("\1\0\0\0", 4));
    EXPECT_EQ(RegDeleteValueA(read, "x"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(Names(write, true), std::vector<std::string>{"<error 5>"});
    RegCloseKey(read);
    RegCloseKey(write);
}

TEST_F(RegistryValues, QueryFollowsTheBufferRulesAndSetStoresTheBytesGiven) {
    HKEY key = Create("SOFTWARE\\Values");
    ASSERT_EQ(SetString(key, "Text", "hello"), ERROR_SUCCESS);
    DWORD type = 0, size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "Text", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 6u) << "REG_SZ carries its terminating NUL";

    char buffer[8] = "xxxxxxx";
    size = 3;
    EXPECT_EQ(RegQueryValueExA(key, "Text", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 6u);
    EXPECT_STREQ(buffer, "xxxxxxx") << "nothing written when it does not fit";
    size = 6;
    EXPECT_EQ(RegQueryValueExA(key, "Text", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(buffer, "hello");
    EXPECT_EQ(
        RegQueryValueExA(key, "Text", nullptr, &type, reinterpret_cast<BYTE*>(buffer), nullptr),
        ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Query(key, "Missing"), "<error 2>");

    ASSERT_EQ(SetString(key, "Path", "%HOME%\\x", REG_EXPAND_SZ), ERROR_SUCCESS);
    EXPECT_EQ(Query(key, "Path", &type), std::string("%HOME%\\x\0", 9)) << "never expanded";
    EXPECT_EQ(type, REG_EXPAND_SZ);

    ASSERT_EQ(SetString(key, nullptr, "default"), ERROR_SUCCESS);
    EXPECT_EQ(Query(key, ""), std::string("default\0", 8)) << "NULL and \"\" name the default";

    // Set stores the bytes given, whatever the type says.
    const char multi[] = "one\0two\0";
    EXPECT_EQ(RegSetValueExA(key, "Multi", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(multi),
                             sizeof(multi)),
              ERROR_SUCCESS);
    EXPECT_EQ(Query(key, "Multi"), std::string("one\0two\0\0", 9)) << "ends with two NULs";
    EXPECT_EQ(RegSetValueExA(key, "Empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
    EXPECT_EQ(Query(key, "Empty"), "");
    EXPECT_EQ(RegSetValueExA(key, "Bad", 0, REG_BINARY, nullptr, 4), ERROR_NOACCESS);
    std::string big(100000, 'b');
    EXPECT_EQ(RegSetValueExA(key, "Big", 0, 0x1234, reinterpret_cast<const BYTE*>(big.data()),
                             static_cast<DWORD>(big.size())),
              ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExA(key, "Big", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, 0x1234u);
    EXPECT_EQ(size, big.size());
    EXPECT_EQ(SetDword(key, std::string(16384, 'n').c_str(), 1), ERROR_INVALID_PARAMETER);
    RegCloseKey(key);
}

// Values come in creation order, subkeys compared upper-cased as Windows does ('_' sorts after
// the letters); a buffer too small gets only the sizes and the type.
TEST_F(RegistryEnumeration, ValuesInCreationOrderSubkeysInCaseBlindOrder) {
    HKEY key = Create("SOFTWARE\\Enum");
    for (const char* name : {"zeta", "alpha", "Mid", "ALPHA"})
        ASSERT_EQ(SetDword(key, name, 1), 0);
    for (const char* name : {"b", "_x", "A", "C"})
        RegCloseKey(Create(("SOFTWARE\\Enum\\" + std::string(name)).c_str()));
    EXPECT_EQ(Names(key, false), (std::vector<std::string>{"zeta", "alpha", "Mid"}));
    EXPECT_EQ(Names(key, true), (std::vector<std::string>{"A", "b", "C", "_x"}));

    char name[32];
    BYTE data[8];
    DWORD name_size = 3, data_size = sizeof(data), type = 0;
    EXPECT_EQ(RegEnumValueA(key, 0, name, &name_size, nullptr, &type, data, &data_size),
              ERROR_MORE_DATA);
    EXPECT_EQ(name_size, 3u);
    EXPECT_EQ(data_size, 4u);
    EXPECT_EQ(type, REG_DWORD);
    name_size = sizeof(name);
    data_size = 2;
    EXPECT_EQ(RegEnumValueA(key, 0, name, &name_size, nullptr, &type, data, &data_size),
              ERROR_MORE_DATA);
    EXPECT_EQ(data_size, 4u);
    EXPECT_EQ(name_size, sizeof(name)) << "name untouched";
    EXPECT_EQ(RegEnumValueA(key, 0, nullptr, &name_size, nullptr, nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
    FILETIME written{};
    name_size = 1;
    EXPECT_EQ(RegEnumKeyExA(key, 0, name, &name_size, nullptr, nullptr, nullptr, &written),
              ERROR_MORE_DATA);
    name_size = sizeof(name);
    EXPECT_EQ(RegEnumKeyExA(key, 0, name, &name_size, nullptr, nullptr, nullptr, &written),
              ERROR_SUCCESS);
    EXPECT_EQ(name_size, 1u);
    EXPECT_NE(written.dwHighDateTime, 0u);
    RegCloseKey(key);
}

TEST_F(RegistryDeletion, KeyRefusesSubkeysTreeTakesThemAndOpenHandlesSeeItGone) {
    HKEY parent = Create("SOFTWARE\\Del");
    HKEY child = Create("SOFTWARE\\Del\\Child");
    ASSERT_EQ(SetDword(child, "v", 1), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Del"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(parent, "Child"), ERROR_SUCCESS);
    EXPECT_EQ(Query(child, "v"), "<error 1018>");
    EXPECT_EQ(SetDword(child, "v", 2), ERROR_KEY_DELETED);
    EXPECT_EQ(RegDeleteKeyA(parent, "Child"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(parent, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, ""), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(parent, ""), ERROR_SUCCESS) << "\"\" deletes the open key itself";
    HKEY again = nullptr;
    EXPECT_EQ(Open("SOFTWARE\\Del", &again), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegCloseKey(child), ERROR_SUCCESS) << "closing a deleted key still works";
    RegCloseKey(parent);

    // RegDeleteTreeA takes everything below, and with NULL empties the key itself.
    HKEY top = Create("SOFTWARE\\Tree");
    RegCloseKey(Create("SOFTWARE\\Tree\\A\\B\\C"));
    ASSERT_EQ(SetDword(top, "kept", 1), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteTreeA(top, "A"), ERROR_SUCCESS);
    EXPECT_EQ(Open("SOFTWARE\\Tree\\A\\B", &again), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Query(top, "kept"), std::string("\1\0\0\0", 4));
    RegCloseKey(Create("SOFTWARE\\Tree\\Again"));
    EXPECT_EQ(RegDeleteTreeA(top, nullptr), ERROR_SUCCESS) << "NULL empties the key itself";
    EXPECT_EQ(Query(top, "kept"), "<error 2>");
    EXPECT_EQ(Open("SOFTWARE\\Tree", &again), ERROR_SUCCESS);
    RegCloseKey(again);
    EXPECT_EQ(RegDeleteTreeA(top, "Missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValueA(top, "kept"), ERROR_FILE_NOT_FOUND);
    RegCloseKey(top);
}

// The store file is made by the first write only, with its journal files for owner and group
// alone whatever the umask; keys opened before a switch to another store are gone.
TEST_F(RegistryStoreFile, IsCreatedByTheFirstWriteAndASwitchLeavesOldKeysGone) {
    const ScopedUmask usual(022);
    HKEY old = Create("SOFTWARE\\Old");
    std::string nested = dir_.File("a/b/registry.db");
    CxRegistrySetPath(nested.c_str());
    EXPECT_EQ(CxRegistryPath(), nested);
    HKEY key = nullptr;
    EXPECT_EQ(Open("SOFTWARE", &key), ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(Names(HKEY_LOCAL_MACHINE, true).empty());
    EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, "x"), "<error 2>");
    EXPECT_FALSE(std::filesystem::exists(nested)) << "reading creates nothing";
    key = Create("SOFTWARE\\First");
    EXPECT_TRUE(std::filesystem::exists(nested));
    RegCloseKey(key);
    for (const char* suffix : {"", "-wal", "-shm"})
        EXPECT_EQ(FileMode(nested + suffix), 0660u) << suffix;
    EXPECT_EQ(SetDword(old, "x", 1), ERROR_KEY_DELETED);
    EXPECT_EQ(RegCloseKey(old), ERROR_SUCCESS);
}

class VolatileKeys : public RegistryTest {
  protected:
    // The machine restarts: another boot id, and the store opened afresh.
    void Reboot(const char* boot_id) {
        boot_.Set(boot_id);
        CxRegistrySetPath(store_.c_str());
    }
    bool Exists(const char* path) {
        HKEY key = nullptr;
        LONG status = Open(path, &key);
        RegCloseKey(key);
        return status == ERROR_SUCCESS;
    }

    ScopedEnv boot_{"CX_BOOT_ID", "boot-one"};  // set before SetUp opens the store
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

TEST_F(VolatileKeys, KeysMadeOnTheWayAreVolatileToo) {
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

    EXPECT_TRUE(::ReadRegString("SOFTWARE\\Q", "Bytes", buffer, sizeof(buffer)));
    EXPECT_FALSE(::ReadRegString("SOFTWARE\\Q", "Missing", buffer, sizeof(buffer)));
    EXPECT_FALSE(::ReadRegString("SOFTWARE\\Nothing", "Bytes", buffer, sizeof(buffer)));
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

using cx::platform::ParseRegText;
using cx::platform::RegTextKey;
using cx::platform::RegTextParse;
using cx::platform::WriteRegText;
using cx::test::ReadRows;
using cx::test::TextRow;

const char kHeader[] = "Windows Registry Editor Version 5.00\r\n\r\n";

// Each value whole: name, removal, type and bytes.
using Value = std::tuple<std::string, bool, DWORD, std::string>;
std::vector<Value> Values(const RegTextKey& key) {
    std::vector<Value> values;
    for (const cx::platform::RegTextValue& v : key.values)
        values.emplace_back(v.name, v.remove, v.type, v.data);
    return values;
}

std::string Utf16le(const std::string& ascii) {
    std::string out = "\xFF\xFE";
    for (char c : ascii) {
        out.push_back(c);
        out.push_back('\0');
    }
    return out;
}

TEST(RegTextParser, ReadsEveryFormRegeditWrites) {
    RegTextParse parsed = ParseRegText(std::string(kHeader) +
                                       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Cx]\r\n"
                                       "@=\"default\"\r\n"
                                       "\"Path\"=\"C:\\\\dir\\\\\\\"q\\\"\"\r\n"
                                       "\"Num\"=dword:0000012c\r\n"
                                       "\"Bin\"=hex:01,02,\\\r\n  ff\r\n"
                                       "\"Exp\"=hex(2):25,00,41,00,25,00,00,00\r\n"
                                       "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
                                       "\"Odd\"=hex(b):01\r\n"
                                       "\"Gone\"=-\r\n"
                                       "; a comment\r\n"
                                       "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Old]\r\n");
    ASSERT_EQ(parsed.error, "");
    ASSERT_EQ(parsed.keys.size(), 2u);
    EXPECT_EQ(parsed.keys[0].path, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Cx");
    const std::vector<Value> expected = {
        {"", false, REG_SZ, std::string("default\0", 8)},
        {"Path", false, REG_SZ, std::string("C:\\dir\\\"q\"\0", 11)},
        {"Num", false, REG_DWORD, std::string("\x2c\x01\0\0", 4)},
        {"Bin", false, REG_BINARY, "\x01\x02\xff"},
        {"Exp", false, REG_EXPAND_SZ, std::string("%A%\0", 4)},
        {"Multi", false, REG_MULTI_SZ, std::string("a\0b\0\0", 5)},
        {"Odd", false, 0xb, "\x01"},
        {"Gone", true, REG_NONE, ""},
    };
    EXPECT_EQ(Values(parsed.keys[0]), expected);
    EXPECT_TRUE(parsed.keys[1].remove);
    EXPECT_EQ(parsed.keys[1].line, 14);
}

TEST(RegTextParser, TakesRegedit4AndUtf16Text) {
    RegTextParse old = ParseRegText("REGEDIT4\n\n[HKLM\\S]\n\"E\"=hex(2):41,00\n");
    ASSERT_EQ(old.error, "");
    EXPECT_EQ(old.keys[0].values[0].data, std::string("A\0", 2)) << "REGEDIT4 strings are bytes";
    RegTextParse wide =
        ParseRegText(Utf16le("Windows Registry Editor Version 5.00\r\n[HKEY_USERS\\X]\r\n"
                             "\"N\"=\"v\"\r\n"));
    ASSERT_EQ(wide.error, "");
    EXPECT_EQ(wide.keys[0].values[0].data, std::string("v\0", 2));
    EXPECT_EQ(ParseRegText("\xEF\xBB\xBFREGEDIT4\n").error, "") << "UTF-8 BOM";
}

TEST(RegTextParser, NamesTheLineAndWhatIsWrong) {
    for (const TextRow& row : ReadRows(CX_TEST_DATA "/registry/reg_text_errors.txt")) {
        RegTextParse parsed = ParseRegText(row[0]);
        EXPECT_EQ(parsed.error_line, std::stoi(row[1])) << "row " << row.line;
        EXPECT_EQ(parsed.error, row[2]) << "row " << row.line;
        EXPECT_TRUE(parsed.keys.empty());
    }
}

TEST(RegTextWriter, WritesRegeditLayoutThatReadsBackTheSame) {
    std::string awkward = std::string("line\nbreak\0", 11);
    std::string not_utf8 = std::string("\xff\xfe\xc3(\0", 5);
    RegTextKey key{"HKEY_LOCAL_MACHINE\\S", false, true, 0, {}};
    key.values = {{"", false, REG_SZ, std::string("plain \\ \"quoted\"\0", 17)},
                  {"NoNul", false, REG_SZ, "abc"},
                  {"Break", false, REG_SZ, awkward},
                  {"Raw", false, REG_EXPAND_SZ, not_utf8},
                  {"Long", false, REG_BINARY, std::string(100, '\x5a')},
                  {"Word", false, REG_DWORD, std::string("\x01\x02\x03\x04", 4)},
                  {"Short", false, REG_DWORD, "\x01"}};
    std::string text = WriteRegText({key});
    EXPECT_NE(text.find("; volatile\n[HKEY_LOCAL_MACHINE\\S]\n"), std::string::npos);
    EXPECT_NE(text.find("@=\"plain \\\\ \\\"quoted\\\"\"\n"), std::string::npos);
    EXPECT_NE(text.find("\"Word\"=dword:04030201\n"), std::string::npos);
    EXPECT_NE(text.find("\"NoNul\"=hex(1):61,00,62,00,63,00\n"), std::string::npos);
    EXPECT_NE(text.find("\"Short\"=hex(4):01\n"), std::string::npos);
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
         start = end + 1)
        EXPECT_LE(end - start, 80u) << text.substr(start, end - start);

    RegTextParse back = ParseRegText(text);
    ASSERT_EQ(back.error, "");
    ASSERT_EQ(back.keys.size(), 1u);
    EXPECT_TRUE(back.keys[0].is_volatile);
    EXPECT_EQ(Values(back.keys[0]), Values(key));
}

using RegTextTransfer = RegistryTest;

TEST_F(RegTextTransfer, AFailingImportChangesNothing) {
    HKEY parent = Create("SOFTWARE\\Volatile", REG_OPTION_VOLATILE);
    RegCloseKey(parent);
    RegTextParse parsed = ParseRegText(std::string(kHeader) +
                                       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Fresh]\n\"a\"=\"b\"\n"
                                       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Volatile\\Plain]\n");
    ASSERT_EQ(parsed.error, "");
    int line = 0;
    EXPECT_EQ(cx::platform::ImportRegText(parsed.keys, &line), ERROR_CHILD_MUST_BE_VOLATILE);
    EXPECT_EQ(line, 5);
    HKEY key = nullptr;
    EXPECT_EQ(Open("SOFTWARE\\Fresh", &key), ERROR_FILE_NOT_FOUND);
}

using namespace std::chrono_literals;

using StoreFaults = RegistryTest;
using StoreConcurrency = RegistryTest;

TEST_F(StoreFaults, AFileThatIsNoStoreFailsEveryCall) {
    std::string foreign = dir_.File("foreign.db");
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(foreign.c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "CREATE TABLE t (x); INSERT INTO t VALUES (1);", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    struct Case {
        std::string name;
        std::string path;
    } cases[] = {{"text", dir_.File("text.db")}, {"foreign SQLite database", foreign}};
    WriteFile(cases[0].path, std::string(2000, 'x') + "\nnot a registry\n");
    for (const Case& c : cases) {
        CxRegistrySetPath(c.path.c_str());
        HKEY key = nullptr;
        EXPECT_EQ(Open("SOFTWARE", &key), ERROR_BADDB) << c.name;
        EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\X", 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_BADDB)
            << c.name;
        EXPECT_EQ(SetDword(HKEY_LOCAL_MACHINE, "v", 1), ERROR_BADDB) << c.name;
        EXPECT_EQ(Names(HKEY_LOCAL_MACHINE, true), std::vector<std::string>{"<error 1009>"})
            << c.name;
    }
    std::ifstream kept(foreign, std::ios::binary);
    std::string head(16, '\0');
    kept.read(head.data(), 16);
    EXPECT_EQ(head, std::string("SQLite format 3\0", 16)) << "another database is never written";
}

TEST_F(StoreFaults, AStoreThatCannotBeWrittenStillReads) {
    HKEY key = Create("SOFTWARE\\Probe");
    ASSERT_EQ(SetDword(key, "v", 7), ERROR_SUCCESS);
    RegCloseKey(Create("SOFTWARE\\Probe\\Leaf"));
    RegCloseKey(key);
    // Readable by all (the store is made 0660: the world's read bit is the test's), writable
    // by its owner only; as root the child runs as nobody.
    chmod(dir_.Path().c_str(), 0755);
    for (const char* suffix : {"", "-wal", "-shm"})
        chmod((store_ + suffix).c_str(), 0644);
    if (geteuid() != 0) {
        chmod(dir_.Path().c_str(), 0555);
        chmod(store_.c_str(), 0444);
    }
    ChildOptions options(ChildOutput::kPipe);
    options.as_nobody = true;
    ChildProcess child({REGISTRY_CHILD_PATH, "probe", store_}, options);
    ASSERT_TRUE(child.Started());
    std::string line;
    bool read = child.ReadLine(&line, 60s);
    int status = child.Wait(60s);
    chmod(dir_.Path().c_str(), 0700);
    if (status == 127) GTEST_SKIP() << "the helper cannot be run as another user here";
    ASSERT_TRUE(read);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(
        line,
        "open=0 query=0 value=7 set=5 create=5 deletevalue=5 deletekey=5 deletetree=5 import=5 ");
}

TEST_F(StoreFaults, AWriterKilledMidWriteLosesNothingCommitted) {
    ChildProcess child({REGISTRY_CHILD_PATH, "write", store_, "SOFTWARE\\Crash", "v", "1000000"},
                       ChildOutput::kPipe);
    ASSERT_TRUE(child.Started());
    std::string line;
    int last = -1;
    while (last < 300 && child.ReadLine(&line, 60s))
        last = std::stoi(line);
    ASSERT_GE(last, 300) << "the writer did not get going";
    child.Kill();
    while (child.ReadLine(&line, 10s)) {
        if (!line.empty()) last = std::stoi(line);  // committed before the kill
    }
    EXPECT_EQ(child.Wait(10s), 128 + SIGKILL);

    CxRegistrySetPath(store_.c_str());
    HKEY key = nullptr;
    ASSERT_EQ(Open("SOFTWARE\\Crash", &key), ERROR_SUCCESS);
    int missing = 0;
    for (int i = 0; i <= last; ++i) {
        DWORD value = 0, size = sizeof(value);
        if (RegQueryValueExA(key, ("v" + std::to_string(i)).c_str(), nullptr, nullptr,
                             reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
            value != static_cast<DWORD>(i))
            ++missing;
    }
    EXPECT_EQ(missing, 0) << "of " << last + 1 << " committed values";
    EXPECT_EQ(SetDword(key, "after", 1), ERROR_SUCCESS) << "the store takes writes again";
    RegCloseKey(key);
}

// Two processes and, in this one, threads creating volatile keys next to threads opening
// their parent: no write is lost and no call fails.
TEST_F(StoreConcurrency, ProcessesAndThreadsWritingAtOnceLoseNothing) {
    // Made first: a volatile key made on the way would refuse the children's plain keys.
    RegCloseKey(Create("SOFTWARE\\Both"));
    ChildProcess first({REGISTRY_CHILD_PATH, "write", store_, "SOFTWARE\\Both", "a", "1000"},
                       ChildOutput::kPipe);
    ChildProcess second({REGISTRY_CHILD_PATH, "write", store_, "SOFTWARE\\Both", "b", "1000"},
                        ChildOutput::kPipe);
    constexpr int kThreads = 4;
    constexpr size_t kWrites = 100;
    std::vector<std::thread> threads;
    std::vector<int> failures(kThreads * 2, 0);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &failures] {
            std::string path = "SOFTWARE\\Threads\\T" + std::to_string(t);
            for (size_t i = 0; i < kWrites; ++i) {
                HKEY key = nullptr;
                LONG status =
                    RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr,
                                    REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr);
                if (status == ERROR_SUCCESS)
                    status = SetDword(key, ("n" + std::to_string(i)).c_str(), 1);
                if (status != ERROR_SUCCESS) failures[t] = static_cast<int>(status);
                RegCloseKey(key);
            }
        });
        threads.emplace_back([t, &failures] {
            for (size_t i = 0; i < kWrites; ++i) {
                HKEY key = nullptr;
                LONG status =
                    RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Threads", 0, KEY_READ, &key);
                if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
                    failures[kThreads + t] = static_cast<int>(status);
                RegCloseKey(key);
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures, std::vector<int>(kThreads * 2, 0));
    first.ReadAll(120s);
    second.ReadAll(120s);
    ASSERT_EQ(first.Wait(120s), 0);
    ASSERT_EQ(second.Wait(120s), 0);
    for (int t = -1; t < kThreads; ++t) {
        std::string path = t < 0 ? "SOFTWARE\\Both" : "SOFTWARE\\Threads\\T" + std::to_string(t);
        HKEY key = nullptr;
        ASSERT_EQ(Open(path.c_str(), &key, KEY_READ), ERROR_SUCCESS) << path;
        EXPECT_EQ(Names(key, false).size(), t < 0 ? 2000u : kWrites) << path;
        RegCloseKey(key);
    }
}

// Publications while another writer holds the store return without waiting for it, and land
// once it lets go: in order (a value, its key's deletion, the value anew), a later value over a
// queued one. A service state set meanwhile is known at once in the process that set it.
TEST_F(StoreConcurrency, PublicationsWaitForAHeldStoreAndLandInOrder) {
    RegCloseKey(Create("SOFTWARE\\Held"));
    sqlite3* writer = nullptr;
    ASSERT_EQ(sqlite3_open(store_.c_str(), &writer), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(writer, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    const std::vector<CxRegKeyStep> temp = {{"SOFTWARE\\Held", 0}, {"Temp", REG_OPTION_VOLATILE}};
    for (const std::string text : {"first", "second", "third"}) {
        EXPECT_EQ(CxRegPublishValue(temp, "Text", REG_SZ, text.c_str(),
                                    static_cast<DWORD>(text.size() + 1)),
                  ERROR_SUCCESS);
        if (text == "first") {
            EXPECT_EQ(CxRegPublishDeleteTree("SOFTWARE\\Held", "Temp"), ERROR_SUCCESS);
        }
    }
    ASSERT_EQ(CxSetServiceCurrentState("SNMP", SERVICE_STOP_PENDING), ERROR_SUCCESS);
    EXPECT_EQ(SnmpServiceState(), SERVICE_STOP_PENDING);
    EXPECT_FALSE(CxRegFlushPublications(0));
    sqlite3_close(writer);
    ASSERT_TRUE(CxRegFlushPublications(30000));
    HKEY key = nullptr;
    ASSERT_EQ(Open("SYSTEM\\CurrentControlSet\\Services\\SNMP\\Status", &key, KEY_READ),
              ERROR_SUCCESS);
    EXPECT_EQ(Query(key, "CurrentState"), std::string("\x03\0\0\0", 4));
    RegCloseKey(key);
    ASSERT_EQ(Open("SOFTWARE\\Held\\Temp", &key, KEY_READ), ERROR_SUCCESS);
    EXPECT_EQ(Query(key, "Text"), std::string("third", 6));
    RegCloseKey(key);
}

// cxreg on the test's store (or `store`), its output and errors together in `out`.
class Cxreg : public RegistryTest {
  protected:
    ToolResult Cx(std::vector<std::string> args, const std::string& store = "") {
        args.insert(args.begin(), {CXREG_PATH, "--registry", store.empty() ? store_ : store});
        ToolResult run = RunTool(args, dir_.Path(), 60s);
        run.out += run.err;
        return run;
    }
    std::string Write(const std::string& name, const std::string& text) {
        std::string path = dir_.File(name);
        WriteFile(path, text);
        return path;
    }
};

TEST_F(Cxreg, DefaultsImportAndExportReproduceTheStore) {
    ToolResult imported = Cx({"import", CX_SOURCE_DIR "/data/registry/defaults.reg"});
    ASSERT_EQ(imported.exit_code, 0) << imported.out;
    ToolResult exported = Cx({"export"});
    ASSERT_EQ(exported.exit_code, 0) << exported.out;
    EXPECT_EQ(exported.out.rfind("Windows Registry Editor Version 5.00\n", 0), 0u);
    EXPECT_NE(exported.out.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Arvenmark\\#Setup]\n"
                                "\"FileRoot\"=\"/usr/share/catalix\"\n"
                                "\"DataRoot\"=\"/var/lib/catalix\"\n"),
              std::string::npos);
    EXPECT_NE(exported.out.find("\"UdpPort\"=dword:000000a1\n"), std::string::npos);

    std::string copy = dir_.File("copy.db");
    ASSERT_EQ(Cx({"import", Write("all.reg", exported.out)}, copy).exit_code, 0);
    EXPECT_EQ(Cx({"export"}, copy).out, exported.out);
}

TEST_F(Cxreg, SetQueryAndDeleteValues) {
    const std::string key = "HKLM\\SOFTWARE\\Arvenmark\\CX_MIB\\Parameters";
    struct Case {
        std::vector<std::string> set;
        std::string shown;
    } cases[] = {
        {{"ScanTime", "REG_DWORD", "0x12c"}, "300\n"},
        {{"Root", "REG_EXPAND_SZ", "%HOME%/x"}, "%HOME%/x\n"},
        {{"Blob", "REG_BINARY", "01,ff,20"}, "01,ff,20\n"},
        {{"@", "REG_SZ", "default"}, "default\n"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"set", key};
        args.insert(args.end(), c.set.begin(), c.set.end());
        ASSERT_EQ(Cx(args).exit_code, 0) << c.set[0];
        ToolResult query = Cx({"query", key, c.set[0]});
        EXPECT_EQ(query.exit_code, 0);
        EXPECT_EQ(query.out, c.shown) << c.set[0];
    }
    ToolResult listing = Cx({"query", "HKLM\\SOFTWARE\\Arvenmark\\CX_MIB"});
    EXPECT_EQ(listing.out,
              "[HKLM\\SOFTWARE\\Arvenmark\\CX_MIB]\n\n"
              "[HKLM\\SOFTWARE\\Arvenmark\\CX_MIB\\Parameters]\n");
    EXPECT_EQ(Cx({"delete", key, "ScanTime"}).exit_code, 0);
    ToolResult gone = Cx({"query", key, "ScanTime"});
    EXPECT_EQ(gone.exit_code, 1);
    EXPECT_EQ(gone.out, "cxreg: " + key + " ScanTime: not found (error 2)\n");
    EXPECT_EQ(Cx({"delete", "HKLM\\SOFTWARE\\Arvenmark"}).exit_code, 0);
    EXPECT_EQ(Cx({"query", key}).exit_code, 1);
}

// A malformed file is refused whole, with its line named.
TEST_F(Cxreg, RefusesWrongUsageBadFilesAndBadStores) {
    std::string bad = Write("bad.reg",
                            "Windows Registry Editor Version 5.00\r\n\r\n"
                            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Good]\r\n\"a\"=\"b\"\r\n"
                            "\"n\"=dword:xyz\r\n");
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string output_start;
    } cases[] = {
        {{}, 2, "cxreg: no command given"},
        {{"frobnicate"}, 2, "cxreg: unknown command 'frobnicate'"},
        {{"set", "HKLM\\S", "v", "REG_QWORD", "1"}, 2, "cxreg: unknown type 'REG_QWORD'"},
        {{"set", "HKLM\\S", "v", "REG_DWORD", "4294967296"},
         2,
         "cxreg: '4294967296' is not a number"},
        {{"query", "SOFTWARE\\S"}, 2, "cxreg: 'SOFTWARE\\S': a key begins with"},
        {{"delete", "HKLM"}, 2, "cxreg: a root key cannot be deleted"},
        {{"import", dir_.File("missing.reg")}, 1, "cxreg: " + dir_.File("missing.reg")},
        {{"import", bad}, 1, bad + ":5: dword: needs 1 to 8 hexadecimal digits\n"},
        {{"--help"}, 0, "Usage: cxreg [--registry PATH] COMMAND"},
    };
    for (const Case& c : cases) {
        ToolResult run = Cx(c.args);
        EXPECT_EQ(run.exit_code, c.status) << run.out;
        EXPECT_EQ(run.out.rfind(c.output_start, 0), 0u) << run.out;
    }
    EXPECT_EQ(Cx({"query", "HKLM\\SOFTWARE\\Good"}).exit_code, 1) << "nothing of bad.reg stayed";
    std::string text = Write("text.db", std::string(4096, 't'));
    ToolResult store = Cx({"export"}, text);
    EXPECT_EQ(store.exit_code, 1);
    EXPECT_EQ(store.out, "cxreg: " + text + ": not a registry store (error 1009)\n");
}

}  // namespace
}  // namespace cx::test
