// cxinv: the trees, the JSON form and the difference of saved inventories, its errors and exit
// codes, on small handwritten files.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "child_process.h"
#include "inventory_text.h"
#include "temp_dir.h"
#include "test_data.h"

namespace cx::test {
namespace {

// The sample inventory (LF lines on disk, CR LF as the agent writes) with each edit applied to
// the first run of lines equal to `first`: replaced by `second`, removed when `second` is empty,
// or followed by the lines of `second` after a leading "+".
using Edits = std::vector<std::pair<std::string, std::string>>;

std::string Sample(const Edits& edits = {}) {
    std::string text = TestData("inventory.sav");
    for (const auto& [from, to] : edits) {
        const std::size_t at = ("\n" + text).find("\n" + from + "\n");
        if (at == std::string::npos) {
            ADD_FAILURE() << "no line " << from;
            continue;
        }
        const std::string with = to.empty()     ? ""
                                 : to[0] == '+' ? from + "\n" + to.substr(1) + "\n"
                                                : to + "\n";
        text.replace(at, from.size() + 1, with);
    }
    return Crlf(text);
}

const std::string kFunctionalContainers =
    "NrContainer=2\nType.1=1\nParent.1=0\nName.1=Server\nType.2=4\nParent.2=1\nName.2=Board";

class CxinvTest : public ::testing::Test {
  protected:
    ToolResult Run(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), CX_CXINV);
        return RunTool(arguments, dir_.Path());
    }
    std::string Write(const std::string& name, const std::string& text) {
        WriteFile(dir_.File(name), text);
        return dir_.File(name);
    }

    TempDir dir_;
};

TEST_F(CxinvTest, TreesShowEachContainerWithItsComponentsAndJsonEveryRow) {
    std::string file = Write("Catalix.sav", Sample());
    ToolResult result = Run({file});
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out, file + TestData("inventory.tree"));
    EXPECT_EQ(result.err, "");

    // JSON: one object per row, keyed by the file's names.
    Write("Catalix.sav", Sample({{"Vendor.2=Arvenmark", "Vendor.2=A\"r\\v"}}));
    result = Run({"--json", file});
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out, "{\n  \"File\": \"" + file + "\",\n" + TestData("inventory.json"));
}

TEST(CxinvJson, StringsAreEscapedAndAlwaysValidUtf8) {
    const std::pair<std::string, std::string> cases[] = {
        {std::string("\x01\t\x7F", 3), "\"\\u0001\\u0009\\u007f\""},
        {"caf\xC3\xA9 \xE2\x82\xAC", "\"caf\xC3\xA9 \xE2\x82\xAC\""},  // UTF-8 kept
        {"caf\xE9", "\"caf\\u00e9\""},                                 // Latin-1 byte
        {"\xC0\xAF", "\"\\u00c0\\u00af\""},                            // overlong
        {"\xED\xA0\x80", "\"\\u00ed\\u00a0\\u0080\""},                 // surrogate
        {"\xF4\x90\x80\x80", "\"\\u00f4\\u0090\\u0080\\u0080\""},      // beyond U+10FFFF
    };
    for (const auto& [text, json] : cases)
        EXPECT_EQ(cxinv::JsonString(text), json) << text;
}

TEST_F(CxinvTest, FilesThatAreNoInventoryAndWrongUsageExitWith2) {
    std::string good = Write("good.sav", Sample());
    std::string utf16("\xFF\xFE[\0L\0]\0", 8);
    // The arguments, the first line of standard error.
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{dir_.File("missing.sav")}, "cxinv: " + dir_.File("missing.sav") + ": no such file"},
        {{}, "cxinv: Catalix.sav: no such file"},  // the working directory's, here none
        {{dir_.Path()}, "cxinv: " + dir_.Path() + ": is a directory"},
        {{Write("utf16.sav", utf16)},
         "cxinv: " + dir_.File("utf16.sav") +
             ": not an inventory file: not single-byte text (UTF-16?)"},
        {{Write("other.ini", "[Component Type]\r\nBIOS=A0\r\n")},
         "cxinv: " + dir_.File("other.ini") + ": not an inventory file: no [Last Date] section"},
        {{"--diff", good}, "cxinv: --diff takes two files"},
        {{"--diff", "--json", good, good}, "cxinv: --diff and --json do not go together"},
        {{good, good}, "cxinv: one file at a time"},
        {{"--tree"}, "cxinv: unknown option '--tree'"},
    };
    for (const auto& [arguments, error] : cases) {
        ToolResult result = Run(arguments);
        EXPECT_EQ(result.exit_code, 2) << error;
        EXPECT_EQ(result.out, "") << error;
        EXPECT_EQ(result.err.substr(0, result.err.find('\n')), error);
    }
    ToolResult help = Run({"--help"});
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_EQ(help.out.rfind("Usage: cxinv [--json] [FILE]\n", 0), 0u);
}

