// A registry store of the test's own, in its own temporary directory, and small helpers.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/registry_store.h"
#include "platform/winreg.h"
#include "temp_dir.h"

namespace cx::test {

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

}  // namespace cx::test
