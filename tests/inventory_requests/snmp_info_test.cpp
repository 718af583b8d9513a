// Component texts read from another agent over SNMP, and the wait for another agent's MIB,
// against extagentd serving a walk through REPLAY_MIB.
#include <cstring>
#include <string>
#include <thread>

#include "framework/agent_globals.h"
#include "inventory_fixture.h"
#include "platform/timing.h"
#include "replay_host.h"
#include "scoped_env.h"

namespace cx::test {
namespace {

constexpr const char* kRegion = "1.3.6.1.4.1.99999.7";
const std::string kLongText(200, 'L');

// Row 1 of one column per value type; the vendor column has a second row.
std::string Walk() {
    return ".1.3.6.1.4.1.99999.7.1.1.1 = STRING: \"Acme\"\n"
           ".1.3.6.1.4.1.99999.7.1.1.2 = STRING: \"Bolt\"\n"
           ".1.3.6.1.4.1.99999.7.1.2.1 = INTEGER: -7\n"
           ".1.3.6.1.4.1.99999.7.1.3.1 = Gauge32: 4294967295\n"
           ".1.3.6.1.4.1.99999.7.1.4.1 = Counter32: 31\n"
           ".1.3.6.1.4.1.99999.7.1.5.1 = Timeticks: (100) 0:00:01.00\n"
           ".1.3.6.1.4.1.99999.7.1.6.1 = IpAddress: 10.0.0.1\n"
           ".1.3.6.1.4.1.99999.7.1.7.1 = Opaque: Float: 1.500000\n"
           ".1.3.6.1.4.1.99999.7.1.8.1 = OID: .1.3.6.1.4.1\n"
           ".1.3.6.1.4.1.99999.7.1.9.1 = STRING: \"" +
           kLongText +
           "\"\n"
           ".1.3.6.1.4.1.99999.7.1.10.1 = Hex-STRING: 41 42 43 \n";
}

constexpr const char* kTable =
    "[Info.Ups]\r\n"
    "Method=SNMP\r\n"
    "Class=42\r\n"
    "Info.Vendor=.1.3.6.1.4.1.99999.7.1.1.0\r\n"
    "Info.ProdName=Literal Name\r\n"
    "Info.ProdNumber=.1.3.6.1.4.1.99999.7.1.2.0\r\n"
    "Info.Version=.1.3.6.1.4.1.99999.7.1.20.0\r\n"
    "Info.SerialNo=.1.3.6.1.4.1.99999.7.1.4.0\r\n"
    "Info.CompId=.1.3.6.1.4.1.99999.7.1.1.0\r\n"
    "[Values]\r\n"
    "Vendor=.1.3.6.1.4.1.99999.7.1.1.0\r\n"
    "Integer=.1.3.6.1.4.1.99999.7.1.2.0\r\n"
    "Gauge=.1.3.6.1.4.1.99999.7.1.3.0\r\n"
    "Counter=.1.3.6.1.4.1.99999.7.1.4.0\r\n"
    "Ticks=.1.3.6.1.4.1.99999.7.1.5.0\r\n"
    "Address=.1.3.6.1.4.1.99999.7.1.6.0\r\n"
    "Opaque=.1.3.6.1.4.1.99999.7.1.7.0\r\n"
    "Object=.1.3.6.1.4.1.99999.7.1.8.0\r\n"
    "Long=.1.3.6.1.4.1.99999.7.1.9.0\r\n"
    "Bytes=.1.3.6.1.4.1.99999.7.1.10.0\r\n"
    "Garbage=.not.an.oid\r\n"
    "Literal=Plain text\r\n";

class SnmpInfoTest : public InventoryTest {
  protected:
    void SetUp() override {
        InventoryTest::SetUp();
        WriteTableFile(kTable);
        ASSERT_TRUE(host_.Start(Walk(), kRegion)) << host_.Errors();
        ASSERT_TRUE(manager_.OpenSession(nullptr, nullptr, 5000, 1));
    }
    void TearDown() override {
        host_.Stop();
        // Under the sanitizers the host reports any fault of the agents it carried.
        const std::string errors = host_.Errors();
        EXPECT_EQ(errors.find("ERROR: AddressSanitizer"), std::string::npos) << errors;
        EXPECT_EQ(errors.find("runtime error"), std::string::npos) << errors;
        InventoryTest::TearDown();
    }

