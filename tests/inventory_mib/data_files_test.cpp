// The data-file operations: paths in the data root and the messages of each operation.
#include <gtest/gtest.h>

#include <string>

#include "inventory_fixture.h"

namespace cx::test {
namespace {

class DataFilesTest : public InventoryTest {
  protected:
    void ClearDataRoot() { agent_->CSnmpAgent::m_szDataRoot[0] = '\0'; }
};

TEST_F(DataFilesTest, PathsJoinTheDataRootAndNeverComeOutCut) {
    char path[MAX_PATH];
    ASSERT_TRUE(agent_->MakeDataPath("Catalix.sav", path, sizeof(path)));
    EXPECT_EQ(std::string(path), DataPath("Catalix.sav"));

    char small[8];
    EXPECT_FALSE(agent_->MakeDataPath("Catalix.sav", small, sizeof(small)));
    EXPECT_STREQ(small, "");
    EXPECT_FALSE(agent_->MakeDataPath(std::string(300, 'n').c_str(), path, sizeof(path)));

    ClearDataRoot();
    EXPECT_FALSE(agent_->MakeDataPath("Catalix.sav", path, sizeof(path)));
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

TEST_F(DataFilesTest, WithoutDataRootNothingIsOpenedCopiedDeletedOrCompared) {
    WriteDataFile("Catalix.act", "inventory");
    ClearDataRoot();
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

}  // namespace
}  // namespace cx::test
