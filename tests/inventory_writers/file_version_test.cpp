// Components described by a file: date of the last write as local time, texts from the
// version strings, language through the table file, and the file that is not there.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>

#include "ini_text.h"
#include "inventory_fixture.h"
#include "platform/profile.h"
#include "scoped_env.h"

namespace cx::test {
namespace {

// 2006-10-20 08:57:39 UTC.
constexpr std::time_t kFileTime = 1161334659;

class FileVersionTest : public InventoryTest {
  protected:
    // A copy of `source` in the data root named `name`, last written at kFileTime.
    std::string PlaceFile(const char* source, const std::string& name) {
        std::string path = DataPath(name);
        std::filesystem::copy_file(source, path);
        timespec times[2] = {{kFileTime, 0}, {kFileTime, 0}};
        EXPECT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
        return path;
    }

    ScopedEnv zone_{"TZ", "UTC0"};
};

TEST_F(FileVersionTest, StampedLibraryFillsDateTextsAndLanguage) {
    struct Case {
        const char* zone;
        const char* table;  // [Language Code] line, or none
        const char* date;
        const char* language;
    };
    const Case cases[] = {
        {"UTC0", "0409=English (US)", "2006-10-20 08:57:39", "English (US)"},
        {"JST-9", nullptr, "2006-10-20 17:57:39", "0409"},
        {"PST8", nullptr, "2006-10-20 00:57:39", "0409"},
    };
    std::string path = PlaceFile(CX_WRITERS_PROBE_PATH, "Probe.Agent.so");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.zone);
        zone_.Set(c.zone);
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, nullptr);  // forget the last table
        WriteTableFile(c.table != nullptr ? IniText({"[Language Code]", c.table}) : "");
        ComponentEntry entry(163);
        CopyEntryText(entry.SerialNo, "kept");
        ASSERT_TRUE(agent_->ReadFileVersionInfo(&entry, path.c_str()));
        EXPECT_STREQ(entry.ManuDate, c.date);
        EXPECT_STREQ(entry.Vendor, "Catalix");
        EXPECT_STREQ(entry.ProdName, "Probe.Agent.so");
        EXPECT_STREQ(entry.ProdDescript, "Writers probe");
        EXPECT_STREQ(entry.Version, "4.2.10.7//4.2//wprobe//NT");
        EXPECT_STREQ(entry.Language, c.language);
        EXPECT_STREQ(entry.SerialNo, "kept");
        EXPECT_EQ(entry.CompType, 163u);
    }
}

TEST_F(FileVersionTest, FileWithoutVersionStringsStillGivesNameDateAndSeparators) {
    WriteTableFile("");
    WriteDataFile("plain.txt", "no version here");
    std::string path = DataPath("plain.txt");
    timespec times[2] = {{kFileTime, 0}, {kFileTime, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    ComponentEntry entry(162);
    CopyEntryText(entry.Vendor, "replaced");
    ASSERT_TRUE(agent_->ReadFileVersionInfo(&entry, path.c_str()));
    EXPECT_STREQ(entry.ManuDate, "2006-10-20 08:57:39");
    EXPECT_STREQ(entry.Vendor, "");
    EXPECT_STREQ(entry.ProdName, "plain.txt");
    EXPECT_STREQ(entry.ProdDescript, "");
    EXPECT_STREQ(entry.Version, "////NT");
    EXPECT_STREQ(entry.Language, "0000");
}

TEST_F(FileVersionTest, LongNamesAndVersionsAreCutToTheirFields) {
    WriteTableFile("");
    std::string name = std::string(200, 'n') + ".so";
    std::string path = PlaceFile(CX_WRITERS_LONG_PROBE_PATH, name);
    ComponentEntry entry(0);
    ASSERT_TRUE(agent_->ReadFileVersionInfo(&entry, path.c_str()));
    EXPECT_EQ(std::string(entry.ProdName), name.substr(0, 127));
    std::string joined =
        "1.2.3.4//product version of a length that no resource should ever need, written out "
        "to sixty//internal name long enough to push the joined text over the field//NT";
    EXPECT_EQ(std::string(entry.Version), joined.substr(0, 127));
}

TEST_F(FileVersionTest, MissingFileLeavesTheRecordAsItWas) {
    struct Case {
        std::string path;
        const char* message;
    };
    const Case cases[] = {
        {DataPath("absent.dll"), "\n!!! ERROR 0X2! FindFirstFile() FAILED"},
        {DataPath("no-dir/absent.dll"), "\n!!! ERROR 0X3! FindFirstFile() FAILED"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        ComponentEntry entry(5);
        CopyEntryText(entry.ManuDate, "12/31/05");
        CopyEntryText(entry.Vendor, "Vendor");
        ComponentEntry before = entry;
        EXPECT_FALSE(agent_->ReadFileVersionInfo(&entry, c.path.c_str()));
        EXPECT_EQ(std::memcmp(&entry, &before, sizeof(entry)), 0);
        EXPECT_EQ(TraceCount(c.message), 1u);
    }
}

}  // namespace
}  // namespace cx::test
