// CSwitchClient and CRcmiClient against the real cx-switchd: attach, the three request shapes,
// busy retries, header checks, a server that dies or never answers, events, many clients, and
// clients that idle or send too much.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <thread>

#include "base/file_debug.h"
#include "child_process.h"
#include "clients/rcmi_client.h"
#include "clients/rights_flags.h"
#include "platform/com_transport.h"
#include "switchd_process.h"
#include "temp_dir.h"
#include "trace_capture.h"

namespace {

using cx::test::SwitchdProcess;
using cx::test::TempDir;

class SwitchClientTest : public ::testing::Test {
  protected:
    void SetUp() override { CxSetComCallTimeout(10000); }

    bool StartServer(const std::string& scenario, const std::vector<std::string>& extra = {}) {
        server_.RegisterClass();
        return server_.Start(scenario, extra);
    }

    static DWORD Send(CSwitchClient& client, CSwitchCommand& command, DWORD op, DWORD cabinet = 0) {
        command.SetRequest(op, 0, 0, cabinet, 0x16);
        return client.SendCommand(&command, 0, 0, 0);
    }

    TempDir dir_;
    SwitchdProcess server_{dir_};
};

// Registered but not listening: the creation's error; then the server comes.
TEST_F(SwitchClientTest, AttachFailsWithoutAServerThenResolvesTheNamesAndAnnouncesTheClient) {
    server_.RegisterClass();  // registered, but nobody listens
    CSwitchClient nobody;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(nobody.Attach(nullptr));
    EXPECT_EQ(nobody.GetLastHResult(), HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    CSwitchCommand command;
    EXPECT_EQ(Send(nobody, command, 0xE204), CMD_STATUS_NOT_DELIVERED);
    EXPECT_EQ(nobody.GetLastHResult(), RPC_E_CLIENT_DIED);

    ASSERT_TRUE(StartServer(""));
    CSwitchClient client;
    ASSERT_TRUE(client.Attach(nullptr));
    for (int i = 0; i < CSwitchClient::kDispIdCount; ++i)
        EXPECT_NE(client.GetDispId(static_cast<CSwitchClient::DispIndex>(i)), DISPID_UNKNOWN);
    EXPECT_TRUE(client.Attach(nullptr));  // already attached: nothing new is created
    EXPECT_TRUE(client.SetClientName("CX_MIB"));
    ASSERT_TRUE(server_.WaitForJournalLines(2));
    EXPECT_EQ(server_.JournalLines(),
              (std::vector<std::string>{"ClientName name=switch_integration_test",
                                        "ClientName name=CX_MIB"}));
    client.Detach();
    EXPECT_FALSE(client.IsAttached());
    client.Detach();  // not attached: ignored

    // Only this machine can be named as the server; the name is kept for later attaches, such
    // as the one EnableEvents makes.
    EXPECT_FALSE(client.Attach(u"elsewhere.example"));
    EXPECT_EQ(client.GetLastHResult(), HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE));
    CSwitchClient local;
    EXPECT_TRUE(local.Attach(u"localhost"));
    local.Detach();
    EXPECT_TRUE(local.EnableEvents(TRUE));
    EXPECT_TRUE(local.IsAdvised());
    EXPECT_TRUE(local.EnableEvents(FALSE));
}

TEST_F(SwitchClientTest, AttachInASingleThreadedApartmentLeavesItsInitialisationAlone) {
    ASSERT_TRUE(StartServer("reply 2 0 0 0 : byte 2\n"));
    std::thread([] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        {
            CSwitchClient client;
            EXPECT_TRUE(client.Attach(nullptr));
            CSwitchCommand command;
            EXPECT_EQ(Send(client, command, 2), 0u);
            client.Detach();
        }
        // Detach did not undo an initialisation it did not make.
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
        CoUninitialize();
        CoUninitialize();
        // And a thread it initialised itself is uninitialised again.
        {
            CSwitchClient client;
            EXPECT_TRUE(client.Attach(nullptr));
            client.Detach();
        }
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        CoUninitialize();
    }).join();
}

