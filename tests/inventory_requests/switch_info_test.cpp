// The inventory agent's information requests: component texts from SWITCH as the request
// table prescribes, against a real cx-switchd (literal values and item codes, the OpCode forms,
// the "N/A" defaults, long texts, failing and busy answers, the server's own cabinet replaced
// by its number); component texts read from another agent in extagentd (REPLAY_MIB serving a
// walk) and the wait for its MIB; and whether an extension agent is registered with the SNMP
// service and its library is there, "%"-expanded names up to the length of a path included.
#include <signal.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "framework/agent_globals.h"
#include "host_start.h"
#include "inventory_fixture.h"
#include "platform/objbase.h"
#include "platform/timing.h"
#include "scoped_env.h"
#include "switchd_process.h"
#include "test_data.h"

namespace cx::test {
namespace {

constexpr const char* kTable =
    "[Info.Disk]\r\nMethod=SWITCH\r\nClass=17\r\nOpCode=0x0C00\r\nInfo.Vendor=0x2001\r\n"
    "Info.ProdName=0x2002\r\nInfo.ProdNumber=Fixed Number\r\nInfo.Version=0x2005\r\n"
    "Info.SerialNo=0x2007\r\nInfo.CompId=0x2009\r\n"
    "[Info.NoOpCode]\r\nMethod=SWITCH\r\nClass=9\r\nInfo.Vendor=0x2001\r\n"
    "[Info.BySnmp]\r\nMethod=SNMP\r\nInfo.Vendor=.1.3.6.1.2.1.1.1.0\r\n"
    "[Info.NoMethod]\r\nOpCode=3072\r\n"
    "[Values]\r\nItem=0x0012\r\nWide=0x10012\r\nLiteral=Tarvo 7\r\nUnanswered=0x0099\r\n"
    "Long=0x0030\r\nExact=0x0031\r\nBusy=0x0040\r\nRefused=0x0041\r\nEmpty=0x0042\r\n"
    "OddOk=0x0043\r\nUndelivered=0x0044\r\n";

const std::string kLongText(199, 'L');
const std::string kExactText(127, 'E');

class SwitchInfoTest : public InventoryTest {
  protected:
    void SetUp() override {
        InventoryTest::SetUp();
        WriteTableFile(kTable);
        server_ = std::make_unique<SwitchdProcess>(dir_);
        server_->RegisterClass();
        // Object 3 of cabinet 7, and the server's cabinet 5 where the request names its own.
        ASSERT_TRUE(server_->Start(TestData("info.scn")));
        com_ = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        ASSERT_TRUE(agent_->m_SwitchClient.Attach(nullptr));
        ASSERT_TRUE(server_->WaitForJournalLines(1));  // the client's name
    }
    void TearDown() override {
        agent_->m_SwitchClient.Detach();
        if (SUCCEEDED(com_)) CoUninitialize();
        server_.reset();
        InventoryTest::TearDown();
    }

    // The requests the server received since the client announced itself.
    std::vector<std::string> Requests() const {
        std::vector<std::string> lines = server_->JournalLines();
        lines.erase(lines.begin());
        return lines;
    }

