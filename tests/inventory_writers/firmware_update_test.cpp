// Firmware-update rows: the count rewritten in place, names and defaults, the update state
// carried over by name from the saved file, and CompIndex 0 meaning the last component.
#include <gtest/gtest.h>

#include "ini_text.h"
#include "inventory_fixture.h"

namespace cx::test {
namespace {

using FirmwareUpdateTest = InventoryTest;

TEST_F(FirmwareUpdateTest, StatesFollowTheirNamesFromTheSavedFile) {
    WriteDataFile(
        "Catalix.sav",
        IniText({"[Firmware Update]", "NrUpdObjects=4", "ObjectName.1=Other", "UpdateState.1=5",
                 "ObjectName.4=BIOS Flash", "UpdateState.4=3", "ObjectName.07x=Trap",
                 "UpdateState.07x=9", "ObjectName.0=Trap", "UpdateState.0=9", "UpdateState.-1=8"}));
    WriteTableFile("");
    for (int i = 0; i < 7; ++i) {
        ComponentEntry entry(1);
        agent_->InsertComponent(&entry);
    }
    FwUpdateObject bios("bios FLASH");  // names match without regard to case
    bios.UpdateState = 6;               // whatever the collector thought, the file decides
    CopyEntryText(bios.ObjectParent, "System Board");
    CopyEntryText(bios.ObjectPath, "/dev/flash");
    agent_->InsertFwUpdateObject(&bios);
    FwUpdateObject trap("Trap");  // only malformed rows carry this name
    trap.CompIndex = 2;
    agent_->InsertFwUpdateObject(&trap);
    FwUpdateObject unnamed;
    agent_->InsertFwUpdateObject(&unnamed);

    EXPECT_EQ(
        IniSection(DataFile("Catalix.act"), "Firmware Update"),
        IniText({"[Firmware Update]", "NrUpdObjects=3", "ObjectName.1=bios FLASH",
                 "ObjectParent.1=System Board", "ObjectPath.1=/dev/flash", "UpdateState.1=3",
                 "CompIndex.1=7", "ObjectName.2=Trap", "ObjectParent.2=N/A", "ObjectPath.2=N/A",
                 "UpdateState.2=0", "CompIndex.2=2", "ObjectName.3=FwObj3", "ObjectParent.3=N/A",
                 "ObjectPath.3=N/A", "UpdateState.3=0", "CompIndex.3=7"}));
    EXPECT_EQ(bios.UpdateState, 3);
    EXPECT_EQ(bios.CompIndex, 7);
    EXPECT_STREQ(unnamed.ObjectName, "FwObj3");
    EXPECT_EQ(TraceCount("\n   Init Firmware Update Object Table"), 1u);
    for (const char* line :
         {"\nCX_MIB              : Insert firmware update entry 1",
          "\nCX_MIB              :   Name      : bios FLASH",
          "\nCX_MIB              :   Parent    : System Board",
          "\nCX_MIB              :   Path      : /dev/flash",
          "\nCX_MIB              :   CompIndex : 7", "\nCX_MIB              :   State     : 3"}) {
        EXPECT_GE(TraceCount(line), 1u) << line;
    }
}

TEST_F(FirmwareUpdateTest, WithoutSavedFileEveryStateIsZeroAndCountingStartsAtOne) {
    FwUpdateObject first("Flash");
    first.UpdateState = 4;
    agent_->InsertFwUpdateObject(&first);
    FwUpdateObject second("Flash");
    agent_->InsertFwUpdateObject(&second);
    EXPECT_EQ(
        IniSection(DataFile("Catalix.act"), "Firmware Update"),
        IniText({"[Firmware Update]", "NrUpdObjects=2", "ObjectName.1=Flash", "ObjectParent.1=N/A",
                 "ObjectPath.1=N/A", "UpdateState.1=0", "CompIndex.1=0", "ObjectName.2=Flash",
                 "ObjectParent.2=N/A", "ObjectPath.2=N/A", "UpdateState.2=0", "CompIndex.2=0"}));
    EXPECT_FALSE(DataFileExists("Catalix.sav"));
}

}  // namespace
}  // namespace cx::test
