// The entity table of saved inventories: containment, classes, positions, revisions and dates,
// what is left out, indexes that survive a gap in the inventory, and hostile files (parents
// that are not earlier containers, a tampered index map).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <tuple>

#include "change_throttle.h"
#include "entity_table.h"
#include "index_map.h"
#include "inventory/inventory_sections.h"
#include "inventory/profile_file.h"
#include "inventory/saved_inventory.h"
#include "temp_dir.h"
#include "test_data.h"

namespace cx::entity {
namespace {

using inventory::SavedInventory;
using test::TempDir;

// A saved file as the inventory writes it: two cabinets in a computer, a few components.
const std::string kSaved = test::TestData("two_cabinets.sav");

// Each text in a file of its own: the profile functions cache a file by its size and time,
// which two texts written within one tick of the file system's clock may share.
SavedInventory Read(const TempDir& dir, const std::string& text) {
    static int files = 0;
    const std::string path = dir.File("Catalix" + std::to_string(++files) + ".sav");
    std::ofstream(path) << text;
    ProfileFile file;
    file.SetPath(path.c_str());
    file.Open(TRUE);
    return inventory::ReadSavedInventory(file);
}

TEST(EntityTable, ContainmentClassesPositionsAndColumnsOfASavedInventory) {
    TempDir dir;
    IndexMap indexes;
    const EntityTable table = BuildEntityTable(Read(dir, kSaved), indexes, 0);
    EXPECT_TRUE(table.problems.empty());
    // Three containers and five hardware components; the computer name and the OS stay out.
    ASSERT_EQ(table.rows.size(), 8u);
    struct Expected {
        std::int32_t index, contained_in, rel_pos;
        PhysicalClass physical_class;
        const char* name;
        const char* hardware_rev;
        const char* firmware_rev;
        const char* model;
        bool fru;
    };
    // Positions count the rows of one container and one class; the outermost row has -1.
    const Expected expected[] = {
        {1, 0, -1, PhysicalClass::kContainer, "CXSERVER", "", "", "", false},
        {2, 1, 1, PhysicalClass::kChassis, "Catalix CX2200", "", "", "", false},
        {3, 1, 2, PhysicalClass::kChassis, "Catalix SX40 Storage", "", "", "", false},
        {4, 2, 1, PhysicalClass::kCpu, "Cx64 Processor", "Stepping 4", "", "Cx64 Processor", true},
        {5, 2, 1, PhysicalClass::kModule, "DIMM 8 GB", "", "", "Q47120-M8", true},
        {6, 2, 2, PhysicalClass::kModule, "DIMM 8 GB", "", "", "Q47120-M8", true},
        {7, 2, 1, PhysicalClass::kOther, "System BIOS", "", "1.07", "System BIOS", true},
        {8, 3, 1, PhysicalClass::kStorageDrive, "Catalix D1", "", "", "Catalix D1", true},
    };
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const EntityRow& r = table.rows[i];
        const Expected& e = expected[i];
        EXPECT_EQ(std::tie(r.index, r.contained_in, r.parent_rel_pos, r.physical_class, r.name,
                           r.hardware_rev, r.firmware_rev, r.model_name, r.is_fru),
                  std::tie(e.index, e.contained_in, e.rel_pos, e.physical_class, e.name,
                           e.hardware_rev, e.firmware_rev, e.model, e.fru))
            << i;
    }
    EXPECT_EQ(table.rows[3].serial_num, "");  // "N/A" is the inventory's "unknown"
    EXPECT_EQ(table.rows[3].descr, "CPU 1");
    EXPECT_EQ(table.rows[4].mfg_date, std::string("\x07\xE8\x03\x0F\0\0\0\0", 8));
    EXPECT_EQ(table.rows[5].mfg_date, std::string(8, '\0'));
}

TEST(EntityTable, DateAndTimeOnlyFromAWellFormedDate) {
    EXPECT_EQ(DateAndTime("2006-10-20 08:57:39"), std::string("\x07\xD6\x0A\x14\x08\x39\x27\0", 8));
    for (const char* bad : {"", "2006-10-20 25:00:00", "2006-13-01", "0000-00-00 00:00:00",
                            "20061020", "2006-10-20 08:57", "2006/10/20", "2006-10-2x"})
        EXPECT_EQ(DateAndTime(bad), std::string(8, '\0')) << bad;
}

// The processor (index 4) over a run of inventories, each read after a restart from the index
// file: with it ('P'), without it ('-'), or none at all ('0': no saved file yet), each with the
// scan's "LastScan" and the hours since the first. Then it is back: the index it gets.
TEST(EntityTable, AnIndexOutlivesAGapOfLessThanThreeScansOrADay) {
    struct Step {
        char inventory;
        const char* scan;
        int hours;
    };
    struct Case {
        const char* gap;
        std::vector<Step> steps;
        std::int32_t index_when_back;
    };
    const Case cases[] = {
        {"one scan", {{'-', "B", 1}}, 4},
        {"three scans in a day", {{'-', "B", 1}, {'-', "C", 2}, {'-', "D", 3}}, 4},
        {"two scans in two days", {{'-', "B", 1}, {'-', "C", 48}}, 4},
        {"three scans over a day", {{'-', "B", 1}, {'-', "C", 2}, {'-', "D", 26}}, 9},
        {"no inventory for days", {{'0', "", 1}, {'0', "", 30}, {'0', "", 60}}, 4},
        {"one scan read after restarts", {{'-', "B", 1}, {'-', "B", 30}, {'-', "B", 60}}, 4},
        {"scans without a stamp", {{'-', "", 1}, {'-', "", 2}, {'-', "", 30}}, 9},
        {"back in between", {{'-', "B", 1}, {'-', "C", 2}, {'P', "D", 3}, {'-', "E", 40}}, 4},
    };
    TempDir dir;
    std::string without = kSaved;
    without.replace(without.find("CompType.2=10"), 13, "CompType.2=21");  // a computer name
    const std::string map = dir.File("ENTITY_MIB.idx");
    auto build = [&](char kind, const std::string& scan, int hours) {
        IndexMap indexes;
        indexes.Load(map, nullptr);
        SavedInventory inventory;
        if (kind != '0')
            inventory = Read(
                dir, (kind == 'P' ? kSaved : without) + "[Last Date]\nLastScan=" + scan + "\n");
        EntityTable table = BuildEntityTable(inventory, indexes, hours * 3600ll);
        EXPECT_TRUE(indexes.Save(map));
        return table.rows;
    };
    for (const Case& c : cases) {
        std::filesystem::remove(map);
        build('P', "A", 0);
        int hours = 0;
        for (const Step& step : c.steps)
            build(step.inventory, step.scan, hours = step.hours);
        const std::vector<EntityRow> back = build('P', "Z", hours + 1);
        ASSERT_EQ(back.size(), 8u) << c.gap;
        EXPECT_EQ(back[3].index, c.index_when_back) << c.gap;
        for (std::size_t i : {0, 1, 2, 4, 5, 6, 7})
            EXPECT_EQ(back[i].index, static_cast<std::int32_t>(i + 1)) << c.gap;
    }
}

// One rule for every reader of the file: a parent that is not an earlier container makes a
// root, reported, so no containment can loop; a missing container makes an outermost part.
TEST(EntityTable, ParentsThatAreNoEarlierContainersMakeRoots) {
    TempDir dir;
    const SavedInventory inventory =
        Read(dir,
             "[Physical Container]\nNrContainer=4\nType.1=1\nParent.1=3\nName.1=A\nType.2=1\n"
             "Parent.2=1\nName.2=B\nType.3=1\nParent.3=2\nName.3=C\nType.4=1\nParent.4=99\n"
             "Name.4=D\n[Component Table]\nNrComponents=2\nPhysCont.1=7\nCompType.1=10\n"
             "PhysCont.2=2\nCompType.2=7\n");
    IndexMap indexes;
    const EntityTable table = BuildEntityTable(inventory, indexes, 0);
    std::vector<std::pair<std::int32_t, std::int32_t>> placed;  // contained in, position
    for (const EntityRow& row : table.rows)
        placed.emplace_back(row.contained_in, row.parent_rel_pos);
    EXPECT_EQ(placed, (std::vector<std::pair<std::int32_t, std::int32_t>>{
                          {0, -1}, {1, 1}, {2, 1}, {0, -1}, {0, -1}, {2, 1}}));
    EXPECT_EQ(table.problems, (std::vector<std::string>{
                                  "[Physical Container] Parent.1=3: not an earlier container",
                                  "[Physical Container] Parent.4=99: not an earlier container",
                                  "[Component Table] PhysCont.1=7: no such container"}));
    EXPECT_EQ(inventory.ContainerPath(inventory::kPhysicalContainerSection, 3), "A/B/C");
}

TEST(EntityTable, ATamperedIndexMapLosesOnlyItsBadLines) {
    TempDir dir;
    std::ofstream(dir.File("map")) << "next 5\n3\tcontainer\\t/X\nbad line\n3\tcontainer\\t/Y\n"
                                   << "0\tcontainer\\t/Z\n12\tcontainer\\t/W\\q\n"
                                   << "7\tcontainer\\t/V\t0 5\n8\tcontainer\\t/U\t2 100\n"
                                   << std::string(5000, 'x') << "\nnext 2\n";
    IndexMap indexes;
    std::vector<std::string> problems;
    indexes.Load(dir.File("map"), &problems);
    EXPECT_EQ(problems.size(), 6u);
    EXPECT_EQ(indexes.size(), 2u);
    EXPECT_EQ(indexes.next(), 9);
    EXPECT_EQ(indexes.Assign({"container\t/Y", "container\t/X"}, "S", 100),
              (std::vector<std::int32_t>{9, 3}));
    // /U was missing from two scans: one more and a day later, and its index is retired.
    EXPECT_EQ(indexes.Text(),
              "next 10\nscan S\n8\tcontainer\\t/U\t3 100\n"
              "3\tcontainer\\t/X\n9\tcontainer\\t/Y\n");
    indexes.Assign({"container\t/X", "container\t/Y"}, "T", 100 + 24 * 3600);
    EXPECT_EQ(indexes.Text(), "next 10\nscan T\n3\tcontainer\\t/X\n9\tcontainer\\t/Y\n");
}

TEST(EntityTable, ChangeNotificationsAtMostOncePerInterval) {
    ChangeThrottle throttle(5000);
    EXPECT_TRUE(throttle.Changed(1000));
    EXPECT_FALSE(throttle.Changed(2000));  // waits for the interval
    EXPECT_FALSE(throttle.Changed(5999));
    EXPECT_TRUE(throttle.Due(6000));  // one for both changes
    EXPECT_FALSE(throttle.Due(20000));
    EXPECT_TRUE(throttle.Changed(0xFFFFFF00u));  // across the tick count's wrap
    EXPECT_FALSE(throttle.Changed(100));
    EXPECT_TRUE(throttle.Due(0xFFFFFF00u + 5000));
}

}  // namespace
}  // namespace cx::entity