    std::unique_ptr<SwitchdProcess> server_;
    HRESULT com_ = E_FAIL;
};

std::string Request(const char* op, const char* ext, const char* object = "0x0003",
                    const char* cabinet = "0x0007") {
    return std::string("CmdRequest opcode=") + op + " ext=" + ext + " object=" + object +
           " cabinet=" + cabinet + " status=0x16 timeout=0 data=";
}

TEST_F(SwitchInfoTest, GetSwitchValueAsksWhatTheTableValueSays) {
    struct Case {
        const char* key;
        DWORD op_code;
        BOOL result;
        std::string text;
        std::string request;  // "" when nothing may be asked
    };
    const Case cases[] = {
        {"Item", 0x0600, TRUE, "Arvex", Request("0x0600", "0x0012")},
        // Without an OpCode the item code is the operation itself.
        {"Item", 0, TRUE, "Item only", Request("0x0012", "0x0000")},
        {"Wide", 0x0600, TRUE, "Arvex", Request("0x0600", "0x0012")},
        {"Literal", 0x0600, FALSE, "Tarvo 7", ""},
        {"Missing", 0x0600, FALSE, "", ""},
        {"Unanswered", 0x0600, FALSE, "", Request("0x0600", "0x0099")},
        {"Exact", 0x0600, TRUE, kExactText, Request("0x0600", "0x0031")},
        {"Long", 0x0600, TRUE, kLongText.substr(0, kEntryTextSize - 1),
         Request("0x0600", "0x0030")},
        // Only one call, whatever the server says: busy, refused, success without data.
        {"Busy", 0x0600, FALSE, "", Request("0x0600", "0x0040")},
        {"Refused", 0x0600, FALSE, "", Request("0x0600", "0x0041")},
        {"Empty", 0x0600, FALSE, "", Request("0x0600", "0x0042")},
        {"OddOk", 0x0600, TRUE, "odd ok", Request("0x0600", "0x0043")},
        // The server could not reach its own source: no answer either.
        {"Undelivered", 0x0600, FALSE, "", Request("0x0600", "0x0044")},
    };
    CTransportFaults faults;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        const std::size_t asked = Requests().size();
        char text[kEntryTextSize] = "stale";
        EXPECT_EQ(agent_->GetSwitchValue("Values", c.key, text, sizeof(text), c.op_code, 3, 7),
                  c.result);
        EXPECT_EQ(std::string(text), c.text);
        if (c.request.empty()) {
            EXPECT_EQ(Requests().size(), asked);
            continue;
        }
        ASSERT_TRUE(server_->WaitForJournalLines(asked + 2));
        EXPECT_EQ(Requests().size(), asked + 1);
        EXPECT_EQ(Requests().back(), c.request);
    }
    EXPECT_EQ(TraceCount("\nCX_MIB SwitchRequest: CmdStat[0F] DatLen[0000]"), 1u);
    EXPECT_EQ(TraceCount("\nCX_MIB SwitchRequest: CmdStat[02] DatLen[0008]"), 1u);
    EXPECT_EQ(TraceCount("\nCX_MIB SwitchRequest: O.K. (len 6)"), 2u);  // "Arvex" twice
    EXPECT_EQ(faults.Count(), 1u);  // "not available" and refusals are answers
    // Only the text longer than the field is cut with a warning.
    EXPECT_EQ(TraceCount("WARNING!"), 1u);
    EXPECT_EQ(TraceCount("\nCX_MIB              : WARNING! String \"" + kLongText +
                         "\" (length 199) truncated to 128 charaters!"),
              1u);
}

// Sections it cannot serve are refused before anything is asked; the entry of one it can is
// filled, with defaults.
TEST_F(SwitchInfoTest, GetInfoBySwitchRefusesOrFillsTheEntryWithDefaults) {
    for (const std::string section :
         {"Info.NoOpCode", "Info.BySnmp", "Info.NoMethod", "Info.Unknown"}) {
        SCOPED_TRACE(section);
        ComponentEntry entry;
        std::strcpy(entry.Vendor, "left over");
        EXPECT_FALSE(agent_->GetInfoBySwitch(&entry, section.c_str(), 0, 7));
        EXPECT_EQ(entry.CompType, section == "Info.NoOpCode" ? 9u : 0u);
        EXPECT_STREQ(entry.Vendor, "");
    }
    EXPECT_EQ(TraceCount("\n   !!! NO OPCODE RECEIVED"), 1u);
    EXPECT_EQ(TraceCount("\n   !!! Invalid request type"), 3u);
    EXPECT_TRUE(Requests().empty());

    ComponentEntry entry;
    std::strcpy(entry.Language, "left over");
    ASSERT_TRUE(agent_->GetInfoBySwitch(&entry, "Info.Disk", 3, 7));
    EXPECT_EQ(entry.CompType, 17u);
    // " 1.0" starts with a blank: the version falls back.
    EXPECT_EQ(EntryTexts(entry), "Vendor Co|Disk 9|Fixed Number||N/A||SN-1||C-1");
    // The table's OpCode written in hexadecimal; the five items asked of object 3 in cabinet 7.
    ASSERT_TRUE(server_->WaitForJournalLines(6));
    EXPECT_EQ(Requests().size(), 5u);
    EXPECT_EQ(Requests().front(), Request("0x0C00", "0x2001"));

    // An object that SWITCH knows nothing about: Vendor and Version fall back, the rest empty.
    ASSERT_TRUE(agent_->GetInfoBySwitch(&entry, "Info.Disk", 4, 7));
    EXPECT_EQ(EntryTexts(entry), "N/A||Fixed Number||N/A||||");
}

TEST_F(SwitchInfoTest, TheServersOwnCabinetIsAskedByItsNumber) {
    agent_->ServerCabinetNr = 5;
    ComponentEntry entry;
    ASSERT_TRUE(agent_->GetInfoBySwitch(&entry, "Info.Disk", 0, 0xFFFFFFFF));
    EXPECT_STREQ(entry.ProdName, "Own cabinet");
    ASSERT_TRUE(server_->WaitForJournalLines(6));
    for (const std::string& line : Requests()) {
        EXPECT_NE(line.find(" cabinet=0x0005 "), std::string::npos) << line;
    }
    // Any other cabinet goes out as given, 0 included.
    CSwitchCommand command;
    command.SetRequest(0x0C00, 0x2002, 0, 0, CMD_STATUS_REQUEST);
    agent_->SwitchRequest(&command);
    ASSERT_TRUE(server_->WaitForJournalLines(7));
    EXPECT_EQ(Requests().back(), Request("0x0C00", "0x2002", "0x0000", "0x0000"));
}

// Without a server the command comes back undelivered; without a frame there is nothing to send.
TEST_F(InventoryTest, SwitchRequestReportsWhatCouldNotBeSent) {
    CTransportFaults faults;
    CSwitchCommand command;
    command.SetRequest(0x0C00, 0x2001, 0, 0xFFFFFFFF, CMD_STATUS_REQUEST);
    agent_->SwitchRequest(&command);
    EXPECT_EQ(command.GetHeader()->Status, CMD_STATUS_NOT_DELIVERED);
    CSwitchCommand empty;
    agent_->SwitchRequest(&empty);
    agent_->SwitchRequest(nullptr);
    EXPECT_EQ(TraceCount("\nCX_MIB SwitchRequest: CmdStat[06] DatLen[0000]"), 1u);
    EXPECT_EQ(TraceCount("\nCX_MIB SwitchRequest: CmdStat[17] DatLen[0000]"), 1u);
    EXPECT_EQ(faults.Count(), 2u);
}

constexpr const char* kRegion = "1.3.6.1.4.1.99999.7";

constexpr const char* kSnmpTable =
    "[Info.Ups]\r\nMethod=SNMP\r\nClass=42\r\nInfo.Vendor=.1.3.6.1.4.1.99999.7.1.1.0\r\n"
    "Info.ProdName=Literal Name\r\nInfo.ProdNumber=.1.3.6.1.4.1.99999.7.1.2.0\r\n"
    "Info.Version=.1.3.6.1.4.1.99999.7.1.20.0\r\nInfo.SerialNo=.1.3.6.1.4.1.99999.7.1.4.0\r\n"
    "Info.CompId=.1.3.6.1.4.1.99999.7.1.1.0\r\n"
    "[Values]\r\nVendor=.1.3.6.1.4.1.99999.7.1.1.0\r\nInteger=.1.3.6.1.4.1.99999.7.1.2.0\r\n"
    "Gauge=.1.3.6.1.4.1.99999.7.1.3.0\r\nCounter=.1.3.6.1.4.1.99999.7.1.4.0\r\n"
    "Ticks=.1.3.6.1.4.1.99999.7.1.5.0\r\nAddress=.1.3.6.1.4.1.99999.7.1.6.0\r\n"
    "Opaque=.1.3.6.1.4.1.99999.7.1.7.0\r\nObject=.1.3.6.1.4.1.99999.7.1.8.0\r\n"
    "Long=.1.3.6.1.4.1.99999.7.1.9.0\r\nBytes=.1.3.6.1.4.1.99999.7.1.10.0\r\n"
    "Garbage=.not.an.oid\r\nLiteral=Plain text\r\n";

class SnmpInfoTest : public InventoryTest {
  protected:
    // The agent asked: REPLAY_MIB serving Walk() in extagentd, after the SWITCH server it needs.
    void SetUp() override {
        InventoryTest::SetUp();
        WriteTableFile(kSnmpTable);
        switchd_ = std::make_unique<SwitchdProcess>(dir_);
        switchd_->RegisterClass();
        ASSERT_TRUE(switchd_->Start(kRightsScenario));
        // Row 1 of one column per value type; the vendor column has a second row.
        ASSERT_TRUE(StartReplayHost(host_, CX_EXTAGENTD_PATH, CX_REPLAY_AGENT_PATH, dir_,
                                    std::string(CX_TEST_DATA) + "/values.walk", kRegion))
            << DataFile("host.err");
        ASSERT_TRUE(manager_.OpenSession(nullptr, nullptr, 5000, 1));
    }
    void TearDown() override {
        if (host_ != nullptr) {
            host_->Signal(SIGTERM);
            host_->Wait(std::chrono::seconds(60));
        }
        // Under the sanitizers the host reports any fault of the agents it carried.
        const std::string errors = DataFile("host.err");
        for (const char* fault : {"ERROR: AddressSanitizer", "runtime error"})
            EXPECT_EQ(errors.find(fault), std::string::npos) << errors;
        switchd_.reset();
        InventoryTest::TearDown();
    }

