// The cabinet collector's fixture: the in-process agent attached to a cx-switchd of the test's
// own, the delivered table file, and readers for the actual file's rows.
#pragma once

#include <memory>
#include <string>

#include "inventory_fixture.h"
#include "switchd_process.h"

namespace cx::test {

// One SWITCH text of the table's item scheme: OpCode 0x0C00, OpCodeExt `item`.
std::string TextLine(unsigned item, unsigned object, unsigned cabinet, const std::string& text);

// A server with one cabinet (number 1) named by SWITCH, and its chassis; everything else
// unanswered.
extern const char* const kOneCabinet;

class CabinetTest : public InventoryTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Starts cx-switchd with `scenario`, writes the delivered table file (with the SNMP UPS
    // sections switched off unless `snmp_ups`) and attaches the agent's SWITCH client.
    void Start(const std::string& scenario, bool snmp_ups = false);
    void RunCollector();

    std::string Actual(const std::string& section, const std::string& key);
    // The row of the component named `prod_name` (0 when there is none), one of its fields.
    unsigned Row(const std::string& prod_name);
    std::string Field(unsigned row, const std::string& field);
    unsigned CountOfType(unsigned type);
    // The component index of the firmware object `name`, or 0 when there is none.
    unsigned ObjectComponent(const std::string& name);

    std::unique_ptr<SwitchdProcess> switchd_;
    bool com_ = false;
};

}  // namespace cx::test
