// ProfileFile: the path rule, usability, the growing buffers and their limit and the key walk.
// Integers and FindKeyNumber are proven through the inventory writers that use them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "inventory/profile_file.h"
#include "profile_test_util.h"
#include "temp_dir.h"

namespace {

using cx::test::Flush;
using cx::test::ReadFile;
using cx::test::ReplaceText;
using cx::test::TempDir;

TEST(ProfileFilePath, NameWithoutDirectoryMeansTheWorkingDirectory) {
    const struct {
        const char* given;
        const char* stored;
    } cases[] = {
        {"Catalix.act", "./Catalix.act"},
        {"/var/lib/catalix/Catalix.act", "/var/lib/catalix/Catalix.act"},
        {"data/Catalix.act", "data/Catalix.act"},
        {"C:\\Catalix\\Catalix.act", "C:\\Catalix\\Catalix.act"},
    };
    for (const auto& c : cases) {
        ProfileFile profile;
        profile.SetPath(c.given);
        EXPECT_STREQ(profile.Path(), c.stored);
    }
    ProfileFile profile;
    profile.SetPath(nullptr);
    EXPECT_EQ(profile.Path(), nullptr);

    TempDir dir;
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof(previous)), nullptr);
    ASSERT_EQ(chdir(dir.Path().c_str()), 0);
    profile.SetPath("Catalix.act");
    EXPECT_FALSE(profile.Open(FALSE));
    EXPECT_TRUE(profile.WriteString("S", "k", "here"));
    EXPECT_TRUE(Flush("Catalix.act"));
    EXPECT_EQ(chdir(previous), 0);
    EXPECT_EQ(ReadFile(dir.File("Catalix.act")), "[S]\r\nk=here\r\n");
}

TEST(ProfileFileOpen, OnlyAUsableFileIsReadOrWritten) {
    TempDir dir;
    ProfileFile profile;
    profile.SetPath(dir.File("Catalix.sav").c_str());
    EXPECT_FALSE(profile.WriteString("S", "k", "v")) << "not opened yet";
    EXPECT_FALSE(profile.Open(TRUE));
    EXPECT_FALSE(profile.IsUsable());
    EXPECT_FALSE(profile.WriteInt("S", "k", 1));
    EXPECT_STREQ(profile.ReadString("S", "k", "default"), "default");
    EXPECT_EQ(profile.ReadInt("S", "k", 7), 7u);
    EXPECT_STREQ(profile.FirstKey("S"), "");
    EXPECT_FALSE(profile.Open(FALSE)) << "still does not exist";
    EXPECT_TRUE(profile.IsUsable()) << "but may be created by writing";
    EXPECT_TRUE(profile.WriteString("S", "k", "v"));
    EXPECT_TRUE(profile.Open(TRUE)) << "an open flushes first, so the new file exists";
    EXPECT_STREQ(profile.ReadString("S", "k", ""), "v");
    ProfileFile without_path;
    EXPECT_FALSE(without_path.Open(FALSE));
    EXPECT_STREQ(without_path.ReadString("S", "k", nullptr), "");
}

TEST(ProfileFileBuffers, GrowToTheValueUpTo64512Bytes) {
    TempDir dir;
    std::string file = dir.File("long.ini");
    const struct {
        size_t length;
        bool whole;
    } cases[] = {{1022, true},  {1023, true},   {1024, true},  {5000, true},
                 {64509, true}, {64510, false}, {70000, false}};
    for (const auto& c : cases) {
        ReplaceText(file, "[S]\r\nk=" + std::string(c.length, 'v') + "\r\n");
        Flush(file);
        ProfileFile profile;
        profile.SetPath(file.c_str());
        ASSERT_TRUE(profile.Open(TRUE));
        std::string value = profile.ReadString("S", "k", "default");
        EXPECT_EQ(value, c.whole ? std::string(c.length, 'v') : "default") << c.length;
        EXPECT_STREQ(profile.ReadString("S", "missing", "next"), "next") << "usable after";
    }
}

TEST(ProfileFileKeys, WalkInFileOrderAndGiveUpOnHugeLists) {
    TempDir dir;
    std::string file = dir.File("keys.ini");
    ReplaceText(file, "[Component Type]\r\nBIOS=A0\r\nProcessor=0A\r\n[Empty]\r\n");
    ProfileFile profile;
    profile.SetPath(file.c_str());
    ASSERT_TRUE(profile.Open(TRUE));
    EXPECT_STREQ(profile.FirstKey("component type"), "BIOS");
    EXPECT_STREQ(profile.ReadString("Component Type", "BIOS", ""), "A0") << "reads between";
    EXPECT_STREQ(profile.NextKey(), "Processor");
    EXPECT_STREQ(profile.NextKey(), "");
    EXPECT_STREQ(profile.NextKey(), "") << "stays at the end";
    EXPECT_STREQ(profile.FirstKey("Empty"), "");
    EXPECT_STREQ(profile.FirstKey("Missing"), "");

    std::string many = "[Big]\r\n";
    for (int n = 1; n <= 5000; ++n) {
        many += "LongKeyName." + std::to_string(n) + "=1\r\n";
    }
    ReplaceText(file, many);  // about 85 KiB of key names
    Flush(file);
    EXPECT_STREQ(profile.FirstKey("Big"), "") << "a list beyond 64512 bytes reads as empty";
}

}  // namespace
