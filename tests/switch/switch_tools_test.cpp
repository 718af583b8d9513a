// cx-switchd and cx-switch as an administrator uses them: registration, requests with busy
// retries, events to a watcher, scenario reload, and refusals of bad command lines.
#include <gtest/gtest.h>

#include <string>

#include "child_process.h"
#include "switchd_process.h"
#include "temp_dir.h"

namespace {

using cx::test::SwitchdProcess;
using cx::test::TempDir;

const std::string kSwitch = CX_SWITCH_PATH;

class SwitchTools : public ::testing::Test {
  protected:
    cx::test::ChildOptions WithRegistry() const {
        cx::test::ChildOptions options;
        options.environment = {{"CX_REGISTRY", server_.registry_path()}};
        return options;
    }
    // Runs a program (cx-switch unless argv[0] is a path) with the test's registry; its exit
    // status and its output followed by its errors.
    std::pair<int, std::string> Run(std::vector<std::string> argv) const {
        if (argv.empty() || argv[0][0] != '/') argv.insert(argv.begin(), kSwitch);
        cx::test::ToolResult result =
            cx::test::RunTool(argv, dir_.Path(), std::chrono::seconds(30), WithRegistry());
        return {result.exit_code, result.out + result.err};
    }
    std::string Request(const std::string& op) const {
        return Run({"request", op, "0", "0", "0"}).second;
    }

    TempDir dir_;
    SwitchdProcess server_{dir_};
};

TEST_F(SwitchTools, RegisteredServerAnswersRequestsWithBusyRetries) {
    ASSERT_TRUE(
        server_.Start("reply 0x0604 0 1 0 : status 0x0F\n"
                      "reply 0x0604 0 1 0 : status 0x0F\n"
                      "reply 0x0604 0 1 0 : text \"CatalixChips\"\n"
                      "reply 0x0701 0 0 0 : status 0x0F\n",
                      {"--register"}));
    auto [status, text] = Run({"request", "0x0604", "0", "1", "0", "--retries", "3", "--increment",
                               "5", "--timeout", "30"});
    EXPECT_EQ(status, 0);
    EXPECT_NE(text.find("text   \"CatalixChips\\x00\""), std::string::npos) << text;
    EXPECT_NE(server_.JournalLines().back().find("timeout=40 "), std::string::npos);
    // A server that stays busy is given up after retries + 1 calls with its last status.
    std::tie(status, text) = Run({"request", "0x0701", "0", "0", "0", "--retries", "1", "--timeout",
                                  "1", "--increment", "5"});
    EXPECT_NE(text.find("status 0x0F\n"), std::string::npos) << text;
    const std::vector<std::string> lines = server_.JournalLines();
    ASSERT_EQ(lines.size(), 7u);  // the client's name and three calls, then its name and two
    EXPECT_NE(lines[5].find("timeout=1 "), std::string::npos);
    EXPECT_NE(lines[6].find("timeout=6 "), std::string::npos);
    std::tie(status, text) = Run({"request", "9", "0", "0", "-1"});
    EXPECT_EQ(status, 3);
    EXPECT_NE(text.find("CABID -1\nstatus 0x01\nlength 0\n"), std::string::npos) << text;
}

TEST_F(SwitchTools, EventsReachAWatcher) {
    ASSERT_TRUE(server_.Start("", {"--register"}));
    cx::test::ChildOptions options = WithRegistry();
    options.output = cx::test::ChildOutput::kPipeWithErrors;
    cx::test::ChildProcess watcher({kSwitch, "watch", "--count", "1", "--seconds", "20"}, options);
    std::string line;
    ASSERT_TRUE(watcher.ReadLine(&line, std::chrono::seconds(10)));
    EXPECT_EQ(line, "watching");
    EXPECT_EQ(Run({"event", "0xE002", "0x3810", "0", "0", "--data", "01"}).first, 0);
    const std::string watched = watcher.ReadAll(std::chrono::seconds(20));
    EXPECT_EQ(watcher.Wait(std::chrono::seconds(10)), 0);
    EXPECT_NE(watched.find("OC 0xE002-0x3810 OID 0x0000 CABID 0\nstatus 0x00\nlength 1\n"),
              std::string::npos)
        << watched;
    EXPECT_NE(watched.find("flags  set 1 shutdown 0 account 0"), std::string::npos) << watched;
}

TEST_F(SwitchTools, SighupReloadsTheScenarioAndKeepsItWhenTheNewOneIsWrong) {
    ASSERT_TRUE(server_.Start("reply 1 0 0 0 : byte 1\n", {"--register"}));
    EXPECT_NE(Request("1").find("hex    01\n"), std::string::npos);
    server_.Reload("reply 1 0 0 0 : byte 2\n");
    // The reload happens when the server takes the signal; ask until it answers anew.
    EXPECT_TRUE(
        cx::test::WaitUntil([&] { return Request("1").find("hex    02\n") != std::string::npos; }));
    // A file with a mistake is refused, before or after the signal is taken.
    server_.Reload("reply 1 0 0 0 : bogus\n");
    for (int attempt = 0; attempt < 10; ++attempt)
        EXPECT_NE(Request("1").find("hex    02\n"), std::string::npos);
}

TEST_F(SwitchTools, CommandLinesAreCheckedAndHelpIsThere) {
    const std::string switchd = CX_SWITCHD_PATH;
    const struct {
        std::vector<std::string> argv;
        int status;
        const char* text;
    } cases[] = {
        {{"--help"}, 0, "Usage: cx-switch request"},
        {{}, 2, "a command is needed"},
        {{"request", "1", "2", "3", "x"}, 2, "request needs OPCODE EXT OBJECT CABINET"},
        {{"request", "1", "2", "3", "4", "--status", "1"}, 2, "unknown option --status"},
        {{"event", "1", "2", "3", "4", "--status", "256"}, 2, "bad value for --status"},
        {{"fly"}, 2, "unknown command fly"},
        {{"request", "1", "2", "3", "4"}, 1, "cannot reach the SWITCH server (HRESULT 0x80040154)"},
        {{switchd, "--event-form", "5"}, 2, "--event-form must be 3 or 4"},
        {{switchd, "--methods", "Foo"}, 2, "unknown method list \"Foo\""},
        {{switchd, "--nut", "ups"}, 2, "--nut go with --linux"},
        {{switchd, "--linux", "--ipmi-user", "cx"}, 2, "go with --ipmi-lan"},
        {{switchd, "--linux", "--nut", "ups:x"}, 2, "--nut: \"ups:x\" is not HOST[:PORT]"},
        {{switchd, "--linux", "--ipmi-lan", "bmc", "--ipmi-password-file", "/nonexistent"},
         2,
         "cannot read the password file /nonexistent"},
    };
    for (const auto& c : cases) {
        auto [status, text] = Run(c.argv);
        EXPECT_EQ(status, c.status) << c.text << "\n" << text;
        EXPECT_NE(text.find(c.text), std::string::npos) << c.text << "\n" << text;
    }
}

TEST_F(SwitchTools, ServerRefusesABadScenarioAndABusySocket) {
    ASSERT_TRUE(server_.Launch("reply 1 2 3 : byte 1\n"));
    EXPECT_EQ(server_.WaitForExitStatus(), 1);
    ASSERT_TRUE(server_.Start(""));
    SwitchdProcess second(dir_);
    ASSERT_TRUE(second.Launch(""));
    EXPECT_EQ(second.WaitForExitStatus(), 1);  // the first one is still listening there
}

}  // namespace