TEST_F(CxinvTest, InconsistentFilesAreShownWholeAndReportedWithExit3) {
    const std::pair<Edits, std::string> cases[] = {
        // A gap ends the table for the MIB; the count tells that rows were lost.
        {{{"CompIndex.1=2", ""}}, "[Firmware Update] NrUpdObjects=1: 0 rows read"},
        {{{"Parent.1=0", "Parent.1=1"}},
         "[Physical Container] Parent.1=1: not an earlier container"},
        {{{"FuncCont.2=2", "FuncCont.2=7"}}, "[Component Table] FuncCont.2=7: no such container"},
        {{{"CompIndex.1=2", "CompIndex.1=9"}},
         "[Firmware Update] CompIndex.1=9: no such component"},
    };
    for (const auto& [edits, problem] : cases) {
        std::string file = Write("odd.sav", Sample(edits));
        for (const char* mode : {"--json", ""}) {
            std::vector<std::string> arguments{file};
            if (*mode != '\0') arguments.insert(arguments.begin(), mode);
            ToolResult result = Run(arguments);
            EXPECT_EQ(result.exit_code, 3) << problem;
            EXPECT_EQ(result.err, "cxinv: " + file + ": " + problem + "\n");
            // Every container and component is still shown, once.
            EXPECT_NE(result.out.find("Cx64"), std::string::npos) << problem;
            EXPECT_EQ(result.out.find("Tower"), result.out.rfind("Tower")) << problem;
        }
    }
}

// A chain of containers each inside the one before: drawn without recursion, at most 32 deep.
TEST_F(CxinvTest, DeeplyNestedContainersAreShownWithBoundedIndent) {
    constexpr int kDepth = 30000;
    std::string chain = "NrContainer=" + std::to_string(kDepth);
    for (int no = 1; no <= kDepth; ++no) {
        std::string n = std::to_string(no);
        chain += "\nType." + n + "=1\nParent." + n + "=" + std::to_string(no - 1) + "\nName." + n +
                 "=C" + n;
    }
    std::string text = Sample(
        {{"FuncCont.2=2", "FuncCont.2=" + std::to_string(kDepth)}, {kFunctionalContainers, chain}});
    ToolResult result = Run({Write("deep.sav", text)});
    EXPECT_EQ(result.exit_code, 0) << result.err;
    std::string deepest = std::string(2 * 32, ' ') + "[" + std::to_string(kDepth) + "] C" +
                          std::to_string(kDepth) + " (FuncKorvan)\n" + std::string(2 * 34, ' ') +
                          "#2 Processor: Arvenmark Cx64";
    EXPECT_NE(result.out.find(deepest), std::string::npos);
}

TEST_F(CxinvTest, DiffPairsComponentsByIdentityNotByNumber) {
    // The edits, cxinv's exit code and output.
    const std::tuple<Edits, int, std::string> cases[] = {
        {{}, 0, ""},
        {{{"SerialNo.1=T40A1", "SerialNo.1=T40A2"}, {"Version.2=B3", "Version.2=B4"}},
         1,
         "~ #1 Cabinet: Catalix Arden T40 in Tower | Server\n"
         "    SerialNo: \"T40A1\" -> \"T40A2\"\n"
         "~ #2 Processor: Arvenmark Cx64 in Tower | Server/Board\n"
         "    Version: \"B3\" -> \"B4\"\n"},
        // Values are shown as JSON strings, so neither a quote nor a control byte reaches the
        // terminal as it is; names are shown with "?" for a control byte.
        {{{"SerialNo.2=", "SerialNo.2=\"x\x1b[2J"}, {"Vendor.2=Arvenmark", "Vendor.2=Arven\x07"}},
         1,
         "~ #2 Processor: Arven? Cx64 in Tower | Server/Board\n"
         "    Vendor: \"Arvenmark\" -> \"Arven\\u0007\"\n"
         "    SerialNo: \"\" -> \"\\\"x\\u001b[2J\"\n"},
        // Where a component has a CompId, that is what identifies it, not its name.
        {{{"ProdName.2=Cx64", "ProdName.2=Cx64 Pro"}},
         1,
         "~ #2 Processor: Arvenmark Cx64 Pro in Tower | Server/Board\n"
         "    ProdName: \"Cx64\" -> \"Cx64 Pro\"\n"},
        {{{"ProdName.1=Arden T40", "ProdName.1=Arden T50"}},
         1,
         "- #1 Cabinet: Catalix Arden T40 in Tower | Server\n"
         "+ #1 Cabinet: Catalix Arden T50 in Tower | Server\n"},
        // A second processor of the same kind in the same place is a new one.
        {{{"NrComponents=2", "NrComponents=3"},
          {"CompId.2=CPU1",
           "+PhysCont.3=1\nFuncCont.3=2\nCompType.3=10\nVendor.3=Arvenmark\n"
           "ProdName.3=Cx64\nCompId.3=CPU1"}},
         1,
         "+ #3 Processor: Arvenmark Cx64 in Tower | Server/Board\n"},
    };
    std::string before = Write("before.sav", Sample());
    for (const auto& [edits, exit_code, output] : cases) {
        ToolResult result = Run({"--diff", before, Write("after.sav", Sample(edits))});
        EXPECT_EQ(result.exit_code, exit_code) << output;
        EXPECT_EQ(result.out, output);
    }
    // The same inventory with another functional container in front: no difference.
    std::string renumbered =
        Sample({{"FuncCont.1=1", "FuncCont.1=2"},
                {"FuncCont.2=2", "FuncCont.2=3"},
                {kFunctionalContainers,
                 "NrContainer=3\nType.1=1\nParent.1=0\nName.1=Spare\nType.2=1\nParent.2=0\n"
                 "Name.2=Server\nType.3=4\nParent.3=2\nName.3=Board"}});
    ToolResult result = Run({"--diff", before, Write("renumbered.sav", renumbered)});
    EXPECT_EQ(result.exit_code, 0) << result.out;
    EXPECT_EQ(result.out, "");
}

}  // namespace
}  // namespace cx::test
