// The base library: OID text and status names, CThread and CEvent, LockedList under
// concurrent use, and the process functions.
#include <gtest/gtest.h>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "base/event.h"
#include "base/locked_list.h"
#include "base/oid_text.h"
#include "base/process_info.h"
#include "base/thread.h"
#include "child_process.h"

namespace {

std::vector<UINT> Ids(const AsnObjectIdentifier& oid) {
    return oid.ids ? std::vector<UINT>(oid.ids, oid.ids + oid.idLength) : std::vector<UINT>{};
}

UINT Signed(int value) { return static_cast<UINT>(value); }

TEST(StringToOid, ParsesTheTextForms) {
    struct Case {
        std::string text;
        std::vector<UINT> ids;
    } cases[] = {
        {".1.3.6.1.4.1.7391.2.10.2.10", {1, 3, 6, 1, 4, 1, 7391, 2, 10, 2, 10}},
        {"1.3", {1, 3}},
        {"   .1.3.6", {1, 3, 6}},
        {"1.3.\"ab\"", {1, 3, 2, 97, 98}},
        {"1.3.\"\".5", {1, 3, 0, 5}},
        {"1.3.\"a.b\"", {1, 3, 3, 97, 46, 98}},  // a dot inside quotes is a character
        {"1.3.\"ab", {1, 3, 2, 97, 98}},         // an unterminated quote runs to the end
        {"1.3.2147483648", {1, 3, 2147483647}},
        {"1.3.\"\xC3\xA9\"", {1, 3, 2, Signed(-61), Signed(-87)}},  // signed 8-bit characters
        {"1.3 trailing", {1, 3}},  // parsing ends when every component is stored
    };
    for (const auto& c : cases) {
        AsnObjectIdentifier oid{};
        EXPECT_TRUE(StringToOid(c.text.c_str(), &oid)) << c.text;
        EXPECT_EQ(Ids(oid), c.ids) << c.text;
        SnmpUtilOidFree(&oid);
    }
}

// A refusal before counting keeps the old OID; one after it frees it and leaves it empty.
TEST(StringToOid, RefusesAndLeavesTheOldOrNoOid) {
    for (const char* text :
         {"", "   ", "7", ".7", "1.3.", "1..3", "1.x.3", "1.-3", "1.3.\xC3", "a.b", ".", "..1.3"}) {
        AsnObjectIdentifier oid{};
        ASSERT_TRUE(StringToOid("1.2.3", &oid));
        EXPECT_FALSE(StringToOid(text, &oid)) << '"' << text << '"';
        EXPECT_EQ(Ids(oid), (oid.idLength ? std::vector<UINT>{1, 2, 3} : std::vector<UINT>{}))
            << text;
        EXPECT_EQ(oid.ids == nullptr, oid.idLength == 0) << text;
        SnmpUtilOidFree(&oid);
    }
    AsnObjectIdentifier oid{};
    EXPECT_FALSE(StringToOid(nullptr, &oid));
    EXPECT_FALSE(StringToOid("1.3", nullptr));
}

TEST(StringToOid, HostileTextStaysInBounds) {
    std::string many;
    for (int i = 0; i < 5000; ++i)
        many += ".1";
    AsnObjectIdentifier oid{};
    ASSERT_TRUE(StringToOid(many.c_str(), &oid));
    EXPECT_EQ(oid.idLength, 5000u);
    std::string quotes = "1.3.\"" + std::string(3000, 'x');
    ASSERT_TRUE(StringToOid(quotes.c_str(), &oid));
    EXPECT_EQ(oid.idLength, 3003u);
    EXPECT_EQ(oid.ids[2], 3000u);
    EXPECT_FALSE(StringToOid("1.3\"ab\"\"cd", &oid) && oid.idLength > 20);
    SnmpUtilOidFree(&oid);
}

TEST(OidToString, PrintsDottedDecimal) {
    AsnObjectIdentifier oid{};
    ASSERT_TRUE(StringToOid("1.3.6.1", &oid));
    EXPECT_STREQ(OidToString(&oid, 2), "1.3");
    EXPECT_STREQ(OidToString(&oid, 0), "1.3.6.1");
    EXPECT_STREQ(OidToString(&oid, 99), "1.3.6.1") << "a count past the end prints all";
    oid.ids[3] = 0xFFFFFFFFu;
    EXPECT_STREQ(OidToString(&oid, 0), "1.3.6.-1") << "sub-identifiers print as signed";
    SnmpUtilOidFree(&oid);
    EXPECT_STREQ(OidToString(&oid, 0), "");
    EXPECT_STREQ(OidToString(nullptr, 0), "");

    std::string many;
    for (int i = 0; i < 400; ++i)
        many += ".2147483647";
    ASSERT_TRUE(StringToOid(many.c_str(), &oid));
    std::string text = OidToString(&oid, 0);
    EXPECT_LE(text.size(), 128u * 12u);
    EXPECT_EQ(text.back(), '7') << "cut at a whole sub-identifier";
    SnmpUtilOidFree(&oid);
}

TEST(StatusTexts, NamesEveryStatusAndRequestType) {
    std::string texts;
    for (LONG status : {0, 2, 4, 13, 17, 18, 19, -1})
        texts += std::string(ErrorStatusText(status)) + "|";
    for (UINT type : {0xA0, 0xA1, 0xA2, 0xA3, 0xA4})
        texts += std::string(RequestTypeText(type)) + "|";
    EXPECT_EQ(texts,
              "no error|no such name|value is read-only|resource unavailable|not writeable|"
              "inconsistent name|unknown|unknown|GET|GETNEXT|GETRESPONSE|SET|<<Unknown>>|");
}

struct StopAndDone {
    CEvent stop{FALSE, TRUE};
    std::atomic<bool> done{false};
};

DWORD WaitThenReport(LPVOID parameter) {
    auto* state = static_cast<StopAndDone*>(parameter);
    state->stop.Wait(INFINITE);
    state->done = true;
    return 3;
}

TEST(CThreadName, KeepsAtMost31Characters) {
    const std::string forty(40, 'x');
    struct Case {
        const char* name;
        const char* suffix;
        std::string expected;
    } const cases[] = {
        {"CX_MIB", ":Thread_InitMib", "CX_MIB:Thread_InitMib"},
        {"ABCDEFGHIJKLMNOPQRST", "123456789012345", "ABCDEFGHIJKLMNOPQRST"},  // suffix dropped
        {"ABCDEFGHIJKLMNOPQRST", "12345678901", "ABCDEFGHIJKLMNOPQRST12345678901"},
        {forty.c_str(), "s", std::string(31, 'x')},
    };
    for (const Case& c : cases) {
        CThread thread;
        thread.SetName(c.name, c.suffix);
        EXPECT_EQ(thread.m_szName, c.expected) << c.name;
    }
    CThread thread;
    thread.SetName("kept", "");
    thread.SetName("", "z");
    thread.SetName(nullptr, "z");
    EXPECT_STREQ(thread.m_szName, "kept") << "empty names change nothing";
}

// Started suspended, the thread waits for Resume; the owner's bounded waits time out until it
// is told to stop.
TEST(CThreadRun, StartsSuspendedWaitsBoundedAndCloses) {
    StopAndDone state;
    CThread thread;
    ASSERT_TRUE(thread.Start(WaitThenReport, &state, THREAD_PRIORITY_NORMAL, TRUE));
    EXPECT_NE(thread.m_dwThreadId, 0u);
    EXPECT_TRUE(thread.IsRunning());
    state.stop.Set();
    EXPECT_FALSE(thread.WaitForEnd(20)) << "still suspended";
    EXPECT_FALSE(state.done.load());
    ResumeThread(thread.m_hThread);
    EXPECT_TRUE(thread.WaitForEnd(5000));
    EXPECT_FALSE(thread.IsRunning());
    DWORD code = 0;
    GetExitCodeThread(thread.m_hThread, &code);
    EXPECT_EQ(code, 3u);
    EXPECT_TRUE(thread.Terminate(0)) << "an ended thread needs no terminating";
    EXPECT_FALSE(thread.Close());
    EXPECT_TRUE(thread.WaitForEnd(0)) << "no thread: nothing to wait for";
}

TEST(CThreadRun, TerminateReportsAThreadThatCannotBeStopped) {
    StopAndDone state;
    {
        CThread thread;
        ASSERT_TRUE(thread.Start(WaitThenReport, &state));
        EXPECT_FALSE(thread.WaitForEnd(30)) << "the owner's bounded wait times out";
        DWORD before = CxAbandonedThreadCount();
        EXPECT_FALSE(thread.Terminate(0));
        EXPECT_EQ(thread.m_hThread, nullptr) << "the handle is closed all the same";
        EXPECT_EQ(CxAbandonedThreadCount(), before + 1);
    }
    state.stop.Set();  // let the abandoned thread end before its state goes away
    ASSERT_TRUE(cx::test::WaitUntil([&] { return state.done.load(); }));
}

TEST(CEventObject, ReportsANameInUseAndAMissingHandle) {
    CEvent first(FALSE, TRUE, "cx-base-test-event");
    CEvent second(FALSE, TRUE, "cx-base-test-event");
    EXPECT_EQ(first.m_dwCreateError, 0u);
    EXPECT_EQ(second.m_dwCreateError, static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_TRUE(first.Set());
    EXPECT_EQ(second.Wait(0), WAIT_OBJECT_0) << "one event under both names";
    EXPECT_TRUE(second.Reset());
    EXPECT_EQ(first.Wait(10), WAIT_TIMEOUT);
    CloseHandle(first.m_hEvent);
    first.m_hEvent = nullptr;
    EXPECT_FALSE(first.Set());
    EXPECT_FALSE(first.Reset());
    EXPECT_EQ(first.Wait(0), WAIT_FAILED);
}

struct Tracked {
    explicit Tracked(int v, std::atomic<int>* live) : value(v), live(live) { ++*live; }
    ~Tracked() { --*live; }
    int value;
    std::atomic<int>* live;
};

TEST(LockedListBasics, IndexesAndOwnership) {
    std::atomic<int> live{0};
    {
        LockedList<Tracked> list(TRUE);
        EXPECT_EQ(list.Append(new Tracked(10, &live)), 0);
        EXPECT_EQ(list.Append(new Tracked(11, &live)), 1);
        EXPECT_EQ(list.Count(), 2);
        EXPECT_EQ(list.GetAt(1)->value, 11);
        EXPECT_EQ(list.GetAt(2), nullptr);
        EXPECT_EQ(list.GetAt(-1), nullptr);
        list.RemoveAll();
        EXPECT_EQ(live.load(), 0) << "RemoveAll frees the items";
        EXPECT_EQ(list.Count(), 0);
        EXPECT_EQ(list.Append(new Tracked(12, &live)), 0);
    }
    EXPECT_EQ(live.load(), 0) << "the destructor frees what is left";

    LockedList<Tracked> unlocked(FALSE);
    EXPECT_EQ(unlocked.Append(new Tracked(1, &live)), 0);
    EXPECT_EQ(unlocked.GetAt(0)->value, 1);
}

TEST(LockedListConcurrency, AppendGetAtAndRemoveAllFromManyThreads) {
    std::atomic<int> live{0};
    LockedList<Tracked> list(TRUE);
    std::atomic<bool> stop{false};
    std::vector<std::thread> writers;
    for (int w = 0; w < 3; ++w) {
        writers.emplace_back([&, w] {
            for (int i = 0; i < 2000; ++i)
                list.Append(new Tracked(w * 10000 + i, &live));
        });
    }
    std::thread reader([&] {
        while (!stop) {
            int count = list.Count();
            if (count > 0) (void)list.GetAt(count - 1);
        }
    });
    for (auto& writer : writers)
        writer.join();
    EXPECT_EQ(list.Count(), 6000);
    std::thread([&] { list.RemoveAll(); }).join();
    stop = true;
    reader.join();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(live.load(), 0);
}

TEST(ProcessInfo, NamesThisProcessAndItsModule) {
    EXPECT_FALSE(IsWow64());
    char name[64];
    char path[MAX_PATH];
    ASSERT_TRUE(GetProcessName(GetCurrentProcessId(), name, sizeof(name), path, sizeof(path)));
    EXPECT_STREQ(name, "base_core_test");
    EXPECT_EQ(std::string(path).substr(std::string(path).rfind('/') + 1), "base_core_test");
    EXPECT_TRUE(GetProcessName(GetCurrentProcessId(), nullptr, 0, nullptr, 0))
        << "nothing asked for";
    EXPECT_FALSE(GetProcessName(0x7FFFFFF0u, name, sizeof(name), path, sizeof(path)));
    EXPECT_STREQ(name, "");
    EXPECT_FALSE(GetProcessName(0x7FFFFFF0u, name, sizeof(name), nullptr, 0))
        << "a name asked for and not found is a failure";
    EXPECT_FALSE(GetProcessName(0x7FFFFFF0u, nullptr, 0, path, sizeof(path)));

    EXPECT_EQ(GetModulePath(nullptr, 10, nullptr), 0u);
    EXPECT_EQ(GetModulePath(path, 0, nullptr), 0u);
    DWORD length = GetModulePath(path, sizeof(path), nullptr);
    EXPECT_EQ(length, std::string(path).size());
}

}  // namespace
