// The Reg* calls against their Windows contracts: paths, handles, buffers, access, errors.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/handles.h"
#include "platform/synch.h"
#include "registry_fixture.h"

namespace cx::test {
namespace {

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
        {"SOFTWARE", ERROR_SUCCESS},
        {"SOFTWARE\\Cx", ERROR_SUCCESS},
        {"SOFTWARE\\Cx\\Sub", ERROR_SUCCESS},
        {"software\\cX\\SUB", ERROR_SUCCESS},
        {"SOFTWARE\\\\Cx\\\\\\Sub", ERROR_SUCCESS},
        {"SOFTWARE\\Cx\\Sub\\", ERROR_SUCCESS},
        {"SOFTWARE\\Cx\\Sub\\\\", ERROR_SUCCESS},
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

// The store file is made by the first write only; keys opened before a switch to another
// store are gone.
TEST_F(RegistryStoreFile, IsCreatedByTheFirstWriteAndASwitchLeavesOldKeysGone) {
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
    EXPECT_EQ(SetDword(old, "x", 1), ERROR_KEY_DELETED);
    EXPECT_EQ(RegCloseKey(old), ERROR_SUCCESS);
}

}  // namespace
}  // namespace cx::test