// Each method shape carries the same request; the 16-bit ones cut the numbers to 16 bits.
TEST_F(SwitchClientTest, EachRequestMethodShapeCarriesTheFrame) {
    for (const char* methods : {"CmdRequest", "VCRequestEx", "VCRequest"}) {
        SCOPED_TRACE(methods);
        TempDir dir;
        SwitchdProcess server(dir);
        server.RegisterClass();
        ASSERT_TRUE(server.Start("reply 0x0C21 5 0 0xFFFFFFFF : status 0xFF byte 3\n",
                                 {"--methods", methods}));
        CSwitchClient client;
        ASSERT_TRUE(client.Attach(nullptr));
        CSwitchCommand command;
        command.SetRequest(0x0C21, 5, 0, 0xFFFFFFFF, 0x16);
        const BYTE sent = 0xAB;
        command.SetData(&sent, 1, 0x16);
        EXPECT_EQ(client.SendCommand(&command, 7, 0, 0), 0xFFu);  // 0xFF is a success status
        EXPECT_TRUE(command.IsOk(1, FALSE));
        EXPECT_EQ(command.GetByte(0), 3);
        ASSERT_TRUE(server.WaitForJournalLines(2));
        EXPECT_EQ(server.JournalLines()[1], std::string(methods) +
                                                " opcode=0x0C21 ext=0x0005 object=0x0000 cabinet=" +
                                                (methods[0] == 'C' ? "0xFFFFFFFF" : "0xFFFF") +
                                                " status=0x16 timeout=7 data=AB");
        client.Detach();
    }
}

TEST_F(SwitchClientTest, CorruptHeadersFailBeforeAnyCall) {
    ASSERT_TRUE(StartServer(""));
    CSwitchClient client;
    ASSERT_TRUE(client.Attach(nullptr));
    ASSERT_TRUE(server_.WaitForJournalLines(1));
    for (const auto& [header_length, magic] :
         {std::pair<WORD, const char*>{40, "$SIP"}, {48, "XSIP"}}) {
        CmdFrameHead head;
        InitCmdHeader(&head);
        head.Header.HeaderLength = header_length;
        std::memcpy(head.Header.Magic, magic, 4);
        head.Header.MidLow = 7;
        CmdFrameHead before = head;
        BSTR data = nullptr;
        EXPECT_FALSE(client.CmdRequest(&head.Header, &data, 0, 0, 0)) << magic;
        EXPECT_EQ(std::memcmp(&head, &before, sizeof(head)), 0) << magic;
        EXPECT_EQ(client.GetLastHResult(), RPC_E_CLIENT_DIED);
    }
    EXPECT_FALSE(client.CmdRequest(nullptr, nullptr, 0, 0, 0));
    EXPECT_EQ(server_.JournalLines().size(), 1u);
}

TEST_F(SwitchClientTest, ServerKilledDuringACallFailsTheCallAndARestartCanBeAttached) {
    ASSERT_TRUE(StartServer("reply 1 0 0 0 : delay 60000 byte 1\nreply 2 0 0 0 : byte 2\n"));
    CSwitchClient client;
    ASSERT_TRUE(client.Attach(nullptr));
    std::thread killer([&] {
        server_.WaitForJournalLines(2);
        server_.Kill();
    });
    CSwitchCommand command;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Send(client, command, 1), CMD_STATUS_NOT_DELIVERED);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(client.GetLastHResult(), HRESULT_FROM_WIN32(RPC_S_CALL_FAILED));
    killer.join();
    EXPECT_EQ(Send(client, command, 2), CMD_STATUS_NOT_DELIVERED);

    client.Detach();
    ASSERT_TRUE(server_.Start("reply 2 0 0 0 : byte 2\n"));
    ASSERT_TRUE(client.Attach(nullptr));
    EXPECT_EQ(Send(client, command, 2), 0u);
    EXPECT_EQ(command.GetByte(0), 2);
}

