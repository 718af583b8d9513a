// Directory searches: wildcard patterns, case, order and the search handle's life.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "child_process.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "temp_dir.h"

namespace {

using cx::test::TempDir;

// Every name the search hands out, in order; empty with the error when it fails.
std::vector<std::string> FindAll(const std::string& pattern, DWORD* error) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data{};
    HANDLE find = FindFirstFileA(pattern.c_str(), &data);
    *error = GetLastError();
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        names.push_back(data.cFileName);
    } while (FindNextFileA(find, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_TRUE(FindClose(find));
    return names;
}

TEST(FindFile, PatternsMatchLikeWindows) {
    TempDir dir;
    for (const char* name : {"Catalix.act", "Catalix.sav", "CX_MIB.ini", "notes", "a.b.c"}) {
        cx::test::WriteFile(dir.File(name), "x");
    }
    using Names = std::vector<std::string>;
    struct Case {
        const char* pattern;
        Names names;
        DWORD error;
    };
    const Case cases[] = {
        {"*",
         {".", "..", "a.b.c", "Catalix.act", "Catalix.sav", "CX_MIB.ini", "notes"},
         ERROR_SUCCESS},
        {"*.*",
         {".", "..", "a.b.c", "Catalix.act", "Catalix.sav", "CX_MIB.ini", "notes"},
         ERROR_SUCCESS},
        {"catalix.*", {"Catalix.act", "Catalix.sav"}, ERROR_SUCCESS},
        {"*.ACT", {"Catalix.act"}, ERROR_SUCCESS},
        {"?atalix.sa?", {"Catalix.sav"}, ERROR_SUCCESS},
        {"cx_mib.ini", {"CX_MIB.ini"}, ERROR_SUCCESS},
        {"CX_MIB.ini", {"CX_MIB.ini"}, ERROR_SUCCESS},
        {"*.b*", {"a.b.c"}, ERROR_SUCCESS},
        {"note", {}, ERROR_FILE_NOT_FOUND},
        {"n?tes?", {}, ERROR_FILE_NOT_FOUND},
        {"*.cpy", {}, ERROR_FILE_NOT_FOUND},
        {"", {}, ERROR_FILE_NOT_FOUND},  // the directory with a trailing '/'
        {"no/*", {}, ERROR_PATH_NOT_FOUND},
    };
    for (const auto& c : cases) {
        DWORD error = 0;
        EXPECT_EQ(FindAll(dir.File(c.pattern), &error), c.names) << c.pattern;
        EXPECT_EQ(error, c.error) << c.pattern;
    }
}

TEST(FindFile, RefusesBadArguments) {
    WIN32_FIND_DATAA data{};
    EXPECT_EQ(FindFirstFileA(nullptr, &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(FindClose(INVALID_HANDLE_VALUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(FindFile, DescribesTheFileFound) {
    TempDir dir;
    cx::test::WriteFile(dir.File("data.bin"), std::string(1234, 'x'));
    struct timespec times[2] = {{1000, 0}, {1161334659, 0}};
    utimensat(AT_FDCWD, dir.File("data.bin").c_str(), times, 0);
    WIN32_FIND_DATAA data{};
    HANDLE find = FindFirstFileA(dir.File("data.bin").c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(data.cFileName, "data.bin");
    EXPECT_EQ(data.nFileSizeLow, 1234u);
    EXPECT_EQ(data.nFileSizeHigh, 0u);
    EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_NORMAL);
    ULONGLONG written = (static_cast<ULONGLONG>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                        data.ftLastWriteTime.dwLowDateTime;
    EXPECT_EQ(written, 116444736000000000ULL + 1161334659ULL * 10000000ULL);
    EXPECT_FALSE(FindNextFileA(find, &data));
    EXPECT_TRUE(FindClose(find));
    EXPECT_FALSE(FindClose(find)) << "closed once";
}

}  // namespace
