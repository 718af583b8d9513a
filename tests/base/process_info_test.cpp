// Process functions.
#include <gtest/gtest.h>

#include <string>

#include "base/process_info.h"

namespace {

TEST(ProcessInfo, NamesThisProcess) {
    EXPECT_FALSE(IsWow64());
    char name[64];
    char path[MAX_PATH];
    ASSERT_TRUE(GetProcessName(GetCurrentProcessId(), name, sizeof(name), path, sizeof(path)));
    EXPECT_STREQ(name, "base_core_test");
    EXPECT_EQ(std::string(path).substr(std::string(path).rfind('/') + 1), "base_core_test");
    EXPECT_TRUE(GetProcessName(GetCurrentProcessId(), nullptr, 0, nullptr, 0))
        << "nothing asked for";
    EXPECT_FALSE(GetProcessName(0x7FFFFFF0u, name, sizeof(name), path, sizeof(path)));
    EXPECT_STREQ(name, "");
    EXPECT_FALSE(GetProcessName(0x7FFFFFF0u, name, sizeof(name), nullptr, 0))
        << "a name asked for and not found is a failure";
    EXPECT_FALSE(GetProcessName(0x7FFFFFF0u, nullptr, 0, path, sizeof(path)));
}

TEST(ProcessInfo, ModulePath) {
    char path[MAX_PATH];
    EXPECT_EQ(GetModulePath(nullptr, 10, nullptr), 0u);
    EXPECT_EQ(GetModulePath(path, 0, nullptr), 0u);
    DWORD length = GetModulePath(path, sizeof(path), nullptr);
    EXPECT_EQ(length, std::string(path).size());
}

}  // namespace
