// An inventory agent in the test's own process: a registry file, a data root and a trace file
// of the test's own, and an agent whose profile files point into that data root as a scan's
// would. The SWITCH server, the SNMP service and the scan thread are not started.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "child_process.h"
#include "inventory/cx_agent.h"
#include "inventory_keys.h"
#include "registry_values.h"
#include "temp_dir.h"

namespace cx::test {

// A component's texts joined by "|": vendor, product name, number and description, version,
// manufacturing date, serial number, language and CompId.
std::string EntryTexts(const ComponentEntry& entry);

// An agent with the Catalix collectors, the module name and the roots the library's load gives it.
std::unique_ptr<CCX_Agent> MakeLoadedAgent(const std::string& data_root);

class InventoryTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Writes the table file ("CX_MIB.ini" in the data root) and points both table profiles at
    // it; the actual and saved files are pointed at their places in the data root.
    void WriteTableFile(const std::string& text);
    // The data root's file `name` as text ("" when missing), and writing one.
    std::string DataFile(const std::string& name) const;
    void WriteDataFile(const std::string& name, const std::string& text) const;
    bool DataFileExists(const std::string& name) const;
    std::string DataPath(const std::string& name) const { return dir_.File(name); }

    // The trace written so far, and how often `text` occurs in it.
    std::string TraceText() const;
    std::size_t TraceCount(const std::string& text) const;

    TempDir dir_;
    std::unique_ptr<CCX_Agent> agent_;
};

}  // namespace cx::test