    ReplayHost host_{dir_};
    CSnmpMgr manager_;
};

TEST_F(SnmpInfoTest, GetSnmpValueReadsTheRowOfTheColumn) {
    struct Case {
        const char* key;
        LONG index;
        std::string text;
    };
    const Case cases[] = {
        {"Vendor", 1, "Acme"},
        {"Vendor", 2, "Bolt"},
        {"Vendor", 9, ""},  // no such row
        {"Integer", 1, "-7"},
        {"Gauge", 1, "4294967295"},
        {"Counter", 1, "31"},
        {"Ticks", 1, "100"},
        {"Address", 1, ""},
        {"Opaque", 1, ""},
        {"Object", 1, ""},
        {"Long", 1, kLongText.substr(0, kEntryTextSize - 1)},
        {"Bytes", 1, "ABC"},
        {"Garbage", 1, ""},
        {"Literal", 1, "Plain text"},
        {"Missing", 1, ""},
    };
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
    EXPECT_EQ(TraceCount("WARNING!"), 0u);  // SNMP texts are cut silently
}

TEST_F(SnmpInfoTest, GetInfoBySnmpFillsTheEntryWithoutDefaults) {
    ComponentEntry entry;
    std::strcpy(entry.CompId, "left over");
    agent_->GetInfoBySnmp(&entry, &manager_, "Info.Ups", 1);
    EXPECT_EQ(entry.CompType, 42u);
    EXPECT_STREQ(entry.Vendor, "Acme");
    EXPECT_STREQ(entry.ProdName, "Literal Name");
    EXPECT_STREQ(entry.ProdNumber, "-7");
    EXPECT_STREQ(entry.Version, "");  // not found, and no "N/A" here
    EXPECT_STREQ(entry.SerialNo, "31");
    EXPECT_STREQ(entry.CompId, "");  // never read by this method
}

TEST_F(SnmpInfoTest, CheckMibFindsAServedRootAtOnce) {
    EXPECT_TRUE(agent_->CheckMib(kRegion, 1));
    EXPECT_EQ(TraceCount("\nCX_MIB CheckMib     : Check for SNMP agent with root OID " +
                         std::string(kRegion) + "..."),
              1u);
    EXPECT_EQ(TraceCount("\n   MIB found"), 1u);
    EXPECT_EQ(TraceCount("wait for MIB"), 0u);
    EXPECT_EQ(TraceCount("\nCX_MIB CheckMib     : Access to OID " + std::string(kRegion) + " OK!"),
              1u);
}

TEST_F(SnmpInfoTest, CheckMibGivesUpAfterTenAttemptsPerTry) {
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
    EXPECT_EQ(TraceCount("\nCX_MIB CheckMib     : ABORTED (AgentShutdown)"), 1u);
    AgentShutdown = 0;
    agent_->m_bAbortRequest = 1;
    EXPECT_FALSE(agent_->CheckMib(".1.3.6.1.4.1.99999", 3));
    EXPECT_EQ(TraceCount("RequestOID"), 0u);
    EXPECT_EQ(TraceCount("\nCX_MIB CheckMib     : ABORTED (m_bAbortRequest)"), 1u);
    EXPECT_EQ(TraceCount("\nCX_MIB CheckMib     : Access to OID .1.3.6.1.4.1.99999 FAILED!"), 2u);
}

// Without a session only literal texts are filled in; what the caller had stays.
TEST_F(InventoryTest, GetSnmpValueWithoutSessionWritesOnlyLiterals) {
    WriteTableFile(kTable);
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

}  // namespace
}  // namespace cx::test
