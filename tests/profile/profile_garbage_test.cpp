// Hostile and broken files: defined results, no crash, and nothing in them lost by a change.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>
#include <string>

#include "platform/errors.h"
#include "platform/profile.h"
#include "profile_test_util.h"
#include "temp_dir.h"

namespace {

using cx::test::Flush;
using cx::test::Get;
using cx::test::ReadFile;
using cx::test::ReplaceText;
using cx::test::Set;
using cx::test::TempDir;

TEST(ProfileGarbage, BinaryGarbageReadsAsLinesAndSurvivesAChange) {
    TempDir dir;
    std::string file = dir.File("garbage.ini");
    std::mt19937 random(4);
    std::string garbage;
    for (int i = 0; i < 64 * 1024; ++i) {
        garbage += static_cast<char>(random() & 0xFF);
    }
    ReplaceText(file, garbage);
    Get(file, nullptr, nullptr);
    Get(file, "S", "k");
    ASSERT_TRUE(Set(file, "Added", "k", "v"));
    ASSERT_TRUE(Flush(file));
    EXPECT_EQ(Get(file, "Added", "k"), "v");
    std::string text = ReadFile(file);
    EXPECT_EQ(text.substr(text.size() - 14), "[Added]\r\nk=v\r\n");
    // Every byte is still there but line ends and the blanks around key names and values,
    // which a rewrite of a key line drops.
    auto content = [](const std::string& bytes) {
        std::string kept;
        for (char c : bytes) {
            if (std::string_view("\r\n\t\v\f ", 6).find(c) == std::string_view::npos && c != '\0') {
                kept += c;
            }
        }
        return kept;
    };
    EXPECT_EQ(content(text), content(garbage) + "[Added]k=v");
}

// Files that are no INI text for us read as empty with the reason, and are never rewritten.
TEST(ProfileGarbage, UnusableFilesSayWhyAndStayAsTheyAre) {
    TempDir dir;
    const std::string wide("\xFF\xFE[\0S\0]\0\r\0\n\0k\0=\0v\0", 18);
    ReplaceText(dir.File("wide.ini"), wide);
    ReplaceText(dir.File("huge.ini"), "[S]\r\nk=v\r\n");
    ASSERT_EQ(truncate(dir.File("huge.ini").c_str(), (64 << 20) + 1), 0);  // sparse
    struct Case {
        std::string file;
        DWORD error;
    } const cases[] = {
        {dir.File("wide.ini"), ERROR_NOT_SUPPORTED},
        {dir.File("huge.ini"), ERROR_NOT_ENOUGH_MEMORY},
        {dir.Path(), ERROR_ACCESS_DENIED},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Get(c.file, "S", "k", "default"), "default") << c.file;
        EXPECT_EQ(GetLastError(), c.error) << c.file;
        EXPECT_FALSE(Set(c.file, "S", "k", "x")) << c.file;
        EXPECT_EQ(GetLastError(), c.error) << "writing " << c.file;
    }
    EXPECT_EQ(ReadFile(dir.File("wide.ini")), wide);
    struct stat info {};
    stat(dir.File("huge.ini").c_str(), &info);
    EXPECT_EQ(info.st_size, (64 << 20) + 1);
}

}  // namespace
