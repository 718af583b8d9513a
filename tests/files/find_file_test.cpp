// Directory searches: wildcard patterns, case, order and the search handle's life.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "child_process.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "temp_dir.h"

namespace {

using cx::test::TempDir;

// Every name the search hands out, in order and separated by blanks, or "error N".
std::string FindAll(const std::string& pattern) {
    WIN32_FIND_DATAA data{};
    HANDLE find = FindFirstFileA(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return "error " + std::to_string(GetLastError());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    std::string names = data.cFileName;
    while (FindNextFileA(find, &data))
        names += std::string(" ") + data.cFileName;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_TRUE(FindClose(find));
    return names;
}

TEST(FindFile, PatternsMatchLikeWindows) {
    TempDir dir;
    for (const char* name : {"Catalix.act", "Catalix.sav", "CX_MIB.ini", "notes", "a.b.c"}) {
        cx::test::WriteFile(dir.File(name), "x");
    }
    // The pattern | the names found, in order, or the error.
    const std::pair<const char*, const char*> cases[] = {
        {"*", ". .. a.b.c Catalix.act Catalix.sav CX_MIB.ini notes"},
        {"*.*", ". .. a.b.c Catalix.act Catalix.sav CX_MIB.ini notes"},
        {"catalix.*", "Catalix.act Catalix.sav"},
        {"*.ACT", "Catalix.act"},
        {"?atalix.sa?", "Catalix.sav"},
        {"cx_mib.ini", "CX_MIB.ini"},
        {"CX_MIB.ini", "CX_MIB.ini"},
        {"*.b*", "a.b.c"},
        {"note", "error 2"},
        {"n?tes?", "error 2"},
        {"*.cpy", "error 2"},
        {"", "error 2"},  // the directory with a trailing '/'
        {"no/*", "error 3"},
    };
    for (const auto& [pattern, found] : cases)
        EXPECT_EQ(FindAll(dir.File(pattern)), found) << pattern;
}

TEST(FindFile, RefusesBadArguments) {
    WIN32_FIND_DATAA data{};
    EXPECT_EQ(FindFirstFileA(nullptr, &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(FindClose(INVALID_HANDLE_VALUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

}  // namespace