TEST_F(SwitchClientTest, CancelRequestEndsABlockedCallOrTheNextAndBlocksLaterOnes) {
    ASSERT_TRUE(StartServer("reply 1 0 0 0 : delay 600000 byte 1\nreply 2 0 0 0 : byte 2\n"));
    CSwitchClient client;
    std::promise<void> attached;
    std::thread caller([&] {
        client.Attach(nullptr);
        EXPECT_TRUE(client.EnableCancelRequest(TRUE));
        attached.set_value();
        CSwitchCommand command;
        EXPECT_EQ(Send(client, command, 1), CMD_STATUS_NOT_DELIVERED);
        EXPECT_EQ(client.GetLastHResult(), RPC_E_CALL_CANCELED);
        // Cancelled for good: nothing reaches the server until cancellation is switched off.
        EXPECT_EQ(Send(client, command, 2), CMD_STATUS_NOT_DELIVERED);
        EXPECT_EQ(client.GetLastHResult(), RPC_S_CALL_CANCELLED);
        EXPECT_TRUE(client.EnableCancelRequest(FALSE));
        EXPECT_EQ(Send(client, command, 2), 0u);
        client.Detach();
    });
    ASSERT_EQ(attached.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
    ASSERT_TRUE(server_.WaitForJournalLines(2));  // the client name and the blocked call
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(client.CancelRequest(1));
    caller.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    std::vector<std::string> lines = server_.JournalLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[2].find("opcode=0x0002"), std::string::npos);

    // Without a call in progress the cancel fails, yet still blocks the calls that follow.
    ASSERT_TRUE(client.Attach(nullptr));
    EXPECT_FALSE(client.CancelRequest(1));
    CSwitchCommand command;
    EXPECT_EQ(Send(client, command, 2), CMD_STATUS_NOT_DELIVERED);
    EXPECT_TRUE(client.EnableCancelRequest(TRUE));
    EXPECT_TRUE(client.EnableCancelRequest(FALSE));
    EXPECT_EQ(Send(client, command, 2), 0u);
}

// Events reach Reply, which switches the permission flags (here in the header-and-data form;
// cx-switch watch receives the default one); the client's trace carries its labels, the frame
// lines and what Reply did.
TEST_F(SwitchClientTest, EventsReachReplyAndTheTraceTellsIt) {
    ASSERT_TRUE(StartServer("", {"--event-form", "4"}));
    cx::test::TraceToFile("switchtrace", dir_.File("trace.txt"));
    g_FileDebug.Init("switchtrace", FALSE);
    std::atomic<int> events{0};
    CRcmiClient watcher;
    watcher.SetReplyHandler([&](CSwitchCommand* command) {
        events += command->GetHeader()->OpCode == 0xE002 && command->GetByte(0) == 1;
    });
    ASSERT_TRUE(watcher.EnableEvents(TRUE));
    EXPECT_TRUE(watcher.EnableEvents(TRUE));  // already advised: no second advise
    CSwitchCommand command;
    command.SetRequest(0x0C21, 5, 3, 0xFFFFFFFF, 0x16);
    watcher.SendCommand(&command, 0, 0, 0);
    SetAllowed = 0;
    cx::test::ChildOptions options;
    options.environment = {{"CX_REGISTRY", server_.registry_path()}};
    cx::test::ChildProcess tool(
        {CX_SWITCH_PATH, "event", "0xE002", "0x3810", "0", "0", "--data", "01"}, options);
    EXPECT_EQ(tool.Wait(std::chrono::seconds(30)), 0);
    ASSERT_TRUE(cx::test::WaitUntil([&] { return events == 1; }));
    EXPECT_EQ(SetAllowed.load(), 1);
    EXPECT_TRUE(watcher.EnableEvents(FALSE));
    EXPECT_FALSE(watcher.IsAdvised());
    EXPECT_FALSE(watcher.IsAttached());

    g_FileDebug.Init(nullptr, FALSE);
    const std::string trace = cx::test::ReadFile(dir_.File("trace.txt"));
    for (const char* line : {
             "CSwitchClient       : Attach to SWITCH as module \"switch_integration_test\"",
             "CSwitchClient       :   ID of method CmdRequest = ",
             "CSwitchClient       : CmdRequest() OUT CABID -001: OC 0x0C21-0x0005 OID 0x0003 "
             "MID 0x00000000 Stat 0x01 Len 0000",
             "CSwitchClient       : Advise OK!",
             "CRcmiClient::Reply  : # MIB write enabled! #",
         })
        EXPECT_NE(trace.find(line), std::string::npos) << line;
}

