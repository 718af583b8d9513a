// cx-switchd and cx-switch as an administrator uses them: registration, requests with busy
// retries, events to a watcher, scenario reload, and refusals of bad command lines.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>

#include "child_process.h"
#include "switchd_process.h"
#include "temp_dir.h"

namespace {

using cx::test::ReadFile;
using cx::test::SwitchdProcess;
using cx::test::TempDir;

struct Output {
    int status = -1;
    std::string text;
};

// Runs a command line through the shell with the test's registry and collects its output.
Output RunTool(const SwitchdProcess& server, const std::string& command) {
    std::string line = "CX_REGISTRY='" + server.registry_path() + "' " + command + " 2>&1";
    Output output;
    FILE* pipe = popen(line.c_str(), "r");
    if (pipe == nullptr) return output;
    char buffer[512];
    while (std::fgets(buffer, sizeof(buffer), pipe) != nullptr)
        output.text += buffer;
    int status = pclose(pipe);
    output.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return output;
}

const std::string kSwitch = CX_SWITCH_PATH;

TEST(SwitchTools, RegisteredServerAnswersRequestsWithBusyRetries) {
    TempDir dir;
    SwitchdProcess server(dir);
    ASSERT_TRUE(
        server.Start("reply 0xE204 0 0 0 : word 1\n"
                     "reply 0x0604 0 1 0 : status 0x0F\n"
                     "reply 0x0604 0 1 0 : status 0x0F\n"
                     "reply 0x0604 0 1 0 : text \"CatalixChips\"\n",
                     {"--register"}));

    Output cabinet = RunTool(server, kSwitch + " request 0xE204 0 0 0");
    EXPECT_EQ(cabinet.status, 0) << cabinet.text;
    EXPECT_NE(cabinet.text.find("status 0x00\nlength 2\nhex    01 00\n"), std::string::npos)
        << cabinet.text;

    Output vendor =
        RunTool(server, kSwitch + " request 0x0604 0 1 0 --retries 3 --increment 5 --timeout 30");
    EXPECT_EQ(vendor.status, 0) << vendor.text;
    EXPECT_NE(vendor.text.find("text   \"CatalixChips\\x00\""), std::string::npos) << vendor.text;

    std::vector<std::string> lines = server.JournalLines();
    int calls = 0;
    const char* timeouts[] = {"timeout=30 ", "timeout=35 ", "timeout=40 "};
    for (const std::string& line : lines) {
        if (line.find("opcode=0x0604") == std::string::npos) continue;
        ASSERT_LT(calls, 3) << line;
        EXPECT_NE(line.find(timeouts[calls++]), std::string::npos) << line;
    }
    EXPECT_EQ(calls, 3);

    Output unmatched = RunTool(server, kSwitch + " request 9 0 0 -1");
    EXPECT_EQ(unmatched.status, 3);
    EXPECT_NE(unmatched.text.find("CABID -1\nstatus 0x01\nlength 0\n"), std::string::npos);
}

TEST(SwitchTools, EventsReachAWatcher) {
    TempDir dir;
    SwitchdProcess server(dir);
    ASSERT_TRUE(server.Start("", {"--register"}));
    std::string line = "CX_REGISTRY='" + server.registry_path() + "' " + kSwitch +
                       " watch --count 1 --seconds 20 2>&1";
    FILE* watcher = popen(line.c_str(), "r");
    ASSERT_NE(watcher, nullptr);
    char buffer[512];
    ASSERT_NE(std::fgets(buffer, sizeof(buffer), watcher), nullptr);
    EXPECT_STREQ(buffer, "watching\n");
    Output sent = RunTool(server, kSwitch + " event 0xE002 0x3810 0 0 --data 01");
    EXPECT_EQ(sent.status, 0) << sent.text;
    std::string watched;
    while (std::fgets(buffer, sizeof(buffer), watcher) != nullptr)
        watched += buffer;
    EXPECT_EQ(pclose(watcher), 0);
    EXPECT_NE(watched.find("OC 0xE002-0x3810 OID 0x0000 CABID 0\nstatus 0x00\nlength 1\n"),
              std::string::npos)
        << watched;
    EXPECT_NE(watched.find("flags  set 1 shutdown 0 account 0"), std::string::npos) << watched;
}

TEST(SwitchTools, SighupReloadsTheScenarioAndKeepsItWhenTheNewOneIsWrong) {
    TempDir dir;
    SwitchdProcess server(dir);
    ASSERT_TRUE(server.Start("reply 1 0 0 0 : byte 1\n", {"--register"}));
    EXPECT_NE(RunTool(server, kSwitch + " request 1 0 0 0").text.find("hex    01\n"),
              std::string::npos);
    server.Reload("reply 1 0 0 0 : byte 2\n");
    // The reload happens when the server takes the signal; ask until it answers anew.
    std::string answer;
    for (int attempt = 0; attempt < 200 && answer.find("hex    02\n") == std::string::npos;
         ++attempt) {
        answer = RunTool(server, kSwitch + " request 1 0 0 0").text;
    }
    EXPECT_NE(answer.find("hex    02\n"), std::string::npos) << answer;
    // A file with a mistake is refused, before or after the signal is taken.
    server.Reload("reply 1 0 0 0 : bogus\n");
    for (int attempt = 0; attempt < 10; ++attempt) {
        EXPECT_NE(RunTool(server, kSwitch + " request 1 0 0 0").text.find("hex    02\n"),
                  std::string::npos);
    }
}

TEST(SwitchTools, CommandLinesAreCheckedAndHelpIsThere) {
    TempDir dir;
    SwitchdProcess server(dir);
    struct Case {
        std::string command;
        int status;
        const char* text;
    };
    const Case cases[] = {
        {kSwitch + " --help", 0, "Usage: cx-switch request"},
        {kSwitch + " request --help", 0, "Usage: cx-switch request"},
        {kSwitch, 2, "a command is needed"},
        {kSwitch + " request 1 2 3", 2, "request needs OPCODE EXT OBJECT CABINET"},
        {kSwitch + " request 1 2 3 x", 2, "request needs OPCODE EXT OBJECT CABINET"},
        {kSwitch + " request 1 2 3 4 --data 0G", 2, "bad value for --data"},
        {kSwitch + " request 1 2 3 4 --status 1", 2, "unknown option --status"},
        {kSwitch + " event 1 2 3 4 --status 256", 2, "bad value for --status"},
        {kSwitch + " fly", 2, "unknown command fly"},
        {kSwitch + " request 1 2 3 4", 1, "cannot reach the SWITCH server (HRESULT 0x80040154)"},
        {std::string(CX_SWITCHD_PATH) + " --help", 0, "Usage: cx-switchd"},
        {std::string(CX_SWITCHD_PATH) + " --event-form 5", 2, "--event-form must be 3 or 4"},
        {std::string(CX_SWITCHD_PATH) + " --methods Foo", 2, "unknown method list \"Foo\""},
    };
    for (const Case& c : cases) {
        Output output = RunTool(server, c.command);
        EXPECT_EQ(output.status, c.status) << c.command << "\n" << output.text;
        EXPECT_NE(output.text.find(c.text), std::string::npos) << c.command << "\n" << output.text;
    }
}

TEST(SwitchTools, ServerRefusesABadScenarioAndABusySocket) {
    TempDir dir;
    SwitchdProcess server(dir);
    ASSERT_TRUE(server.Launch("reply 1 2 3 : byte 1\n"));
    EXPECT_EQ(server.WaitForExitStatus(), 1);

    ASSERT_TRUE(server.Start(""));
    SwitchdProcess second(dir);
    ASSERT_TRUE(second.Launch(""));
    EXPECT_EQ(second.WaitForExitStatus(), 1);  // the first one is still listening there
}

TEST(DemoScenario, UsesTheItemCodesOfTheTableFile) {
    std::set<std::string> table_codes;
    std::istringstream table(ReadFile(CX_TABLE_FILE));
    for (std::string line; std::getline(table, line);) {
        std::size_t equals = line.find("=0x");
        if (line.rfind("Info.", 0) == 0 && equals != std::string::npos) {
            table_codes.insert(line.substr(equals + 1, 6));
        }
    }
    ASSERT_FALSE(table_codes.empty());
    std::istringstream demo(ReadFile(CX_DEMO_SCENARIO));
    int text_lines = 0;
    for (std::string line; std::getline(demo, line);) {
        if (line.rfind("reply 0x0C00 ", 0) != 0) continue;
        std::string code = line.substr(13, 6);
        if (code == "0x0D06") continue;  // switch blade firmware, asked by the blade collector
        EXPECT_TRUE(table_codes.count(code)) << line;
        ++text_lines;
    }
    EXPECT_GT(text_lines, 50);
}

TEST(DemoScenario, ServesTheServerCabinetNumber) {
    TempDir dir;
    SwitchdProcess server(dir);
    ASSERT_TRUE(server.Start(ReadFile(CX_DEMO_SCENARIO), {"--register"}));
    Output cabinet = RunTool(server, kSwitch + " request 0xE204 0 0 0");
    EXPECT_EQ(cabinet.status, 0) << cabinet.text;
    EXPECT_NE(cabinet.text.find("length 2\nhex    01 00\n"), std::string::npos) << cabinet.text;
    Output pci = RunTool(server, kSwitch + " request 0x1401 0 5 1 --data \"02 00 00\"");
    EXPECT_NE(pci.text.find("length 64\nhex    00 10 58 00"), std::string::npos) << pci.text;
}

}  // namespace
