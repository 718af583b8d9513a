// Components described by a file: date of the last write as local time, texts from the
// version strings, language through the table file, and the file that is not there.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>

#include "inventory_fixture.h"
#include "platform/profile.h"
#include "scoped_env.h"
#include "test_data.h"

namespace cx::test {
namespace {

// 2006-10-20 08:57:39 UTC.
constexpr std::time_t kFileTime = 1161334659;

class FileVersionTest : public InventoryTest {
  protected:
    // `source` (a text file when null) copied into the data root as `name`, last written at
    // kFileTime.
    std::string Place(const char* source, const std::string& name) {
        const std::string path = DataPath(name);
        if (source == nullptr) {
            WriteDataFile(name, "no version here");
        } else {
            std::filesystem::copy_file(source, path,
                                       std::filesystem::copy_options::overwrite_existing);
        }
        timespec times[2] = {{kFileTime, 0}, {kFileTime, 0}};
        EXPECT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
        return path;
    }

    ScopedEnv zone_{"TZ", "UTC0"};
};

TEST_F(FileVersionTest, FilesGiveTheirDateVersionTextsAndLanguage) {
    const std::string long_name = std::string(200, 'n') + ".so";
    const std::string long_version =
        "1.2.3.4//product version of a length that no resource should ever need, written out "
        "to sixty//internal name long enough to push the joined text over the field//NT";
    const std::string probe = "Catalix|Probe.Agent.so||Writers probe|4.2.10.7//4.2//wprobe//NT|";
    struct Case {
        const char* source;  // the library copied; null: a file without version strings
        std::string name;
        const char* zone;
        const char* table;  // [Language Code] line, or none
        std::string texts;  // as EntryTexts joins them
    };
    const Case cases[] = {
        {CX_WRITERS_PROBE_PATH, "Probe.Agent.so", "UTC0", "0409=English (US)",
         probe + "2006-10-20 08:57:39|kept|English (US)|"},
        {CX_WRITERS_PROBE_PATH, "Probe.Agent.so", "JST-9", nullptr,
         probe + "2006-10-20 17:57:39|kept|0409|"},
        {CX_WRITERS_PROBE_PATH, "Probe.Agent.so", "PST8", nullptr,
         probe + "2006-10-20 00:57:39|kept|0409|"},
        {nullptr, "plain.txt", "UTC0", nullptr,
         "|plain.txt|||////NT|2006-10-20 08:57:39|kept|0000|"},
        // Names and joined versions longer than their fields are cut.
        {CX_WRITERS_LONG_PROBE_PATH, long_name, "UTC0", nullptr,
         "Catalix|" + long_name.substr(0, 127) + "||Long probe|" + long_version.substr(0, 127) +
             "|2006-10-20 08:57:39|kept|0409|"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.substr(0, 20) + " " + c.zone);
        zone_.Set(c.zone);
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, nullptr);  // forget the last table
        WriteTableFile(c.table != nullptr ? Crlf("[Language Code]\n" + std::string(c.table) + "\n")
                                          : "");
        const std::string path = Place(c.source, c.name);
        ComponentEntry entry(163);
        CopyEntryText(entry.Vendor, "replaced");
        CopyEntryText(entry.SerialNo, "kept");
        ASSERT_TRUE(agent_->ReadFileVersionInfo(&entry, path.c_str()));
        EXPECT_EQ(EntryTexts(entry), c.texts);
        EXPECT_EQ(entry.CompType, 163u);
    }
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
