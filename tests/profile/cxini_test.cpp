// cxini: every command, its output and exit status, and the file it leaves.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "child_process.h"
#include "temp_dir.h"
#include "text_rows.h"

namespace {

using cx::test::RunTool;

TEST(Cxini, CommandsReadAndChangeTheFileAndRefuseWrongUsage) {
    cx::test::TempDir dir;
    std::string file = dir.File("Catalix.sav");
    auto help = RunTool({CX_CXINI, "--help"}, dir.Path());
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_NE(help.out.find("Usage: cxini COMMAND FILE"), std::string::npos);
    for (const cx::test::TextRow& row :
         cx::test::ReadRows(CX_TEST_DATA "/profile/cxini_steps.txt")) {
        std::vector<std::string> argv{CX_CXINI};
        for (size_t i = 2; i < row.fields.size(); ++i) {
            const std::string& argument = row[i];
            if (!argument.empty())
                argv.push_back(argument == "FILE"      ? file
                               : argument == "MISSING" ? dir.File("missing/t.ini")
                                                       : argument);
        }
        auto result = RunTool(argv, dir.Path());
        EXPECT_EQ(result.exit_code, static_cast<int>(row.Number(0))) << "row " << row.line;
        EXPECT_EQ(result.out, row[1]) << "row " << row.line;
    }
    EXPECT_EQ(cx::test::ReadFile(file), "[Last Date]\r\nLastDate=4539A1F0\r\n");
}

}  // namespace