// A server that accepts the creation and then answers with bytes that are no message.
TEST_F(SwitchClientTest, AServerSendingGarbageLosesItsConnectionNotTheClient) {
    server_.RegisterClass();  // the class points at the socket the garbage server takes
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    const int listener = cx::test::UnixSocket(server_.socket_path(), true);
    std::thread garbage([listener] {
        const int fd = accept(listener, nullptr, nullptr);
        if (fd < 0) return;
        cx::com::Message created;
        created.kind = cx::com::MessageKind::kResult;
        created.call_id = 1;
        // Each request comes in one piece: the creation, then the first call.
        char buffer[256];
        for (const std::string& answer :
             {cx::com::EncodeMessage(created), std::string("\5\0\0\0\x63\1\2\3\4", 9)}) {
            EXPECT_GT(read(fd, buffer, sizeof(buffer)), 0);
            EXPECT_EQ(write(fd, answer.data(), answer.size()), static_cast<ssize_t>(answer.size()));
        }
        while (read(fd, buffer, sizeof(buffer)) > 0) {
        }  // until the client hangs up
        close(fd);
    });
    MULTI_QI query{&IID_IDispatch, nullptr, S_OK};
    EXPECT_EQ(
        CoCreateInstanceEx(CLSID_SwitchServer, nullptr, CLSCTX_LOCAL_SERVER, nullptr, 1, &query),
        S_OK);
    if (auto* server = static_cast<IDispatch*>(query.pItf)) {
        LPOLESTR name = const_cast<LPOLESTR>(u"CmdRequest");
        DISPID id = 0;
        EXPECT_EQ(server->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_SYSTEM_DEFAULT, &id),
                  RPC_E_INVALID_DATAPACKET);
        EXPECT_EQ(id, DISPID_UNKNOWN);
        EXPECT_EQ(server->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_SYSTEM_DEFAULT, &id),
                  HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE));
        server->Release();
    }
    CoUninitialize();
    shutdown(listener, SHUT_RDWR);  // ends an accept that nobody satisfied
    garbage.join();
    close(listener);
}

TEST_F(SwitchClientTest, ManyClientsAtOnceAreNotDisturbedByOneThatVanishes) {
    ASSERT_TRUE(StartServer("reply 0xE204 0 0 * : word 1\n"));
    constexpr int kClients = 8;
    constexpr int kRequests = 50;
    std::atomic<int> answered{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kClients; ++i) {
        threads.emplace_back([&] {
            CSwitchClient client;
            if (!client.Attach(nullptr)) return;
            CSwitchCommand command;
            for (int r = 0; r < kRequests; ++r) {
                if (Send(client, command, 0xE204, static_cast<DWORD>(r)) == 0 &&
                    command.GetWord(0) == 1) {
                    ++answered;
                }
            }
            client.Detach();
        });
    }
    // Half a message, and gone, as a crashing client would.
    const int vanishing = cx::test::UnixSocket(server_.socket_path(), false);
    EXPECT_EQ(write(vanishing, "\x64\0\0\0\5\1", 6), 6);
    close(vanishing);
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(answered, kClients * kRequests);
}

// Connections that say nothing fill the server; one announces more than a client may send. The
// idle ones make room for the agent, the greedy one is dropped, and the log tells both.
TEST_F(SwitchClientTest, IdleAndGreedyClientsDoNotLockAnAgentOut) {
    ASSERT_TRUE(StartServer("reply 2 0 0 0 : byte 2\n", {"--max-clients", "3"}));
    int clients[4];
    for (int& fd : clients)
        fd = cx::test::UnixSocket(server_.socket_path(), false);
    // 2 MiB: within what the transport carries, over what one client may have waiting.
    EXPECT_EQ(write(clients[3], "\0\0\x20\0", 4), 4);
    CSwitchClient agent;
    ASSERT_TRUE(agent.Attach(nullptr));
    CSwitchCommand command;
    EXPECT_EQ(Send(agent, command, 2), 0u);
    EXPECT_EQ(command.GetByte(0), 2);
    for (int fd : clients)
        close(fd);
    for (const char* line : {"client limit (3) reached: closing the connection of uid",
                             "dropped: a message of 2097152 bytes with 0 waiting exceeds its "
                             "limit of 1048576 bytes"})
        EXPECT_TRUE(cx::test::WaitUntil([&] {
            return server_.Log().find(line) != std::string::npos;
        })) << server_.Log();
}

}  // namespace