    std::unique_ptr<SwitchdProcess> switchd_;
    std::unique_ptr<ChildProcess> host_;
    CSnmpMgr manager_;
};

TEST_F(SnmpInfoTest, GetSnmpValueAndGetInfoBySnmpReadTheRowOfTheColumn) {
    struct Case {
        const char* key;
        LONG index;
        std::string text;
    };
    // Row 9 does not exist; SNMP texts are cut silently.
    const std::string cut(kEntryTextSize - 1, 'L');  // of 200
    const Case cases[] = {{"Vendor", 1, "Tarvo"},     {"Vendor", 2, "Bolt"},
                          {"Vendor", 9, ""},          {"Integer", 1, "-7"},
                          {"Gauge", 1, "4294967295"}, {"Counter", 1, "31"},
                          {"Ticks", 1, "100"},        {"Address", 1, ""},
                          {"Opaque", 1, ""},          {"Object", 1, ""},
                          {"Long", 1, cut},           {"Bytes", 1, "ABC"},
                          {"Garbage", 1, ""},         {"Literal", 1, "Plain text"},
                          {"Missing", 1, ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " " + std::to_string(c.index));
        char text[kEntryTextSize] = "stale";
        agent_->GetSnmpValue(&manager_, "Values", c.key, text, sizeof(text), c.index);
        EXPECT_EQ(std::string(text), c.text);
    }
    EXPECT_EQ(TraceCount("\nCX_MIB CXInfo       : SNMP Request OID 1.3.6.1.4.1.99999.7.1.1.2"), 1u);
    EXPECT_EQ(TraceCount("\n   OID .1.3.6.1.4.1.99999.7.1.1.0"), 3u);
    EXPECT_EQ(TraceCount("\n  Oid .1.3.6.1.4.1.99999.7.1.1.0 not found !!!"), 1u);
    EXPECT_EQ(TraceCount("\n  Oid .not.an.oid not found !!!"), 1u);
    EXPECT_EQ(TraceCount("\n   Plain text"), 1u);
    EXPECT_EQ(TraceCount("WARNING!"), 0u);

    // A whole entry: no "N/A" for a version not found; CompId is never read by this method.
    ComponentEntry entry;
    std::strcpy(entry.CompId, "left over");
    agent_->GetInfoBySnmp(&entry, &manager_, "Info.Ups", 1);
    EXPECT_EQ(entry.CompType, 42u);
    EXPECT_EQ(EntryTexts(entry), "Tarvo|Literal Name|-7||||31||");
}

// A served root is found at once; any other is given up after ten attempts per try.
TEST_F(SnmpInfoTest, CheckMibFindsAServedRootAndGivesUpOnOthers) {
    EXPECT_TRUE(agent_->CheckMib(kRegion, 1));
    EXPECT_EQ(TraceCount("\nCX_MIB CheckMib     : Check for SNMP agent with root OID " +
                         std::string(kRegion) + "..."),
              1u);
    EXPECT_EQ(TraceCount("\n   MIB found"), 1u);
    EXPECT_EQ(TraceCount("wait for MIB"), 0u);
    EXPECT_EQ(TraceCount("\nCX_MIB CheckMib     : Access to OID " + std::string(kRegion) + " OK!"),
              1u);
    ScopedEnv fast("CX_TIME_SCALE", "1000");  // the agent's one-second pauses shortened
    for (WORD tries : {WORD{0}, WORD{2}}) {
        SCOPED_TRACE(tries);
        const std::size_t before = TraceCount("\n      wait for MIB (");
        EXPECT_FALSE(agent_->CheckMib(".1.3.6.1.4.1.99998", tries));
        EXPECT_EQ(TraceCount("\n      wait for MIB ("), before + tries * 10u);
    }
    EXPECT_EQ(TraceCount("\n      RequestOID .1.3.6.1.4.1.99998"), 20u);
    EXPECT_EQ(TraceCount("\n      wait for MIB (20)"), 1u);
    EXPECT_EQ(TraceCount("\nCX_MIB CheckMib     : Access to OID .1.3.6.1.4.1.99998 FAILED!"), 2u);
    EXPECT_EQ(TraceCount("ABORTED"), 0u);
}

// A flag raised while the agent waits ends the wait after the pause under way.
TEST_F(SnmpInfoTest, CheckMibStopsWaitingWhenShutdownOrAbortComes) {
    struct Case {
        const char* name;
        std::atomic<DWORD>* flag;
        const char* message;
    };
    const Case cases[] = {
        {"shutdown", &AgentShutdown, "\nCX_MIB CheckMib     : ABORTED (AgentShutdown)"},
        {"abort", &agent_->m_bAbortRequest, "\nCX_MIB CheckMib     : ABORTED (m_bAbortRequest)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t waits = TraceCount("\n      wait for MIB (");
        std::thread signaller([&] {
            WaitUntil([&] { return TraceCount("\n      wait for MIB (") > waits; });
            c.flag->store(1);
        });
        EXPECT_FALSE(agent_->CheckMib(".1.3.6.1.4.1.99998", 60));
        signaller.join();
        c.flag->store(0);
        EXPECT_LT(TraceCount("\n      wait for MIB ("), waits + 600);
        EXPECT_EQ(TraceCount(c.message), 1u);
    }
}

// Nothing is asked of an agent once shutdown or abort is signalled, with or without a session.
TEST_F(InventoryTest, CheckMibAsksNothingWhenAlreadyStopped) {
    AgentShutdown = 1;
    EXPECT_FALSE(agent_->CheckMib(".1.3.6.1.4.1.99999", 3));
    EXPECT_EQ(TraceCount("-> OpenSession"), 0u);
    AgentShutdown = 0;
    agent_->m_bAbortRequest = 1;  // the session is opened, nothing is asked
    EXPECT_FALSE(agent_->CheckMib(".1.3.6.1.4.1.99999", 3));
    EXPECT_EQ(TraceCount("RequestOID"), 0u);
    EXPECT_EQ(TraceCount("\nCX_MIB CheckMib     : ABORTED (AgentShutdown)"), 1u);
    EXPECT_EQ(TraceCount("\nCX_MIB CheckMib     : ABORTED (m_bAbortRequest)"), 1u);
    EXPECT_EQ(TraceCount("\nCX_MIB CheckMib     : Access to OID .1.3.6.1.4.1.99999 FAILED!"), 2u);
}

// Without a session only literal texts are filled in; what the caller had stays.
TEST_F(InventoryTest, GetSnmpValueWithoutSessionWritesOnlyLiterals) {
    WriteTableFile(kSnmpTable);
    CSnmpMgr closed;
    char text[kEntryTextSize] = "stale";
    agent_->GetSnmpValue(&closed, "Values", "Vendor", text, sizeof(text), 1);
    EXPECT_STREQ(text, "stale");
    agent_->GetSnmpValue(nullptr, "Values", "Vendor", text, sizeof(text), 1);
    EXPECT_STREQ(text, "stale");
    agent_->GetSnmpValue(&closed, "Values", "Literal", text, sizeof(text), 1);
    EXPECT_STREQ(text, "Plain text");
    EXPECT_EQ(TraceCount("SNMP Request OID"), 0u);
}

constexpr const char* kAgentsKey =
    "SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters\\ExtensionAgents";
constexpr int kPathLimit = 260;

class CheckAgentTest : public InventoryTest {
  protected:
    void SetUp() override {
        InventoryTest::SetUp();
        WriteDataFile("agent.so", "library");
    }

    ScopedEnv dir_env_{"CX_REQUESTS_DIR", dir_.Path()};
    ScopedEnv long_env_{"CX_REQUESTS_LONG", std::string(kPathLimit + 40, 'x')};
    ScopedEnv at_limit_{"CX_REQUESTS_AT_LIMIT", ""};
    ScopedEnv over_limit_{"CX_REQUESTS_OVER_LIMIT", ""};

    // The agent registered under its own key, whose Pathname is `library` (none when empty).
    void Register(const std::string& name, const std::string& library) {
        const std::string key = "SOFTWARE\\Test\\" + name;
        SetRegString(kAgentsKey, name.c_str(), key);
        if (!library.empty()) SetRegString(key.c_str(), "Pathname", library);
        SetRegString(key.c_str(), "Other", "value");
    }

    // A file in the data root whose full path is `length` characters long, named by `variable`.
    void FileWithPathLength(const ScopedEnv& variable, std::size_t length) {
        const std::string name(length - dir_.Path().size() - 1, 'n');
        WriteDataFile(name, "library");
        variable.Set(DataPath(name));
    }
};

TEST_F(CheckAgentTest, AgentCountsAsThereOnlyWhenItsLibraryOpens) {
    EXPECT_FALSE(agent_->CheckAgent("EARLY_MIB"));  // before any: no services list at all
    EXPECT_FALSE(agent_->CheckAgent(nullptr));
    EXPECT_EQ(TraceCount("\nCXMIB  check agents : EARLY_MIB-Agent NOT found"), 1u);
    Register("PRESENT_MIB", DataPath("agent.so"));
    Register("NO_PATHNAME_MIB", "");
    Register("NO_FILE_MIB", DataPath("missing.so"));
    Register("EXPANDED_MIB", "%CX_REQUESTS_DIR%/agent.so");
    Register("OVERLONG_MIB", "%CX_REQUESTS_LONG%");
    FileWithPathLength(at_limit_, kPathLimit);
    Register("AT_LIMIT_MIB", "%CX_REQUESTS_AT_LIMIT%");
    FileWithPathLength(over_limit_, kPathLimit + 1);
    Register("OVER_LIMIT_MIB", "%CX_REQUESTS_OVER_LIMIT%");
    SetRegString(kAgentsKey, "NO_KEY_MIB", "SOFTWARE\\Test\\Nowhere");

    struct Case {
        const char* name;
        BOOL found;
        const char* detail;  // a step the check must have traced, or ""
    };
    const Case cases[] = {
        {"PRESENT_MIB", TRUE, "\nCXMIB  check agents : RegPath SOFTWARE\\Test\\PRESENT_MIB"},
        {"UNREGISTERED_MIB", FALSE, ""},
        {"NO_KEY_MIB", FALSE, "\nCXMIB  check agents : Try 64/32 path"},
        {"NO_PATHNAME_MIB", FALSE, ""},
        {"NO_FILE_MIB", FALSE, "\nCXMIB  check agents : Invalid Handle"},
        {"EXPANDED_MIB", TRUE, "\nCXMIB  check agents : expand DLLPath"},
        {"OVERLONG_MIB", FALSE, "\nCXMIB  check agents : expanded DLLPath too long"},
        {"AT_LIMIT_MIB", TRUE, ""},
        {"OVER_LIMIT_MIB", FALSE, "\nCXMIB  check agents : expanded DLLPath too long"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string detail = c.detail;
        const std::size_t details = detail.empty() ? 0 : TraceCount(detail);
        EXPECT_EQ(agent_->CheckAgent(c.name), c.found);
        EXPECT_EQ(TraceCount("\nCXMIB               : check " + std::string(c.name) + "-Agent"),
                  1u);
        EXPECT_EQ(TraceCount("\nCXMIB  check agents : " + std::string(c.name) + "-Agent " +
                             (c.found ? "" : "NOT ") + "found"),
                  1u);
        if (!detail.empty()) {
            EXPECT_EQ(TraceCount(detail), details + 1);
        }
    }
    EXPECT_EQ(TraceCount("\nCXMIB  check agents : DLLPath " + DataPath("agent.so")), 1u);
}

}  // namespace
}  // namespace cx::test
