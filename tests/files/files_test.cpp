// The file calls: CreateFileA dispositions and access, calls on an open handle, whole-file
// operations by name, directory searches and FILETIME conversions.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <utility>

#include "child_process.h"
#include "dir_names.h"
#include "file_modes.h"
#include "last_error.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/handles.h"
#include "platform/profile.h"
#include "scoped_env.h"
#include "temp_dir.h"

namespace {

using cx::test::FailedWith;
using cx::test::TempDir;

HANDLE Open(const std::string& path, DWORD access, DWORD disposition) {
    return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

TEST(CreateFile, DispositionsFollowTheWindowsTable) {
    const struct {
        DWORD disposition;
        bool exists;
        DWORD last_error;     // kDidNotFail: the call did not open the file
        const char* content;  // what the file holds afterwards; nullptr: there is none
    } cases[] = {
        {CREATE_NEW, false, ERROR_SUCCESS, ""},
        {CREATE_NEW, true, cx::test::kDidNotFail, "old"},
        {CREATE_ALWAYS, false, ERROR_SUCCESS, ""},
        {CREATE_ALWAYS, true, ERROR_ALREADY_EXISTS, ""},
        {OPEN_EXISTING, false, cx::test::kDidNotFail, nullptr},
        {OPEN_EXISTING, true, ERROR_SUCCESS, "old"},
        {OPEN_ALWAYS, false, ERROR_SUCCESS, ""},
        {OPEN_ALWAYS, true, ERROR_ALREADY_EXISTS, "old"},
        {TRUNCATE_EXISTING, false, cx::test::kDidNotFail, nullptr},
        {TRUNCATE_EXISTING, true, ERROR_SUCCESS, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "disposition " << c.disposition << " exists " << c.exists);
        TempDir dir;
        if (c.exists) cx::test::WriteFile(dir.File("f"), "old");
        HANDLE file = Open(dir.File("f"), GENERIC_READ | GENERIC_WRITE, c.disposition);
        const DWORD error = GetLastError();
        if (c.last_error == cx::test::kDidNotFail) {
            EXPECT_EQ(file, INVALID_HANDLE_VALUE);
            EXPECT_EQ(error,
                      static_cast<DWORD>(c.exists ? ERROR_FILE_EXISTS : ERROR_FILE_NOT_FOUND));
        } else {
            EXPECT_EQ(error, c.last_error);
            EXPECT_TRUE(CloseHandle(file));
        }
        struct stat info {};
        EXPECT_EQ(stat(dir.File("f").c_str(), &info) == 0, c.content != nullptr);
        if (c.content != nullptr) {
            EXPECT_EQ(cx::test::ReadFile(dir.File("f")), c.content);
        }
    }
}

TEST(CreateFile, RefusesWhatWindowsRefuses) {
    TempDir dir;
    const struct {
        std::string path;
        DWORD access;
        DWORD disposition;
        DWORD error;
    } cases[] = {
        {dir.File("no/f"), GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {dir.File("no/f"), GENERIC_WRITE, CREATE_ALWAYS, ERROR_PATH_NOT_FOUND},
        {dir.Path(), GENERIC_READ, OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {"", GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {dir.File("f"), GENERIC_READ, 9, ERROR_INVALID_PARAMETER},  // unknown disposition
        {dir.File("f"), GENERIC_READ, TRUNCATE_EXISTING, ERROR_INVALID_PARAMETER},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Open(c.path, c.access, c.disposition), INVALID_HANDLE_VALUE) << c.path;
        EXPECT_EQ(GetLastError(), c.error) << c.path << " " << c.disposition;
    }
}

// Reads, writes, sizes and the end of a file, each allowed only by the handle's access;
// FILE_APPEND_DATA writes at the end wherever the pointer is.
TEST(FileHandle, ReadsWritesAndCutsAsItsAccessAllows) {
    TempDir dir;
    HANDLE file = Open(dir.File("f"), GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD done = 0;
    EXPECT_TRUE(WriteFile(file, "hello world", 11, &done, nullptr));
    EXPECT_EQ(done, 11u);
    EXPECT_EQ(SetFilePointer(file, 6, nullptr, FILE_BEGIN), 6u);
    char buffer[32] = {};
    EXPECT_TRUE(ReadFile(file, buffer, sizeof(buffer), &done, nullptr));
    EXPECT_EQ(std::string(buffer, done), "world");
    EXPECT_TRUE(ReadFile(file, buffer, sizeof(buffer), &done, nullptr)) << "end of file";
    EXPECT_EQ(done, 0u);
    DWORD high = 7;
    EXPECT_EQ(GetFileSize(file, &high), 11u);
    EXPECT_EQ(high, 0u);
    SetFilePointer(file, 4, nullptr, FILE_BEGIN);
    EXPECT_TRUE(SetEndOfFile(file));
    EXPECT_TRUE(FlushFileBuffers(file));
    EXPECT_EQ(GetFileSize(file, nullptr), 4u);
    CloseHandle(file);

    HANDLE reader = Open(dir.File("f"), GENERIC_READ, OPEN_EXISTING);
    done = 1;
    EXPECT_EQ(FailedWith(WriteFile(reader, "x", 1, &done, nullptr)),
              static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(done, 0u);
    EXPECT_FALSE(SetEndOfFile(reader));
    EXPECT_FALSE(FlushFileBuffers(reader));
    CloseHandle(reader);
    HANDLE appender = Open(dir.File("f"), FILE_APPEND_DATA, OPEN_ALWAYS);
    SetFilePointer(appender, 0, nullptr, FILE_BEGIN);
    EXPECT_TRUE(WriteFile(appender, "\r\n", 2, nullptr, nullptr));
    EXPECT_EQ(FailedWith(ReadFile(appender, buffer, 1, &done, nullptr)),
              static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(CloseHandle(appender));
    EXPECT_EQ(FailedWith(ReadFile(appender, buffer, 1, &done, nullptr)),
              static_cast<DWORD>(ERROR_INVALID_HANDLE))
        << "closed handle";
    EXPECT_EQ(cx::test::ReadFile(dir.File("f")), "hell\r\n");
}

TEST(FileHandle, SetFilePointerMovesLikeWindows) {
    TempDir dir;
    cx::test::WriteFile(dir.File("f"), std::string(100, 'x'));
    HANDLE file = Open(dir.File("f"), GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING);
    const struct {
        LONG distance;
        DWORD method;
        DWORD result;
        DWORD error;
    } cases[] = {
        {10, FILE_BEGIN, 10, ERROR_SUCCESS},
        {-10, FILE_CURRENT, 0, ERROR_SUCCESS},
        {-1, FILE_CURRENT, INVALID_SET_FILE_POINTER, ERROR_NEGATIVE_SEEK},
        {-10, FILE_END, 90, ERROR_SUCCESS},
        {10, FILE_END, 110, ERROR_SUCCESS},
        {0, 7, INVALID_SET_FILE_POINTER, ERROR_INVALID_PARAMETER},  // unknown method
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SetFilePointer(file, c.distance, nullptr, c.method), c.result) << c.distance;
        EXPECT_EQ(GetLastError(), c.error) << c.distance << " from " << c.method;
    }
    EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_CURRENT), 110u)
        << "a failed move leaves the position";

    LONG high = 1;  // 4 GiB + 16: needs the high part
    EXPECT_EQ(SetFilePointer(file, 16, &high, FILE_BEGIN), 16u);
    EXPECT_EQ(high, 1);
    EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER)
        << "a position beyond 32 bits cannot be reported without a high part";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    CloseHandle(file);
}

FILETIME Ticks(ULONGLONG ticks) {
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

ULONGLONG TicksOf(const FILETIME& time) {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// The times of the file, through its handle and through a search; a copy keeps the write time.
TEST(FileHandle, FileTimesAreThoseOfTheFile) {
    TempDir dir;
    cx::test::WriteFile(dir.File("f"), std::string(1234, 'x'));
    struct timespec times[2] = {{1000000000, 0}, {1161334659, 0}};  // 2006-10-20 08:57:39 UTC
    ASSERT_EQ(utimensat(AT_FDCWD, dir.File("f").c_str(), times, 0), 0);
    const ULONGLONG y1970 = 116444736000000000ULL;
    HANDLE file = Open(dir.File("f"), GENERIC_READ, OPEN_EXISTING);
    FILETIME accessed{};
    GetFileTime(file, nullptr, &accessed, nullptr);
    CloseHandle(file);
    EXPECT_EQ(TicksOf(accessed), y1970 + 1000000000ULL * 10000000ULL);
    ASSERT_TRUE(CopyFileA(dir.File("f").c_str(), dir.File("copy").c_str(), TRUE));
    for (const char* name : {"f", "copy"}) {
        HANDLE handle = Open(dir.File(name), GENERIC_READ, OPEN_EXISTING);
        FILETIME written{};
        ASSERT_TRUE(GetFileTime(handle, nullptr, nullptr, &written));
        CloseHandle(handle);
        EXPECT_EQ(TicksOf(written), y1970 + 1161334659ULL * 10000000ULL) << name;
        WIN32_FIND_DATAA data{};
        HANDLE find = FindFirstFileA(dir.File(name).c_str(), &data);
        ASSERT_NE(find, INVALID_HANDLE_VALUE);
        EXPECT_EQ(TicksOf(data.ftLastWriteTime), TicksOf(written));
        EXPECT_STREQ(data.cFileName, name);
        EXPECT_EQ(data.nFileSizeLow + data.nFileSizeHigh, 1234u);
        EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_NORMAL);
        EXPECT_FALSE(FindNextFileA(find, &data));
        EXPECT_TRUE(FindClose(find));
        EXPECT_FALSE(FindClose(find)) << "closed once";
    }
}

using cx::test::ReadFile;

class FileOperations : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : {"a", "old", "readonly", ".hidden"})
            cx::test::WriteFile(File(name), name);
        chmod(File("readonly").c_str(), 0444);
    }
    std::string File(const std::string& name) const { return dir_.File(name); }
    cx::test::TempDir dir_;
};

// Each refusal has its own code and leaves source and target as they were.
TEST_F(FileOperations, RefusalsSayWhyAndChangeNothing) {
    const struct {
        const char* call;
        std::string from, to;
        DWORD error;
    } cases[] = {
        {"delete", File("missing"), "", ERROR_FILE_NOT_FOUND},
        {"delete", File("no/f"), "", ERROR_PATH_NOT_FOUND},
        {"delete", dir_.Path(), "", ERROR_ACCESS_DENIED},
        {"delete", File("readonly"), "", ERROR_ACCESS_DENIED},
        {"copy", File("missing"), File("b"), ERROR_FILE_NOT_FOUND},
        {"copy", File("no/a"), File("b"), ERROR_PATH_NOT_FOUND},
        {"copy", File("a"), File("no/b"), ERROR_PATH_NOT_FOUND},
        {"copy", dir_.Path(), File("b"), ERROR_ACCESS_DENIED},
        {"copy", File("a"), File("a"), ERROR_SHARING_VIOLATION},
        {"copy", File("a"), File("readonly"), ERROR_ACCESS_DENIED},
        {"copy if new", File("a"), File("old"), ERROR_FILE_EXISTS},
        {"move", File("a"), File("old"), ERROR_ALREADY_EXISTS},
        {"move", File("missing"), File("d"), ERROR_FILE_NOT_FOUND},
        {"move and delete later", File("a"), "", ERROR_INVALID_PARAMETER},
        {"make directory", File("a"), "", ERROR_ALREADY_EXISTS},
        {"make directory", File("x/y"), "", ERROR_PATH_NOT_FOUND},
    };
    for (const auto& c : cases) {
        const std::string call = c.call;
        const BOOL result = call == "delete"        ? DeleteFileA(c.from.c_str())
                            : call == "copy"        ? CopyFileA(c.from.c_str(), c.to.c_str(), FALSE)
                            : call == "move"        ? MoveFileA(c.from.c_str(), c.to.c_str())
                            : call == "copy if new" ? CopyFileA(c.from.c_str(), c.to.c_str(), TRUE)
                            : call == "make directory" ? CreateDirectoryA(c.from.c_str(), nullptr)
                                                       : MoveFileExA(c.from.c_str(), nullptr, 0);
        EXPECT_EQ(FailedWith(result), c.error) << c.call << " " << c.from << " " << c.to;
    }
    EXPECT_EQ(cx::test::DirectoryNames(dir_.Path()),
              (std::set<std::string>{"a", "old", "readonly", ".hidden"}));
    EXPECT_EQ(ReadFile(File("a")) + ReadFile(File("old")), "aold");
}

TEST_F(FileOperations, CopyMoveAndDeleteReplaceOnlyWhenAsked) {
    chmod(File("a").c_str(), 0640);
    struct timespec times[2] = {{1000, 0}, {1161334659, 0}};
    utimensat(AT_FDCWD, File("a").c_str(), times, 0);
    ASSERT_TRUE(CopyFileA(File("a").c_str(), File("b").c_str(), TRUE));
    EXPECT_EQ(ReadFile(File("b")), "a");
    struct stat info {};
    stat(File("b").c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(info.st_mtim.tv_sec, 1161334659);
    EXPECT_TRUE(CopyFileA(File("a").c_str(), File("old").c_str(), FALSE));
    EXPECT_EQ(ReadFile(File("old")), "a");

    EXPECT_TRUE(MoveFileExA(File("b").c_str(), File("old").c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
    EXPECT_TRUE(MoveFileA(File("old").c_str(), File("c").c_str()));
    EXPECT_TRUE(DeleteFileA(File("a").c_str()));
    EXPECT_TRUE(CreateDirectoryA(File("d").c_str(), nullptr));
    EXPECT_EQ(cx::test::DirectoryNames(dir_.Path()),
              (std::set<std::string>{"c", "d", "readonly", ".hidden"}))
        << "no temporary file left";
}

// The writes of the system's own files, with a link planted where the file goes: a call that
// would write or copy through it fails and says why; one that replaces the file replaces the
// link (a profile write reads through it first, as any reader does). The link's target never
// changes.
TEST_F(FileOperations, PlantedLinksAreNeverFollowed) {
    const std::string link = File("planted"), victim = File("victim");
    auto create = [&](DWORD access, DWORD disposition) {
        HANDLE file = CreateFileA(link.c_str(), access, 0, nullptr, disposition,
                                  CX_FILE_FLAG_PRIVATE, nullptr);
        return file == INVALID_HANDLE_VALUE ? FALSE : CloseHandle(file);
    };
    const struct {
        const char* call;
        std::function<BOOL()> run;
        DWORD error;          // kDidNotFail: the call succeeds
        const char* content;  // the regular file at the link's place; nullptr: the link stays
    } cases[] = {
        {"append", [&] { return create(FILE_APPEND_DATA, OPEN_ALWAYS); },
         ERROR_CANT_RESOLVE_FILENAME, nullptr},
        {"rewrite", [&] { return create(GENERIC_WRITE, CREATE_ALWAYS); },
         ERROR_CANT_RESOLVE_FILENAME, nullptr},
        {"copy from", [&] { return CopyFileA(link.c_str(), File("copy").c_str(), FALSE); },
         ERROR_CANT_RESOLVE_FILENAME, nullptr},
        {"copy onto if new", [&] { return CopyFileA(File("a").c_str(), link.c_str(), TRUE); },
         ERROR_FILE_EXISTS, nullptr},
        {"copy onto", [&] { return CopyFileA(File("a").c_str(), link.c_str(), FALSE); },
         cx::test::kDidNotFail, "a"},
        {"whole file", [&] { return CxWriteWholeFile(link.c_str(), "new", 3); },
         cx::test::kDidNotFail, "new"},
        {"profile",
         [&] {
             return WritePrivateProfileStringA("S", "k", "v", link.c_str()) &&
                    WritePrivateProfileStringA(nullptr, nullptr, nullptr, link.c_str());
         },
         cx::test::kDidNotFail, "victim\r\n[S]\r\nk=v\r\n"},
    };
    for (const auto& c : cases) {
        cx::test::WriteFile(victim, "victim");
        std::remove(link.c_str());
        ASSERT_EQ(symlink(victim.c_str(), link.c_str()), 0);
        EXPECT_EQ(FailedWith(c.run()), c.error) << c.call;
        EXPECT_EQ(ReadFile(victim), "victim") << c.call;
        EXPECT_EQ(cx::test::IsSymlink(link), c.content == nullptr) << c.call;
        if (c.content != nullptr) {
            EXPECT_EQ(ReadFile(link), c.content) << c.call;
        }
    }
    EXPECT_FALSE(cx::test::DirectoryNames(dir_.Path()).contains("copy"));
}

TEST_F(FileOperations, AttributesDescribeFilesAndDirectories) {
    const struct {
        std::string path;
        DWORD attributes;
        DWORD error;
    } cases[] = {
        {File("a"), FILE_ATTRIBUTE_NORMAL, ERROR_SUCCESS},
        {File("readonly"), FILE_ATTRIBUTE_READONLY, ERROR_SUCCESS},
        {File(".hidden"), FILE_ATTRIBUTE_HIDDEN, ERROR_SUCCESS},
        {dir_.Path(), FILE_ATTRIBUTE_DIRECTORY, ERROR_SUCCESS},
        {File("missing"), INVALID_FILE_ATTRIBUTES, ERROR_FILE_NOT_FOUND},
        {File("no/f"), INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(GetFileAttributesA(c.path.c_str()), c.attributes) << c.path;
        EXPECT_EQ(GetLastError(), c.error) << c.path;
    }
}

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

TEST(FindFile, PatternsMatchLikeWindowsAndBadArgumentsAreRefused) {
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
    WIN32_FIND_DATAA data{};
    EXPECT_EQ(FindFirstFileA(nullptr, &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(FindClose(INVALID_HANDLE_VALUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

std::string Text(const SYSTEMTIME& t) {
    char text[64];
    std::snprintf(text, sizeof(text), "%u-%u-%u (%u) %u:%u:%u.%u", t.wYear, t.wMonth, t.wDay,
                  t.wDayOfWeek, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
    return text;
}

struct Instant {
    ULONGLONG ticks;
    SYSTEMTIME parts;  // year, month, day of week, day, hour, minute, second, milliseconds
};

TEST(FileTime, ConvertsBothWaysAtKnownInstants) {
    const Instant cases[] = {
        {0ULL, {1601, 1, 1, 1, 0, 0, 0, 0}},
        {116444736000000000ULL, {1970, 1, 4, 1, 0, 0, 0, 0}},
        {116444736000000000ULL + 1161334659ULL * 10000000ULL + 1234567,
         {2006, 10, 5, 20, 8, 57, 39, 123}},
        {125962560000000000ULL, {2000, 2, 2, 29, 0, 0, 0, 0}},
        {0x7FFFFFFFFFFFFFFFULL - 0x7FFFFFFFFFFFFFFFULL % 10000ULL,
         {30828, 9, 4, 14, 2, 48, 5, 477}},
    };
    for (const auto& c : cases) {
        FILETIME time = Ticks(c.ticks);
        SYSTEMTIME parts{};
        ASSERT_TRUE(FileTimeToSystemTime(&time, &parts)) << c.ticks;
        EXPECT_EQ(Text(parts), Text(c.parts)) << c.ticks;
        if (c.parts.wYear > 30827) continue;  // beyond what SystemTimeToFileTime accepts
        FILETIME back{};
        ASSERT_TRUE(SystemTimeToFileTime(&parts, &back)) << c.ticks;
        EXPECT_EQ(TicksOf(back), c.ticks - c.ticks % 10000) << "milliseconds are kept";
    }
}

TEST(FileTime, RefusesInvalidValues) {
    const SYSTEMTIME invalid[] = {
        {1600, 12, 0, 31, 0, 0, 0, 0}, {2005, 2, 0, 29, 0, 0, 0, 0}, {2004, 13, 0, 1, 0, 0, 0, 0},
        {2004, 0, 0, 1, 0, 0, 0, 0},   {2004, 4, 0, 31, 0, 0, 0, 0}, {2004, 1, 0, 1, 24, 0, 0, 0},
        {2004, 1, 0, 1, 0, 60, 0, 0},  {2004, 1, 0, 1, 0, 0, 60, 0}, {2004, 1, 0, 1, 0, 0, 0, 1000},
    };
    for (const auto& parts : invalid) {
        FILETIME time{};
        EXPECT_FALSE(SystemTimeToFileTime(&parts, &time)) << parts.wYear << "-" << parts.wMonth;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    FILETIME negative = Ticks(0x8000000000000000ULL);
    SYSTEMTIME parts{};
    EXPECT_FALSE(FileTimeToSystemTime(&negative, &parts));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(FileTime, LocalTimeUsesTheCurrentOffsetAndTimesCompareLikeNumbers) {
    cx::test::ScopedEnv zone("TZ", "UTC-2");  // POSIX sign: two hours east of UTC, no daylight
    FILETIME utc = Ticks(116444736000000000ULL), local{};
    ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
    EXPECT_EQ(TicksOf(local), 116444736000000000ULL + 2ULL * 3600 * 10000000ULL);
    FILETIME start = Ticks(0);
    zone.Set("UTC+2");
    EXPECT_FALSE(FileTimeToLocalFileTime(&start, &local)) << "before 1601";
    EXPECT_EQ(CompareFileTime(&start, &utc), -1);
    EXPECT_EQ(CompareFileTime(&utc, &start), 1);
    EXPECT_EQ(CompareFileTime(&utc, &utc), 0);
}

}  // namespace
