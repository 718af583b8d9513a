// Module and process file names with the Windows length and truncation rules.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "platform/windows.h"

namespace {

// The executable, or the module of an address, truncated as Windows does.
TEST(ModuleFileName, NamesTheModuleAndTruncatesAsWindows) {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof(path));
    ASSERT_GT(length, 0u);
    EXPECT_EQ(std::string(path).size(), length);
    EXPECT_NE(std::string(path).find("platform_core_test"), std::string::npos);

    char small[5];
    EXPECT_EQ(GetModuleFileNameA(nullptr, small, sizeof(small)), 5u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::string(small), std::string(path, 4));

    HMODULE module = CxModuleFromAddress(reinterpret_cast<const void*>(&GetModuleFileNameA));
    ASSERT_NE(module, nullptr);
    EXPECT_GT(GetModuleFileNameA(module, path, sizeof(path)), 0u);
    EXPECT_EQ(CxModuleFromAddress(nullptr), nullptr);
    EXPECT_EQ(GetModuleBaseNameA(nullptr, nullptr, path, sizeof(path)), 0u) << "no process";
}

TEST(ModuleLock, TakesOnlyModulesAlreadyLoaded) {
    EXPECT_NE(CxLockLoadedModule("libc.so.6"), nullptr);
    EXPECT_EQ(CxLockLoadedModule("libcx-not-installed.so"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(CxLockLoadedModule(""), nullptr);
}

}  // namespace
