// cx-switchd and cx-switch as an administrator uses them: registration (also while another
// writer holds the registry), requests with busy retries, events to a watcher, who may connect
// and send events, scenario reload, the journal's bound, and refusals of bad command lines.
#include <grp.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <string>

#include "child_process.h"
#include "clients/switch_protocol.h"
#include "platform/registry_store.h"
#include "registry_values.h"
#include "scoped_env.h"
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

// Another writer holds the registry store: the server serves meanwhile (agents that know it
// from an earlier start reach it) and registers once the store is free.
TEST_F(SwitchTools, RegistrationWaitsForALockedRegistryWhileTheServerServes) {
    CxRegistrySetPath(server_.registry_path().c_str());
    cx::test::SetRegString("SOFTWARE\\Catalix", "Probe", "1");
    sqlite3* writer = nullptr;
    ASSERT_EQ(sqlite3_open(server_.registry_path().c_str(), &writer), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(writer, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    ASSERT_TRUE(server_.Launch("reply 1 0 0 0 : byte 1\n", {"--register"}));
    ASSERT_TRUE(cx::test::WaitUntil([&] {
        const int fd = cx::test::UnixSocket(server_.socket_path(), false);
        return fd >= 0 && close(fd) == 0;
    }));
    const std::string known = dir_.File("known.db");
    CxRegistrySetPath(known.c_str());
    cx::test::SetRegString(kSwitchServerClassKey, "LocalServer", "unix:" + server_.socket_path());
    cx::test::ChildOptions options;
    options.environment = {{"CX_REGISTRY", known}};
    EXPECT_EQ(cx::test::RunTool({kSwitch, "request", "1", "0", "0", "0"}, dir_.Path(),
                                std::chrono::seconds(30), options)
                  .exit_code,
              0);
    sqlite3_exec(writer, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(writer);
    CxRegistrySetPath(server_.registry_path().c_str());
    EXPECT_TRUE(cx::test::WaitUntil([&] {
        return cx::test::ReadRegString(kSwitchServerClassKey, "LocalServer") ==
               "unix:" + server_.socket_path();
    }));
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
        {{switchd, "--max-clients", "0"}, 2, "--max-clients needs a number from 1 to"},
        {{switchd, "--group", "no-such-group-here"}, 2, "--group: no group \"no-such-group-here\""},
    };
    for (const auto& c : cases) {
        auto [status, text] = Run(c.argv);
        EXPECT_EQ(status, c.status) << c.text << "\n" << text;
        EXPECT_NE(text.find(c.text), std::string::npos) << c.text << "\n" << text;
    }
}

// Root and the socket's group may connect, whatever the socket file's mode says; only root may
// send events. The client runs as nobody, a member of the second server's group.
TEST_F(SwitchTools, OnlyRootAndTheSocketsGroupConnectAndOnlyRootSendsEvents) {
    const group* nobodys = getgrgid(65534);
    if (geteuid() != 0 || nobodys == nullptr) GTEST_SKIP() << "needs root and group 65534";
    const std::string nobodys_group = nobodys->gr_name;
    chmod(dir_.Path().c_str(), 0755);
    const auto as_nobody = [&](std::vector<std::string> argv) {
        for (const char* file : {"registry.db", "registry.db-wal", "registry.db-shm"})
            chmod(dir_.File(file).c_str(), 0644);  // the client finds the server here
        cx::test::ChildOptions options = WithRegistry();
        options.as_nobody = true;
        argv.insert(argv.begin(), kSwitch);
        return cx::test::RunTool(argv, dir_.Path(), std::chrono::seconds(30), options);
    };
    const std::vector<std::string> request = {"request", "1", "0", "0", "0"};
    ASSERT_TRUE(server_.Start("reply 1 0 0 0 : byte 1\n", {"--register"}));
    for (mode_t mode : {0660, 0666}) {
        chmod(server_.socket_path().c_str(), mode);
        const cx::test::ToolResult refused = as_nobody(request);
        EXPECT_NE(refused.err.find("cannot reach the SWITCH server"), std::string::npos) << mode;
    }
    EXPECT_NE(server_.Log().find("connection of uid 65534"), std::string::npos) << server_.Log();

    server_.Terminate();
    ASSERT_TRUE(
        server_.Start("reply 1 0 0 0 : byte 1\n", {"--register", "--group", nobodys_group}));
    struct stat socket_file {};
    EXPECT_EQ(stat(server_.socket_path().c_str(), &socket_file) == 0 ? socket_file.st_gid : 0,
              65534u);
    EXPECT_EQ(as_nobody(request).exit_code, 0);
    const cx::test::ToolResult event = as_nobody({"event", "0x0C80", "0", "0", "0"});
    EXPECT_NE(event.err.find("event not sent (HRESULT 0x80070005)"), std::string::npos);
    EXPECT_NE(server_.Log().find("event from uid 65534"), std::string::npos) << server_.Log();
}

// Whatever the umask: the socket 0660, a new journal 0640. At its limit
// the journal moves to journal.txt.old and a new one begins.
TEST_F(SwitchTools, SocketAndJournalModesAndTheJournalsBound) {
    const mode_t umask_before = umask(0);
    ASSERT_TRUE(server_.Start("reply 1 0 0 0 : byte 1\n", {"--register", "--journal-limit", "1"}));
    umask(umask_before);
    for (int i = 0; i < 10; ++i)
        Request("1");
    struct stat socket_file {
    }, journal{}, old{};
    ASSERT_EQ(stat(server_.socket_path().c_str(), &socket_file), 0);
    ASSERT_EQ(stat(server_.journal_path().c_str(), &journal), 0);
    ASSERT_EQ(stat((server_.journal_path() + ".old").c_str(), &old), 0);
    EXPECT_EQ(socket_file.st_mode & 07777, 0660u);
    EXPECT_EQ(journal.st_mode & 07777, 0640u);
    EXPECT_LE(std::max(journal.st_size, old.st_size), 1024);
    EXPECT_NE(server_.JournalLines().back().find("opcode=0x0001"), std::string::npos);
}

// Under a service manager the server says READY=1 once its socket accepts and the class is
// registered (the agents' host is started after that), and STOPPING=1 when it ends.
TEST_F(SwitchTools, TellsTheServiceManagerWhenItIsReadyAndWhenItStops) {
    const std::string notify_path = dir_.Path() + "/notify";
    const int notify = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    notify_path.copy(address.sun_path, sizeof(address.sun_path) - 1);
    ASSERT_EQ(bind(notify, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    timeval wait{10, 0};
    setsockopt(notify, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof(wait));
    auto next_message = [&] {
        char text[256] = {};
        return recv(notify, text, sizeof(text) - 1, 0) > 0 ? std::string(text) : std::string();
    };
    cx::test::ScopedEnv manager("NOTIFY_SOCKET", notify_path);
    ASSERT_TRUE(server_.Launch("reply 1 0 0 0 : byte 1\n", {"--register"}));
    EXPECT_EQ(next_message(), "READY=1");
    const int client = cx::test::UnixSocket(server_.socket_path(), false);  // accepts at once
    EXPECT_GE(client, 0);
    close(client);
    const std::string answer = Request("1");  // and the class is registered
    EXPECT_NE(answer.find("status 0x00\n"), std::string::npos) << answer;
    server_.Terminate();
    EXPECT_EQ(next_message(), "STOPPING=1");
    close(notify);
}

TEST_F(SwitchTools, ServerRefusesABadScenarioABusySocketAndALinkedJournal) {
    ASSERT_TRUE(server_.Launch("reply 1 2 3 : byte 1\n"));
    EXPECT_EQ(server_.WaitForExitStatus(), 1);
    ASSERT_TRUE(server_.Start(""));
    SwitchdProcess second(dir_);
    ASSERT_TRUE(second.Launch(""));
    EXPECT_EQ(second.WaitForExitStatus(), 1);  // the first one is still listening there
    // A link planted at the journal's name is not followed.
    TempDir other;
    SwitchdProcess third(other);
    cx::test::WriteFile(other.File("target"), "kept\n");
    ASSERT_EQ(symlink(other.File("target").c_str(), third.journal_path().c_str()), 0);
    ASSERT_TRUE(third.Launch(""));
    EXPECT_EQ(third.WaitForExitStatus(), 1);
    EXPECT_EQ(cx::test::ReadFile(other.File("target")), "kept\n");
}

}  // namespace
