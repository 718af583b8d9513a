// The cabinet collector's fixture: the in-process agent attached to a cx-switchd of the test's
// own, the delivered table file, and the computer's name in the registry.
#pragma once

#include <string>

#include "collector_fixture.h"
#include "registry_values.h"
#include "text_rows.h"

namespace cx::test {

// A server with one cabinet (number 1) named by SWITCH, and its chassis; everything else
// unanswered.
inline const char* const kOneCabinet =
    "reply 0xE204 0 0 0 : word 1\n"
    "reply 0x0C00 0x2002 0 1 : text \"Arden T40 Tower\"\n"
    "reply 0x0C00 0x2102 0 1 : text \"Arden T40 Chassis\"\n";

inline const char* const kComputerName =
    "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ActiveComputerName";

class CabinetTest : public CollectorTest {
  protected:
    void SetUp() override {
        CollectorTest::SetUp();
        SetRegString(kComputerName, "ComputerName", "TESTHOST");
    }

    // Starts cx-switchd with `scenario` (and `extra` arguments) and writes the delivered table
    // file, with the SNMP UPS sections switched off unless `snmp_ups`.
    void Start(const std::string& scenario, bool snmp_ups = false,
               const std::vector<std::string>& extra = {}) {
        std::string text = ReadFile(CX_TABLE_FILE);
        for (std::size_t at = text.find("Method=SNMP"); !snmp_ups && at != std::string::npos;
             at = text.find("Method=SNMP", at))
            text.replace(at, 11, "Method=NONE");
        WriteTableFile(text);
        StartSwitch(scenario, false, extra);
    }

    // Checks the rows of a data file's case on the actual file and the agent:
    //   field|ProdName|field|value   a field of the component
    //   row|ProdName                 the component is there; absent|ProdName: it is not
    //   object|name|ProdName         the firmware object belongs to the component ("": to one)
    //   no-object|name               there is no such firmware object
    //   count|CompType|n             the components of that type
    //   trace|text                   the trace has the text
    //   mgmt|ProdName, rsb|ProdName  the management controller and service board the agent keeps
    //   actual|section|key|value     any value of the actual file
    //   container|kind|n|name|parent|type   physical or functional container n
    //   subsystem|n|m                the subsystem and base board containers the agent keeps
    //   cabinet|before|after         the server cabinet number after the run (the test sets the
    //                                one before)
    void Expect(const std::vector<DataRow>& expected) {
        for (const DataRow& e : expected) {
            SCOPED_TRACE(e[0] + " " + (e.size() > 1 ? e[1] : ""));
            const std::string& kind = e[0];
            if (kind == "field") {
                ASSERT_NE(Row(e[1]), 0u);
                EXPECT_EQ(Field(Row(e[1]), e[2]), e[3]) << e[2];
            } else if (kind == "row" || kind == "absent") {
                EXPECT_EQ(Row(e[1]) != 0, kind == "row");
            } else if (kind == "object") {
                EXPECT_NE(ObjectComponent(e[1]), 0u);
                if (!e[2].empty()) {
                    EXPECT_EQ(ObjectComponent(e[1]), Row(e[2]));
                }
            } else if (kind == "no-object") {
                EXPECT_EQ(ObjectComponent(e[1]), 0u);
            } else if (kind == "count") {
                EXPECT_EQ(Count("CompType", e[1]), std::stoul(e[2]));
            } else if (kind == "trace") {
                EXPECT_GT(TraceCount(e[1]), 0u);
            } else if (kind == "mgmt" || kind == "rsb") {
                EXPECT_NE(Row(e[1]), 0u);
                EXPECT_EQ(kind == "mgmt" ? agent_->MgmtCompNr : agent_->RsbCompNr, Row(e[1]));
            } else if (kind == "actual") {
                EXPECT_EQ(Actual(e[1], e[2]), e[3]);
            } else if (kind == "container") {
                const std::string section = e[1] + " Container", n = "." + e[2];
                EXPECT_EQ(Actual(section, "Name" + n) + "|" + Actual(section, "Parent" + n) + "|" +
                              Actual(section, "Type" + n),
                          e[3] + "|" + e[4] + "|" + e[5]);
            } else if (kind == "subsystem") {
                EXPECT_EQ(agent_->SubsystemContainerNr, std::stoul(e[1]));
                EXPECT_EQ(agent_->BaseBoardContainerNr, std::stoul(e[2]));
            } else if (kind == "cabinet") {
                EXPECT_EQ(agent_->ServerCabinetNr, std::stoul(e[2]));
            } else if (kind != "no-computer-name") {
                ADD_FAILURE() << "unknown line";
            }
        }
    }
};

}  // namespace cx::test
