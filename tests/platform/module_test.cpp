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
}

TEST(ModuleLock, TakesOnlyModulesAlreadyLoaded) {
    EXPECT_NE(CxLockLoadedModule("libc.so.6"), nullptr);
    EXPECT_EQ(CxLockLoadedModule("libcx-not-installed.so"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(CxLockLoadedModule(""), nullptr);
}

TEST(ProcessNames, OwnProcessAndUnknownProcess) {
    HANDLE process =
        OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, GetCurrentProcessId());
    ASSERT_NE(process, nullptr);
    char name[MAX_PATH];
    char path[MAX_PATH];
    ASSERT_GT(GetModuleBaseNameA(process, nullptr, name, sizeof(name)), 0u);
    EXPECT_EQ(std::string(name), "platform_core_test");
    ASSERT_GT(GetModuleFileNameExA(process, nullptr, path, sizeof(path)), 0u);
    EXPECT_EQ(path[0], '/');
    CloseHandle(process);

    EXPECT_EQ(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, 0x7FFFFFF0u), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(GetModuleBaseNameA(nullptr, nullptr, name, sizeof(name)), 0u);
}

}  // namespace
