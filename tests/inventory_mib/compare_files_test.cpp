// The data files: the comparison of the new inventory with the saved one (its outcome, the
// files it leaves and the saved file's refreshed scan keys), and the operations on the data
// root underneath (paths and the messages of each operation).
#include <gtest/gtest.h>

#include <ctime>
#include <optional>
#include <regex>
#include <string>

#include "inventory_fixture.h"
#include "platform/files.h"

namespace cx::test {
namespace {

std::string Inventory(const std::string& scan_time, const std::string& body) {
    return "[Last Date]\r\nLastCollectionDate=2026-01-02 03:04:05\r\nLastScanDate=" + scan_time +
           "\r\nLastDate=6956F3F5\r\nLastScan=6956F3F5\r\nScanState=DONE\r\n" + body;
}

const std::string kBody =
    "[Component Table]\r\nNrComponents=2\r\nPhysCont.1=1\r\nVendor.1=Catalix\r\n"
    "PhysCont.2=1\r\nVendor.2=Arvex\r\n";
const std::string kShorterBody =
    "[Component Table]\r\nNrComponents=1\r\nPhysCont.1=1\r\nVendor.1=Catalix\r\n";

// The refreshed keys replaced by fixed text, so that files compare byte for byte.
std::string WithoutRefreshedKeys(std::string text) {
    text = std::regex_replace(text, std::regex("LastScanDate=[0-9-]+ [0-9:]+"), "LastScanDate=*");
    text = std::regex_replace(text, std::regex("LastScan=[0-9A-F]{8}"), "LastScan=*");
    return text;
}

class CompareFilesTest : public InventoryTest {
  protected:
    // Only the given files in the data root. Deleting through the platform first drops the
    // parsed copy that an earlier comparison's refresh left.
    void Put(const char* name, const std::optional<std::string>& text) {
        DeleteFileA(DataPath(name).c_str());
        if (text) WriteDataFile(name, *text);
    }
};

TEST_F(CompareFilesTest, OutcomesAndTheFilesTheyLeave) {
    const std::string saved = Inventory("2026-01-01 00:00:00", kBody);
    const std::string same_later = Inventory("2026-02-02 11:11:11", kBody);
    std::string other_case = same_later;
    other_case.replace(other_case.find("Arvex"), 5, "ARVEX");
    const std::string longer = Inventory("2026-02-02 11:11:11", kBody + "PhysCont.3=1\r\n");
    const std::string shorter = Inventory("2026-02-02 11:11:11", kShorterBody);
    const std::string long_line = "[S]\r\nk=" + std::string(600, 'x') + "\r\n";
    std::string late = long_line;
    late[7 + 500] = 'y';  // 500 characters into the value
    const std::string long_saved = Inventory("2026-01-01 00:00:00", long_line);
    const std::string long_same = Inventory("2026-02-02 11:11:11", long_line);
    const std::string long_late = Inventory("2026-02-02 11:11:11", late);

    struct Case {
        const char* name;
        std::optional<std::string> saved, actual;
        BOOL result;
        DWORD info_state;
        const char* trace;
        std::optional<std::string> saved_after;  // with the refreshed keys masked
    };
    const Case cases[] = {
        {"first scan", std::nullopt, longer, TRUE, 0, "\n!!! NO SAVED FILE", longer},
        {"one more component", saved, longer, TRUE, 0, "\n!!! FILES ARE DIFFERENT",
         WithoutRefreshedKeys(longer)},
        // The first differing pair is traced as the lines stand, without the file's CR LF.
        {"one component fewer", saved, shorter, TRUE, 0,
         "\r\n    Saved  File : NrComponents=2\r\n    Actual File : NrComponents=1\r\n!!! FILES "
         "ARE DIFFERENT",
         WithoutRefreshedKeys(shorter)},
        {"same after the header", saved, same_later, FALSE, 1, "\n*** FILES ARE IDENTICAL",
         WithoutRefreshedKeys(saved)},
        {"same but for case", saved, other_case, FALSE, 1, "\n*** FILES ARE IDENTICAL",
         WithoutRefreshedKeys(saved)},
        {"no saved file, no actual file", std::nullopt, std::nullopt, FALSE, 7,
         "\n!!! NO ACTUAL FILE", std::nullopt},
        {"saved file without actual file", saved, std::nullopt, FALSE, 7, "\n!!! NO ACTUAL FILE",
         saved},
        // Lines longer than the read buffer compare in pieces.
        {"long lines", long_saved, long_same, FALSE, 1, "\n*** FILES ARE IDENTICAL",
         WithoutRefreshedKeys(long_saved)},
        {"long lines differing late", long_saved, long_late, TRUE, 0, "\n!!! FILES ARE DIFFERENT",
         WithoutRefreshedKeys(long_late)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Put("Catalix.sav", c.saved);
        Put("Catalix.act", c.actual);
        agent_->InfoState = 7;
        std::size_t traced = TraceCount(c.trace);

        const std::time_t before = std::time(nullptr);
        EXPECT_EQ(agent_->CompareFiles(), c.result);
        const std::time_t after = std::time(nullptr);
        EXPECT_EQ(agent_->InfoState, c.info_state);
        EXPECT_EQ(TraceCount(c.trace), traced + 1);
        EXPECT_FALSE(DataFileExists("Catalix.act"));
        EXPECT_FALSE(DataFileExists("Catalix.cpy"));
        if (!c.saved_after) {
            EXPECT_FALSE(DataFileExists("Catalix.sav"));
            continue;
        }
        const std::string saved_now = DataFile("Catalix.sav");
        if (!c.saved || !c.actual) {
            EXPECT_EQ(saved_now, *c.saved_after);
            continue;
        }
        // Refreshed: the comparison's time as LastScan and LastScanDate, and DONE.
        EXPECT_EQ(WithoutRefreshedKeys(saved_now), *c.saved_after);
        std::smatch scan;
        ASSERT_TRUE(std::regex_search(
            saved_now, scan,
            std::regex(
                "\r\nLastScanDate=\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\r\nLastDate=6956F3F5"
                "\r\nLastScan=([0-9A-F]{8})\r\nScanState=DONE\r\n")));
        const long long seconds = std::stoll(scan[1].str(), nullptr, 16);
        EXPECT_GE(seconds, static_cast<long long>(before) & 0xFFFFFFFF);
        EXPECT_LE(seconds, static_cast<long long>(after) & 0xFFFFFFFF);
    }
    EXPECT_EQ(TraceCount("\n   reset SCANNING state"), 6u);
}

// A new inventory that cannot be saved is given up whole: the saved file stays byte for byte,
// its scan keys included, the actual file and the copy go, and the scan has failed. The next
// comparison saves. (A copy left by an interrupted run, or a saved "file" that is a directory,
// makes the save fail here.)
TEST_F(CompareFilesTest, AFailedSaveLeavesTheSavedFileAsItWas) {
    const std::string saved = Inventory("2026-01-01 00:00:00", kShorterBody);
    const std::string actual = Inventory("2026-02-02 11:11:11", kBody);
    WriteDataFile("Catalix.sav", saved);
    WriteDataFile("Catalix.act", actual);
    WriteDataFile("Catalix.cpy", "left by an interrupted run");
    agent_->InfoState = 7;

    EXPECT_FALSE(agent_->CompareFiles());
    EXPECT_EQ(TraceCount("\n!!! COPY FAILED Catalix.sav -> Catalix.cpy (80)"), 1u);
    EXPECT_EQ(agent_->m_ScanFailure, "Catalix.sav could not be replaced (error 80)");
    EXPECT_EQ(agent_->InfoState, 7u);
    EXPECT_EQ(DataFile("Catalix.sav"), saved);
    EXPECT_FALSE(DataFileExists("Catalix.act"));
    EXPECT_FALSE(DataFileExists("Catalix.cpy"));

    WriteDataFile("Catalix.act", actual);
    EXPECT_TRUE(agent_->CompareFiles());
    EXPECT_EQ(WithoutRefreshedKeys(DataFile("Catalix.sav")), WithoutRefreshedKeys(actual));
    EXPECT_FALSE(DataFileExists("Catalix.act"));
    EXPECT_FALSE(DataFileExists("Catalix.cpy"));

    // A directory opens as a stream but every read fails without reaching an end.
    Put("Catalix.sav", std::nullopt);
    ASSERT_TRUE(CreateDirectoryA(DataPath("Catalix.sav").c_str(), nullptr));
    WriteDataFile("Catalix.act", actual);
    EXPECT_FALSE(agent_->CompareFiles());
    EXPECT_GE(TraceCount("\n!!! READ ERROR IN Saved File"), 1u);
    EXPECT_EQ(TraceCount("\n!!! FILES ARE DIFFERENT"), 3u);
    EXPECT_FALSE(DataFileExists("Catalix.act"));
}

using DataFilesTest = InventoryTest;

TEST_F(DataFilesTest, PathsJoinTheDataRootNeverComeOutCutAndNeedOne) {
    char path[MAX_PATH];
    ASSERT_TRUE(agent_->MakeDataPath("Catalix.sav", path, sizeof(path)));
    EXPECT_EQ(std::string(path), DataPath("Catalix.sav"));

    char small[8];
    EXPECT_FALSE(agent_->MakeDataPath("Catalix.sav", small, sizeof(small)));
    EXPECT_STREQ(small, "");
    EXPECT_FALSE(agent_->MakeDataPath(std::string(300, 'n').c_str(), path, sizeof(path)));

    // Without a data root nothing is opened, copied, deleted or compared either.
    agent_->CSnmpAgent::m_szDataRoot[0] = '\0';
    EXPECT_FALSE(agent_->MakeDataPath("Catalix.sav", path, sizeof(path)));
    WriteDataFile("Catalix.act", "inventory");
    EXPECT_EQ(agent_->OpenDataFile("Catalix.act", "r"), nullptr);
    EXPECT_FALSE(agent_->CopyDataFile("Catalix.act", "Catalix.sav", FALSE));
    EXPECT_FALSE(agent_->DeleteDataFile("Catalix.act"));
    EXPECT_EQ(TraceCount("\nCannot locate Catalix.act"), 2u);
    EXPECT_EQ(TraceCount("Cannot open file"), 0u);
    EXPECT_FALSE(agent_->CompareFiles()) << "nothing to compare";
    EXPECT_EQ(TraceCount("\n!!! NO ACTUAL FILE"), 1u);
    EXPECT_EQ(DataFile("Catalix.act"), "inventory");
    EXPECT_FALSE(DataFileExists("Catalix.sav"));
}

TEST_F(DataFilesTest, EachOperationTracesItsOutcome) {
    WriteDataFile("Catalix.act", "inventory");
    const std::string act = DataPath("Catalix.act");
    const std::string missing = DataPath("missing");

    FILE* stream = agent_->OpenDataFile("Catalix.act", "r");
    ASSERT_NE(stream, nullptr);
    EXPECT_TRUE(agent_->CloseDataFile(stream));
    EXPECT_TRUE(agent_->CloseDataFile(nullptr));
    EXPECT_EQ(agent_->OpenDataFile("missing", "r"), nullptr);
    EXPECT_TRUE(agent_->CopyDataFile("Catalix.act", "Catalix.sav", TRUE));
    EXPECT_FALSE(agent_->CopyDataFile("Catalix.act", "Catalix.sav", TRUE));
    EXPECT_TRUE(agent_->DeleteDataFile("Catalix.act"));
    EXPECT_FALSE(agent_->DeleteDataFile("Catalix.act"));
    EXPECT_EQ(DataFile("Catalix.sav"), "inventory");

    const std::string expected[] = {
        "\n   Opened " + act + " \"r\"",
        "\n!!! Cannot open file \"" + missing + "\" ERROR 2 No such file or directory",
        "\n   Copied Catalix.act -> Catalix.sav",
        "\n!!! COPY FAILED Catalix.act -> Catalix.sav (80)",
        "\n   Deleted Catalix.act",
        "\n!!! DELETE FAILED Catalix.act (2)",
    };
    for (const std::string& line : expected)
        EXPECT_EQ(TraceCount(line), 1u) << line;
}

}  // namespace
}  // namespace cx::test
