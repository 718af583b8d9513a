// cxini: every command, its output and exit status, and the file it leaves.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "child_process.h"
#include "profile_test_util.h"
#include "temp_dir.h"

namespace {

using cx::test::ReadFile;
using cx::test::RunTool;
using cx::test::TempDir;

struct Step {
    std::vector<std::string> arguments;  // after the program; FILE stands for the test file
    int exit_code;
    std::string output;
};

void RunSteps(const std::string& file, const std::vector<Step>& steps) {
    for (const Step& step : steps) {
        std::vector<std::string> argv{CX_CXINI};
        std::string shown;
        for (const std::string& argument : step.arguments) {
            argv.push_back(argument == "FILE" ? file : argument);
            shown += " " + argument;
        }
        // The tool's output is kept next to the file while it runs.
        auto result = RunTool(argv, std::filesystem::path(file).parent_path());
        EXPECT_EQ(result.exit_code, step.exit_code) << "cxini" << shown;
        EXPECT_EQ(result.out, step.output) << "cxini" << shown;
    }
}

TEST(Cxini, CommandsReadAndChangeTheFileAndRefuseWrongUsage) {
    TempDir dir;
    std::string file = dir.File("Catalix.sav");
    auto help = RunTool({CX_CXINI, "--help"}, dir.Path());
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_NE(help.out.find("Usage: cxini COMMAND FILE"), std::string::npos);
    RunSteps(file, {
                       {{}, 2, ""},
                       {{"get", "FILE"}, 2, ""},
                       {{"set", "FILE", "S", "k"}, 2, ""},
                       {{"frobnicate", "FILE"}, 2, ""},
                       {{"set", "FILE", "S", "a=b", "v"}, 2, ""},
                       {{"set", dir.File("missing/t.ini"), "S", "k", "v"}, 2, ""},
                       {{"get", "FILE", "Last Date", "ScanState"}, 1, ""},
                       {{"get", "FILE", "Last Date", "ScanState", "none"}, 1, "none\n"},
                       {{"sections", "FILE"}, 1, ""},
                       {{"set", "FILE", "Last Date", "ScanState", "SCANNING"}, 0, ""},
                       {{"set", "FILE", "Last Date", "LastDate", "4539A1F0"}, 0, ""},
                       {{"set", "FILE", "Agent Info", "AgentId", "\"CX MIB\""}, 0, ""},
                       {{"get", "FILE", "last date", "scanstate"}, 0, "SCANNING\n"},
                       {{"get", "FILE", "Agent Info", "AgentId"}, 0, "CX MIB\n"},
                       {{"get", "FILE", "Last Date", "Missing", "dflt"}, 1, "dflt\n"},
                       {{"sections", "FILE"}, 0, "Last Date\nAgent Info\n"},
                       {{"keys", "FILE", "Last Date"}, 0, "ScanState\nLastDate\n"},
                       {{"keys", "FILE", "Nothing"}, 1, ""},
                       {{"delete", "FILE", "Last Date", "ScanState"}, 0, ""},
                       {{"delete", "FILE", "Last Date", "ScanState"}, 1, ""},
                       {{"delete", "FILE", "Agent Info"}, 0, ""},
                       {{"delete", "FILE", "Agent Info"}, 1, ""},
                   });
    EXPECT_EQ(ReadFile(file), "[Last Date]\r\nLastDate=4539A1F0\r\n");
}

}  // namespace
