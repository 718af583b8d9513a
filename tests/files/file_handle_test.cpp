// CreateFileA dispositions and access, and the calls on an open file handle.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "child_process.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/handles.h"
#include "temp_dir.h"

namespace {

using cx::test::TempDir;

HANDLE Open(const std::string& path, DWORD access, DWORD disposition) {
    return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

struct DispositionCase {
    const char* name;
    DWORD disposition;
    bool exists;
    bool opens;
    DWORD last_error;
    const char* content_after;  // what the file holds after open and close
};

TEST(CreateFile, DispositionsFollowTheWindowsTable) {
    const DispositionCase cases[] = {
        {"create new, absent", CREATE_NEW, false, true, ERROR_SUCCESS, ""},
        {"create new, present", CREATE_NEW, true, false, ERROR_FILE_EXISTS, "old"},
        {"create always, absent", CREATE_ALWAYS, false, true, ERROR_SUCCESS, ""},
        {"create always, present", CREATE_ALWAYS, true, true, ERROR_ALREADY_EXISTS, ""},
        {"open existing, absent", OPEN_EXISTING, false, false, ERROR_FILE_NOT_FOUND, nullptr},
        {"open existing, present", OPEN_EXISTING, true, true, ERROR_SUCCESS, "old"},
        {"open always, absent", OPEN_ALWAYS, false, true, ERROR_SUCCESS, ""},
        {"open always, present", OPEN_ALWAYS, true, true, ERROR_ALREADY_EXISTS, "old"},
        {"truncate existing, absent", TRUNCATE_EXISTING, false, false, ERROR_FILE_NOT_FOUND,
         nullptr},
        {"truncate existing, present", TRUNCATE_EXISTING, true, true, ERROR_SUCCESS, ""},
    };
    for (const auto& c : cases) {
        TempDir dir;
        std::string path = dir.File("f");
        if (c.exists) cx::test::WriteFile(path, "old");
        HANDLE file = Open(path, GENERIC_READ | GENERIC_WRITE, c.disposition);
        EXPECT_EQ(file != INVALID_HANDLE_VALUE, c.opens) << c.name;
        EXPECT_EQ(GetLastError(), c.last_error) << c.name;
        if (file != INVALID_HANDLE_VALUE) {
            EXPECT_TRUE(CloseHandle(file));
        }
        struct stat info {};
        bool exists_after = stat(path.c_str(), &info) == 0;
        EXPECT_EQ(exists_after, c.content_after != nullptr) << c.name;
        if (c.content_after != nullptr) {
            EXPECT_EQ(cx::test::ReadFile(path), c.content_after) << c.name;
        }
    }
}

TEST(CreateFile, RefusesWhatWindowsRefuses) {
    TempDir dir;
    struct Case {
        const char* name;
        std::string path;
        DWORD access;
        DWORD disposition;
        DWORD error;
    };
    const Case cases[] = {
        {"missing directory", dir.File("no/f"), GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {"missing directory, creating", dir.File("no/f"), GENERIC_WRITE, CREATE_ALWAYS,
         ERROR_PATH_NOT_FOUND},
        {"a directory", dir.Path(), GENERIC_READ, OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {"empty name", "", GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {"unknown disposition", dir.File("f"), GENERIC_READ, 9, ERROR_INVALID_PARAMETER},
        {"truncate without write access", dir.File("f"), GENERIC_READ, TRUNCATE_EXISTING,
         ERROR_INVALID_PARAMETER},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Open(c.path, c.access, c.disposition), INVALID_HANDLE_VALUE) << c.name;
        EXPECT_EQ(GetLastError(), c.error) << c.name;
    }
}

TEST(FileHandle, WritesReadsReportsTheEndAndCutsThere) {
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
    EXPECT_EQ(cx::test::ReadFile(dir.File("f")), "hell");
}

TEST(FileHandle, AccessIsEnforcedPerHandle) {
    TempDir dir;
    cx::test::WriteFile(dir.File("f"), "data");
    HANDLE reader = Open(dir.File("f"), GENERIC_READ, OPEN_EXISTING);
    DWORD done = 1;
    EXPECT_FALSE(WriteFile(reader, "x", 1, &done, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(done, 0u);
    EXPECT_FALSE(SetEndOfFile(reader));
    EXPECT_FALSE(FlushFileBuffers(reader));
    CloseHandle(reader);

    HANDLE writer = Open(dir.File("f"), GENERIC_WRITE, OPEN_EXISTING);
    char byte = 0;
    EXPECT_FALSE(ReadFile(writer, &byte, 1, &done, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(CloseHandle(writer));
    EXPECT_FALSE(ReadFile(writer, &byte, 1, &done, nullptr)) << "closed handle";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(FileHandle, AppendDataWritesAtTheEnd) {
    TempDir dir;
    cx::test::WriteFile(dir.File("f"), "one\r\n");
    HANDLE file = Open(dir.File("f"), FILE_APPEND_DATA, OPEN_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    EXPECT_TRUE(WriteFile(file, "two\r\n", 5, nullptr, nullptr));
    CloseHandle(file);
    EXPECT_EQ(cx::test::ReadFile(dir.File("f")), "one\r\ntwo\r\n");
}

TEST(FileHandle, SetFilePointerMovesLikeWindows) {
    TempDir dir;
    cx::test::WriteFile(dir.File("f"), std::string(100, 'x'));
    HANDLE file = Open(dir.File("f"), GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING);
    struct Case {
        const char* name;
        LONG distance;
        DWORD method;
        DWORD result;
        DWORD error;
    };
    const Case cases[] = {
        {"from the start", 10, FILE_BEGIN, 10, ERROR_SUCCESS},
        {"forward from here", 5, FILE_CURRENT, 15, ERROR_SUCCESS},
        {"back from here", -15, FILE_CURRENT, 0, ERROR_SUCCESS},
        {"before the start", -1, FILE_CURRENT, INVALID_SET_FILE_POINTER, ERROR_NEGATIVE_SEEK},
        {"from the end", -10, FILE_END, 90, ERROR_SUCCESS},
        {"past the end", 10, FILE_END, 110, ERROR_SUCCESS},
        {"unknown method", 0, 7, INVALID_SET_FILE_POINTER, ERROR_INVALID_PARAMETER},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SetFilePointer(file, c.distance, nullptr, c.method), c.result) << c.name;
        EXPECT_EQ(GetLastError(), c.error) << c.name;
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

TEST(FileHandle, FileTimesAreThoseOfTheFile) {
    TempDir dir;
    cx::test::WriteFile(dir.File("f"), "x");
    struct timespec times[2] = {{1000000000, 0}, {1161334659, 0}};  // 2006-10-20 08:57:39 UTC
    ASSERT_EQ(utimensat(AT_FDCWD, dir.File("f").c_str(), times, 0), 0);
    HANDLE file = Open(dir.File("f"), GENERIC_READ, OPEN_EXISTING);
    FILETIME written{}, accessed{};
    ASSERT_TRUE(GetFileTime(file, nullptr, &accessed, &written));
    CloseHandle(file);
    auto ticks = [](const FILETIME& time) {
        return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    EXPECT_EQ(ticks(written), 116444736000000000ULL + 1161334659ULL * 10000000ULL);
    EXPECT_EQ(ticks(accessed), 116444736000000000ULL + 1000000000ULL * 10000000ULL);
}

TEST(FileStream, OpensAndExplainsFailures) {
    TempDir dir;
    errno = 0;
    EXPECT_EQ(CxOpenStream(dir.File("missing").c_str(), "r"), nullptr);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_STREQ(CxErrnoText(ENOENT), "No such file or directory");
    FILE* stream = CxOpenStream(dir.File("new").c_str(), "w");
    ASSERT_NE(stream, nullptr);
    std::fputs("line\n", stream);
    std::fclose(stream);
    EXPECT_EQ(cx::test::ReadFile(dir.File("new")), "line\n");
}

}  // namespace
