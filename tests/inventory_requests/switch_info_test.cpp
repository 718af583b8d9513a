// Component texts from SWITCH as the request table prescribes, against a real cx-switchd:
// literal values and item codes, the OpCode forms, the "N/A" defaults, long texts, failing and
// busy answers, and the server's own cabinet replaced by its number.
#include <cstring>
#include <string>
#include <vector>

#include "inventory_fixture.h"
#include "platform/objbase.h"
#include "switchd_process.h"

namespace cx::test {
namespace {

constexpr const char* kTable =
    "[Info.Disk]\r\n"
    "Method=SWITCH\r\n"
    "Class=17\r\n"
    "OpCode=0x0C00\r\n"
    "Info.Vendor=0x2001\r\n"
    "Info.ProdName=0x2002\r\n"
    "Info.ProdNumber=Fixed Number\r\n"
    "Info.Version=0x2005\r\n"
    "Info.SerialNo=0x2007\r\n"
    "Info.CompId=0x2009\r\n"
    "[Info.NoOpCode]\r\n"
    "Method=SWITCH\r\n"
    "Class=9\r\n"
    "Info.Vendor=0x2001\r\n"
    "[Info.BySnmp]\r\n"
    "Method=SNMP\r\n"
    "Info.Vendor=.1.3.6.1.2.1.1.1.0\r\n"
    "[Info.NoMethod]\r\n"
    "OpCode=3072\r\n"
    "[Values]\r\n"
    "Item=0x0012\r\n"
    "Wide=0x10012\r\n"
    "Literal=Acme 7\r\n"
    "Unanswered=0x0099\r\n"
    "Long=0x0030\r\n"
    "Exact=0x0031\r\n"
    "Busy=0x0040\r\n"
    "Refused=0x0041\r\n"
    "Empty=0x0042\r\n"
    "OddOk=0x0043\r\n";

const std::string kLongText(199, 'L');
const std::string kExactText(127, 'E');

// Object 3 of cabinet 7, and the server's cabinet 5 where the request names its own (0xFFFF...).
std::string Scenario() {
    return "reply 0x0C00 0x2001 3 7 : text \"Vendor Co\"\n"
           "reply 0x0C00 0x2002 3 7 : text \"Disk 9\"\n"
           "reply 0x0C00 0x2005 3 7 : text \" 1.0\"\n"
           "reply 0x0C00 0x2007 3 7 : text \"SN-1\"\n"
           "reply 0x0C00 0x2009 3 7 : text \"C-1\"\n"
           "reply 0x0C00 0x2002 0 5 : text \"Own cabinet\"\n"
           "reply 0x0600 0x0012 3 7 : text \"Arvex\"\n"
           "reply 0x0012 0 3 7 : text \"Item only\"\n"
           "reply 0x0600 0x0030 3 7 : text \"" +
           kLongText +
           "\"\n"
           "reply 0x0600 0x0031 3 7 : text \"" +
           kExactText +
           "\"\n"
           "reply 0x0600 0x0040 3 7 : status 0x0F\n"
           "reply 0x0600 0x0040 3 7 : text \"too late\"\n"
           "reply 0x0600 0x0041 3 7 : status 0x02 text \"refused\"\n"
           "reply 0x0600 0x0042 3 7 : status 0\n"
           "reply 0x0600 0x0043 3 7 : status 0x15 text \"odd ok\"\n";
}

class SwitchInfoTest : public InventoryTest {
  protected:
    void SetUp() override {
        InventoryTest::SetUp();
        WriteTableFile(kTable);
        server_ = std::make_unique<SwitchdProcess>(dir_);
        server_->RegisterClass();
        ASSERT_TRUE(server_->Start(Scenario()));
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

std::string Request(const char* op, const char* ext, const char* object, const char* cabinet) {
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
        {"Item", 0x0600, TRUE, "Arvex", Request("0x0600", "0x0012", "0x0003", "0x0007")},
        // Without an OpCode the item code is the operation itself.
        {"Item", 0, TRUE, "Item only", Request("0x0012", "0x0000", "0x0003", "0x0007")},
        {"Wide", 0x0600, TRUE, "Arvex", Request("0x0600", "0x0012", "0x0003", "0x0007")},
        {"Literal", 0x0600, FALSE, "Acme 7", ""},
        {"Missing", 0x0600, FALSE, "", ""},
        {"Unanswered", 0x0600, FALSE, "", Request("0x0600", "0x0099", "0x0003", "0x0007")},
        {"Exact", 0x0600, TRUE, kExactText, Request("0x0600", "0x0031", "0x0003", "0x0007")},
        // Only one call, whatever the server says: busy, refused, success without data.
        {"Busy", 0x0600, FALSE, "", Request("0x0600", "0x0040", "0x0003", "0x0007")},
        {"Refused", 0x0600, FALSE, "", Request("0x0600", "0x0041", "0x0003", "0x0007")},
        {"Empty", 0x0600, FALSE, "", Request("0x0600", "0x0042", "0x0003", "0x0007")},
        {"OddOk", 0x0600, TRUE, "odd ok", Request("0x0600", "0x0043", "0x0003", "0x0007")},
    };
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
    EXPECT_EQ(TraceCount("WARNING!"), 0u);
}

TEST_F(SwitchInfoTest, LongTextIsCutToTheFieldWithAWarning) {
    char text[kEntryTextSize] = {};
    EXPECT_TRUE(agent_->GetSwitchValue("Values", "Long", text, sizeof(text), 0x0600, 3, 7));
    EXPECT_EQ(std::string(text), kLongText.substr(0, kEntryTextSize - 1));
    EXPECT_EQ(TraceCount("\nCX_MIB              : WARNING! String \"" + kLongText +
                         "\" (length 199) truncated to 128 charaters!"),
              1u);
}

TEST_F(SwitchInfoTest, GetInfoBySwitchFillsTheEntryWithDefaults) {
    ComponentEntry entry;
    std::strcpy(entry.Language, "left over");
    ASSERT_TRUE(agent_->GetInfoBySwitch(&entry, "Info.Disk", 3, 7));
    EXPECT_EQ(entry.CompType, 17u);
    EXPECT_STREQ(entry.Vendor, "Vendor Co");
    EXPECT_STREQ(entry.ProdName, "Disk 9");
    EXPECT_STREQ(entry.ProdNumber, "Fixed Number");
    EXPECT_STREQ(entry.ProdDescript, "");
    EXPECT_STREQ(entry.Version, "N/A");  // " 1.0" starts with a blank
    EXPECT_STREQ(entry.ManuDate, "");
    EXPECT_STREQ(entry.SerialNo, "SN-1");
    EXPECT_STREQ(entry.Language, "");
    EXPECT_STREQ(entry.CompId, "C-1");
    // The table's OpCode written in hexadecimal; the five items asked of object 3 in cabinet 7.
    ASSERT_TRUE(server_->WaitForJournalLines(6));
    EXPECT_EQ(Requests().size(), 5u);
    EXPECT_EQ(Requests().front(), Request("0x0C00", "0x2001", "0x0003", "0x0007"));

    // An object that SWITCH knows nothing about: Vendor and Version fall back, the rest empty.
    ASSERT_TRUE(agent_->GetInfoBySwitch(&entry, "Info.Disk", 4, 7));
    EXPECT_STREQ(entry.Vendor, "N/A");
    EXPECT_STREQ(entry.Version, "N/A");
    EXPECT_STREQ(entry.ProdName, "");
    EXPECT_STREQ(entry.ProdNumber, "Fixed Number");
}

TEST_F(SwitchInfoTest, GetInfoBySwitchRefusesSectionsItCannotServe) {
    struct Case {
        const char* section;
        DWORD comp_type;
        const char* message;
    };
    const Case cases[] = {
        {"Info.NoOpCode", 9, "\n   !!! NO OPCODE RECEIVED"},
        {"Info.BySnmp", 0, "\n   !!! Invalid request type"},
        {"Info.NoMethod", 0, "\n   !!! Invalid request type"},
        {"Info.Unknown", 0, "\n   !!! Invalid request type"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.section);
        const std::size_t before = TraceCount(c.message);
        ComponentEntry entry;
        std::strcpy(entry.Vendor, "left over");
        EXPECT_FALSE(agent_->GetInfoBySwitch(&entry, c.section, 0, 7));
        EXPECT_EQ(entry.CompType, c.comp_type);
        EXPECT_STREQ(entry.Vendor, "");
        EXPECT_EQ(TraceCount(c.message), before + 1);
    }
    EXPECT_TRUE(Requests().empty());
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
    CSwitchCommand command;
    command.SetRequest(0x0C00, 0x2001, 0, 0xFFFFFFFF, CMD_STATUS_REQUEST);
    agent_->SwitchRequest(&command);
    EXPECT_EQ(command.GetHeader()->Status, CMD_STATUS_NOT_DELIVERED);
    CSwitchCommand empty;
    agent_->SwitchRequest(&empty);
    agent_->SwitchRequest(nullptr);
    EXPECT_EQ(TraceCount("\nCX_MIB SwitchRequest: CmdStat[06] DatLen[0000]"), 1u);
    EXPECT_EQ(TraceCount("\nCX_MIB SwitchRequest: CmdStat[17] DatLen[0000]"), 1u);
}

}  // namespace
}  // namespace cx::test
