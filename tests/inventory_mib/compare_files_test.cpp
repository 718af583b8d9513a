// The comparison of the new inventory with the saved one: its outcome, the files it leaves and
// the saved file's refreshed scan keys.
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

    struct Case {
        const char* name;
        std::optional<std::string> saved, actual;
        BOOL result;
        DWORD info_state;
        const char* trace;
        std::optional<std::string> saved_after;  // with the refreshed keys masked
        bool actual_stays;
    };
    const Case cases[] = {
        {"first scan", std::nullopt, longer, TRUE, 0, "\n!!! NO SAVED FILE", longer, false},
        {"one more component", saved, longer, TRUE, 0, "\n!!! FILES ARE DIFFERENT",
         WithoutRefreshedKeys(longer), false},
        {"one component fewer", saved, shorter, TRUE, 0, "\n!!! FILES ARE DIFFERENT",
         WithoutRefreshedKeys(shorter), false},
        {"same after the header", saved, same_later, FALSE, 1, "\n*** FILES ARE IDENTICAL",
         WithoutRefreshedKeys(saved), false},
        {"same but for case", saved, other_case, FALSE, 1, "\n*** FILES ARE IDENTICAL",
         WithoutRefreshedKeys(saved), false},
        {"no saved file, no actual file", std::nullopt, std::nullopt, FALSE, 7,
         "\n!!! NO ACTUAL FILE", std::nullopt, false},
        {"saved file without actual file", saved, std::nullopt, FALSE, 7, "\n!!! NO ACTUAL FILE",
         saved, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Put("Catalix.sav", c.saved);
        Put("Catalix.act", c.actual);
        agent_->InfoState = 7;
        std::size_t traced = TraceCount(c.trace);

        EXPECT_EQ(agent_->CompareFiles(), c.result);
        EXPECT_EQ(agent_->InfoState, c.info_state);
        EXPECT_EQ(TraceCount(c.trace), traced + 1);
        EXPECT_EQ(DataFileExists("Catalix.act"), c.actual_stays);
        EXPECT_FALSE(DataFileExists("Catalix.cpy"));
        if (c.saved_after) {
            bool refreshed = c.saved && c.actual;
            std::string after = DataFile("Catalix.sav");
            EXPECT_EQ(refreshed ? WithoutRefreshedKeys(after) : after, *c.saved_after);
        } else {
            EXPECT_FALSE(DataFileExists("Catalix.sav"));
        }
    }
}

TEST_F(CompareFilesTest, RefreshedKeysCarryTheComparisonsTimeAndDone) {
    WriteDataFile("Catalix.sav", Inventory("2026-01-01 00:00:00", kBody));
    WriteDataFile("Catalix.act", Inventory("2026-02-02 11:11:11", kBody));
    std::time_t before = std::time(nullptr);
    agent_->CompareFiles();
    std::time_t after = std::time(nullptr);

    std::string saved = DataFile("Catalix.sav");
    std::smatch scan;
    ASSERT_TRUE(std::regex_search(saved, scan, std::regex("\r\nLastScan=([0-9A-F]{8})\r\n")));
    long long seconds = std::stoll(scan[1].str(), nullptr, 16);
    EXPECT_GE(seconds, static_cast<long long>(before) & 0xFFFFFFFF);
    EXPECT_LE(seconds, static_cast<long long>(after) & 0xFFFFFFFF);
    EXPECT_TRUE(std::regex_search(
        saved, std::regex("\r\nLastScanDate=\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\r\n")));
    EXPECT_NE(saved.find("\r\nLastDate=6956F3F5\r\nLastScan="), std::string::npos);
    EXPECT_NE(saved.find("\r\nScanState=DONE\r\n"), std::string::npos);
    EXPECT_EQ(TraceCount("\n   reset SCANNING state"), 1u);
}

TEST_F(CompareFilesTest, LeftOverCopyFailsOneScanAndTheNextOneSucceeds) {
    const std::string saved = Inventory("2026-01-01 00:00:00", kShorterBody);
    const std::string actual = Inventory("2026-02-02 11:11:11", kBody);
    WriteDataFile("Catalix.sav", saved);
    WriteDataFile("Catalix.act", actual);
    WriteDataFile("Catalix.cpy", "left by an interrupted run");

    EXPECT_TRUE(agent_->CompareFiles());
    EXPECT_EQ(TraceCount("\n!!! COPY FAILED Catalix.sav -> Catalix.cpy (80)"), 1u);
    EXPECT_EQ(WithoutRefreshedKeys(DataFile("Catalix.sav")), WithoutRefreshedKeys(saved));
    EXPECT_EQ(DataFile("Catalix.act"), actual);
    EXPECT_FALSE(DataFileExists("Catalix.cpy"));

    EXPECT_TRUE(agent_->CompareFiles());
    EXPECT_EQ(WithoutRefreshedKeys(DataFile("Catalix.sav")), WithoutRefreshedKeys(actual));
    EXPECT_FALSE(DataFileExists("Catalix.act"));
    EXPECT_FALSE(DataFileExists("Catalix.cpy"));
}

// The first differing pair is traced as the lines stand, without the file's CR LF.
TEST_F(CompareFilesTest, DifferingLinesAreTracedWithoutTheirLineEnds) {
    WriteDataFile("Catalix.sav", Inventory("2026-01-01 00:00:00", kBody));
    WriteDataFile("Catalix.act", Inventory("2026-02-02 11:11:11", kShorterBody));
    EXPECT_TRUE(agent_->CompareFiles());
    EXPECT_EQ(TraceCount("\r\n    Saved  File : NrComponents=2\r\n    Actual File : "
                         "NrComponents=1\r\n!!! FILES ARE DIFFERENT"),
              1u)
        << TraceText();
}

TEST_F(CompareFilesTest, LinesLongerThanTheBufferCompareInPieces) {
    const std::string long_value(600, 'x');
    std::string differs_late = long_value;
    differs_late[500] = 'y';
    struct Case {
        std::string actual_value;
        BOOL result;
    };
    for (const Case& c : {Case{long_value, FALSE}, Case{differs_late, TRUE}}) {
        Put("Catalix.sav", Inventory("2026-01-01 00:00:00", "[S]\r\nk=" + long_value + "\r\n"));
        Put("Catalix.act", Inventory("2026-02-02 11:11:11", "[S]\r\nk=" + c.actual_value + "\r\n"));
        EXPECT_EQ(agent_->CompareFiles(), c.result);
    }
}

TEST_F(CompareFilesTest, AnUnreadableSavedFileEndsTheComparisonAsDifferent) {
    // A directory opens as a stream but every read fails without reaching an end.
    ASSERT_TRUE(CreateDirectoryA(DataPath("Catalix.sav").c_str(), nullptr));
    WriteDataFile("Catalix.act", Inventory("2026-02-02 11:11:11", kBody));
    EXPECT_TRUE(agent_->CompareFiles());
    EXPECT_GE(TraceCount("\n!!! READ ERROR IN Saved File"), 1u);
    EXPECT_EQ(TraceCount("\n!!! FILES ARE DIFFERENT"), 1u);
    EXPECT_TRUE(DataFileExists("Catalix.act"));
}

}  // namespace
}  // namespace cx::test
