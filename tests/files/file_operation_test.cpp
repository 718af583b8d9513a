// Whole-file operations by name: delete, copy, move, attributes and directories.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <set>
#include <string>

#include "child_process.h"
#include "dir_names.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "temp_dir.h"

namespace {

using cx::test::TempDir;

TEST(DeleteFile, RefusesWhatWindowsRefuses) {
    TempDir dir;
    cx::test::WriteFile(dir.File("readonly"), "x");
    chmod(dir.File("readonly").c_str(), 0444);
    struct Case {
        std::string path;
        DWORD error;
    };
    const Case cases[] = {
        {dir.File("missing"), ERROR_FILE_NOT_FOUND},
        {dir.File("no/f"), ERROR_PATH_NOT_FOUND},
        {dir.Path(), ERROR_ACCESS_DENIED},
        {dir.File("readonly"), ERROR_ACCESS_DENIED},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(DeleteFileA(c.path.c_str())) << c.path;
        EXPECT_EQ(GetLastError(), c.error) << c.path;
    }
    cx::test::WriteFile(dir.File("f"), "x");
    EXPECT_TRUE(DeleteFileA(dir.File("f").c_str()));
    EXPECT_EQ(GetFileAttributesA(dir.File("f").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(CopyFile, CopiesContentPermissionsAndWriteTime) {
    TempDir dir;
    cx::test::WriteFile(dir.File("a"), "inventory\r\n");
    chmod(dir.File("a").c_str(), 0640);
    struct timespec times[2] = {{1000, 0}, {1161334659, 0}};
    utimensat(AT_FDCWD, dir.File("a").c_str(), times, 0);
    ASSERT_TRUE(CopyFileA(dir.File("a").c_str(), dir.File("b").c_str(), TRUE));
    EXPECT_EQ(cx::test::ReadFile(dir.File("b")), "inventory\r\n");
    struct stat info {};
    stat(dir.File("b").c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(info.st_mtim.tv_sec, 1161334659);
    EXPECT_EQ(cx::test::DirectoryNames(dir.Path()), (std::set<std::string>{"a", "b"}))
        << "no temporary file left";
}

// Each refusal has its own code and leaves source and target as they were; without
// fail-if-exists an existing target is replaced.
TEST(CopyFile, ReportsEachErrorCodeAndReplacesOnlyWhenAsked) {
    TempDir dir;
    cx::test::WriteFile(dir.File("a"), "x");
    cx::test::WriteFile(dir.File("old"), "old");
    cx::test::WriteFile(dir.File("readonly"), "x");
    chmod(dir.File("readonly").c_str(), 0444);
    struct Case {
        const char* name;
        std::string from, to;
        DWORD error;
        BOOL fail_if_exists = FALSE;
    };
    const Case cases[] = {
        {"missing source", dir.File("missing"), dir.File("b"), ERROR_FILE_NOT_FOUND},
        {"source directory missing", dir.File("no/a"), dir.File("b"), ERROR_PATH_NOT_FOUND},
        {"target directory missing", dir.File("a"), dir.File("no/b"), ERROR_PATH_NOT_FOUND},
        {"source is a directory", dir.Path(), dir.File("b"), ERROR_ACCESS_DENIED},
        {"onto itself", dir.File("a"), dir.File("a"), ERROR_SHARING_VIOLATION},
        {"onto a read-only file", dir.File("a"), dir.File("readonly"), ERROR_ACCESS_DENIED},
        {"onto an existing file", dir.File("a"), dir.File("old"), ERROR_FILE_EXISTS, TRUE},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(CopyFileA(c.from.c_str(), c.to.c_str(), c.fail_if_exists)) << c.name;
        EXPECT_EQ(GetLastError(), c.error) << c.name;
    }
    EXPECT_EQ(cx::test::ReadFile(dir.File("a")) + cx::test::ReadFile(dir.File("old")), "xold");
    EXPECT_TRUE(CopyFileA(dir.File("a").c_str(), dir.File("old").c_str(), FALSE));
    EXPECT_EQ(cx::test::ReadFile(dir.File("old")), "x");
}

TEST(MoveFile, RenamesAndRespectsExistingTargets) {
    TempDir dir;
    cx::test::WriteFile(dir.File("a"), "first");
    cx::test::WriteFile(dir.File("b"), "second");
    EXPECT_FALSE(MoveFileA(dir.File("a").c_str(), dir.File("b").c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_TRUE(MoveFileExA(dir.File("a").c_str(), dir.File("b").c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
    EXPECT_EQ(cx::test::ReadFile(dir.File("b")), "first");
    EXPECT_TRUE(MoveFileA(dir.File("b").c_str(), dir.File("c").c_str()));
    EXPECT_EQ(cx::test::DirectoryNames(dir.Path()), (std::set<std::string>{"c"}));
    EXPECT_FALSE(MoveFileA(dir.File("b").c_str(), dir.File("d").c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(MoveFileExA(dir.File("c").c_str(), nullptr, 0)) << "no delayed deletion";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(FileAttributes, DescribeFilesAndDirectories) {
    TempDir dir;
    cx::test::WriteFile(dir.File("plain"), "x");
    cx::test::WriteFile(dir.File("readonly"), "x");
    chmod(dir.File("readonly").c_str(), 0444);
    cx::test::WriteFile(dir.File(".hidden"), "x");
    struct Case {
        std::string path;
        DWORD attributes;
        DWORD error;
    };
    const Case cases[] = {
        {dir.File("plain"), FILE_ATTRIBUTE_NORMAL, ERROR_SUCCESS},
        {dir.File("readonly"), FILE_ATTRIBUTE_READONLY, ERROR_SUCCESS},
        {dir.File(".hidden"), FILE_ATTRIBUTE_HIDDEN, ERROR_SUCCESS},
        {dir.Path(), FILE_ATTRIBUTE_DIRECTORY, ERROR_SUCCESS},
        {dir.File("missing"), INVALID_FILE_ATTRIBUTES, ERROR_FILE_NOT_FOUND},
        {dir.File("no/f"), INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(GetFileAttributesA(c.path.c_str()), c.attributes) << c.path;
        EXPECT_EQ(GetLastError(), c.error) << c.path;
    }
}

TEST(CreateDirectory, CreatesOnceUnderAnExistingParent) {
    TempDir dir;
    EXPECT_TRUE(CreateDirectoryA(dir.File("d").c_str(), nullptr));
    EXPECT_EQ(GetFileAttributesA(dir.File("d").c_str()), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(CreateDirectoryA(dir.File("d").c_str(), nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(CreateDirectoryA(dir.File("x/y").c_str(), nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

}  // namespace
