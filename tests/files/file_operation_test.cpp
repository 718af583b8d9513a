// Whole-file operations by name: delete, copy, move, attributes and directories.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <set>
#include <string>

#include "child_process.h"
#include "dir_names.h"
#include "last_error.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "temp_dir.h"

namespace {

using cx::test::FailedWith;
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

}  // namespace
