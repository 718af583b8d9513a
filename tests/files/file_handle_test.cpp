// CreateFileA dispositions and access, and the calls on an open file handle.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "child_process.h"
#include "last_error.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/handles.h"
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
        {5, FILE_CURRENT, 15, ERROR_SUCCESS},
        {-15, FILE_CURRENT, 0, ERROR_SUCCESS},
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

// The times of the file, through its handle and through a search; a copy keeps the write time.
TEST(FileHandle, FileTimesAreThoseOfTheFile) {
    TempDir dir;
    cx::test::WriteFile(dir.File("f"), std::string(1234, 'x'));
    struct timespec times[2] = {{1000000000, 0}, {1161334659, 0}};  // 2006-10-20 08:57:39 UTC
    ASSERT_EQ(utimensat(AT_FDCWD, dir.File("f").c_str(), times, 0), 0);
    auto ticks = [](const FILETIME& time) {
        return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    const ULONGLONG y1970 = 116444736000000000ULL;
    HANDLE file = Open(dir.File("f"), GENERIC_READ, OPEN_EXISTING);
    FILETIME accessed{};
    GetFileTime(file, nullptr, &accessed, nullptr);
    CloseHandle(file);
    EXPECT_EQ(ticks(accessed), y1970 + 1000000000ULL * 10000000ULL);
    ASSERT_TRUE(CopyFileA(dir.File("f").c_str(), dir.File("copy").c_str(), TRUE));
    for (const char* name : {"f", "copy"}) {
        HANDLE handle = Open(dir.File(name), GENERIC_READ, OPEN_EXISTING);
        FILETIME written{};
        ASSERT_TRUE(GetFileTime(handle, nullptr, nullptr, &written));
        CloseHandle(handle);
        EXPECT_EQ(ticks(written), y1970 + 1161334659ULL * 10000000ULL) << name;
        WIN32_FIND_DATAA data{};
        HANDLE find = FindFirstFileA(dir.File(name).c_str(), &data);
        ASSERT_NE(find, INVALID_HANDLE_VALUE);
        EXPECT_EQ(ticks(data.ftLastWriteTime), ticks(written));
        EXPECT_STREQ(data.cFileName, name);
        EXPECT_EQ(data.nFileSizeLow + data.nFileSizeHigh, 1234u);
        EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_NORMAL);
        EXPECT_FALSE(FindNextFileA(find, &data));
        EXPECT_TRUE(FindClose(find));
        EXPECT_FALSE(FindClose(find)) << "closed once";
    }
}

}  // namespace
