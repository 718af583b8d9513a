// The container trees the collector lays, for one and for three cabinets, and where each
// cabinet's and chassis' component lands.
#include <string>
#include <vector>

#include "cabinet_fixture.h"
#include "platform/winreg.h"

namespace cx::test {
namespace {

struct Container {
    std::string name;
    std::string parent;
    std::string type;
};

struct LayoutCase {
    const char* name;
    std::string cabinet_list;  // scenario lines of the cabinet-list request
    std::vector<unsigned> cabinets;
    std::vector<Container> physical;
    std::vector<Container> functional;
};

void PrintTo(const LayoutCase& c, std::ostream* out) { *out << c.name; }

std::string NamedCabinets(const std::vector<unsigned>& cabinets) {
    std::string lines = "reply 0xE204 0 0 0 : word 1\n";
    for (unsigned cabinet : cabinets) {
        lines += TextLine(0x2002, 0, cabinet, "Cabinet " + std::to_string(cabinet));
        lines += TextLine(0x2102, 0, cabinet, "Chassis " + std::to_string(cabinet));
    }
    return lines;
}

const LayoutCase kLayouts[] = {
    {"OneCabinet",
     "",
     {1},
     {{"TESTHOST", "0", "1"}, {"Cabinet 1", "1", "2"}},
     {{"TESTHOST", "0", "1"},
      {"Chassis 1", "1", "2"},
      {"SubsystemContainer", "1", "3"},
      {"BaseBoard", "3", "4"}}},
    {"ThreeCabinets",
     "reply 0x0220 0 0 1 : word 5 word 7\n",
     {1, 5, 7},
     {{"TESTHOST", "0", "1"},
      {"Cabinet 1", "1", "2"},
      {"Cabinet 5", "1", "3"},
      {"Cabinet 7", "1", "3"}},
     {{"TESTHOST", "0", "1"},
      {"Chassis 1", "1", "2"},
      {"Chassis 5", "1", "2"},
      {"Chassis 7", "1", "2"},
      {"SubsystemContainer", "1", "3"},
      {"BaseBoard", "5", "4"}}},
};

class LayoutTest : public CabinetTest, public ::testing::WithParamInterface<LayoutCase> {
  protected:
    void ExpectTree(const char* section, const std::vector<Container>& expected) {
        EXPECT_EQ(Actual(section, "NrContainer"), std::to_string(expected.size())) << section;
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const std::string n = std::to_string(i + 1);
            EXPECT_EQ(Actual(section, "Name." + n), expected[i].name) << section << " " << n;
            EXPECT_EQ(Actual(section, "Parent." + n), expected[i].parent) << section << " " << n;
            EXPECT_EQ(Actual(section, "Type." + n), expected[i].type) << section << " " << n;
        }
    }
};

TEST_P(LayoutTest, ContainersAndChassisPlaces) {
    const LayoutCase& c = GetParam();
    Start(NamedCabinets(c.cabinets) + c.cabinet_list);
    RunCollector();
    ExpectTree("Physical Container", c.physical);
    ExpectTree("Functional Container", c.functional);
    EXPECT_EQ(agent_->SubsystemContainerNr, c.functional.size() - 1);
    EXPECT_EQ(agent_->BaseBoardContainerNr, c.functional.size());

    // The computer's two names sit in its own containers.
    for (const char* description : {"Computer Name", "Full qualified DNS Name"}) {
        unsigned row = 0;
        for (unsigned n = 1; n <= 2; ++n) {
            if (Field(n, "ProdDescript") == description) row = n;
        }
        ASSERT_NE(row, 0u) << description;
        EXPECT_EQ(Field(row, "PhysCont"), "1");
        EXPECT_EQ(Field(row, "FuncCont"), "1");
        EXPECT_EQ(Field(row, "CompType"), "21");
        EXPECT_EQ(Field(row, "Vendor"), "TVC");
    }
    EXPECT_EQ(Field(1, "ProdName"), "TESTHOST");
    EXPECT_EQ(Field(2, "Version"), "DNS");

    // Cabinet i's physical container is i + 2, its chassis container i + 2 as well.
    for (std::size_t i = 0; i < c.cabinets.size(); ++i) {
        const std::string suffix = std::to_string(c.cabinets[i]);
        const std::string container = std::to_string(i + 2);
        const unsigned cabinet = Row("Cabinet " + suffix);
        ASSERT_NE(cabinet, 0u) << suffix;
        EXPECT_EQ(Field(cabinet, "PhysCont"), container) << suffix;
        EXPECT_EQ(Field(cabinet, "FuncCont"), "1") << suffix;
        EXPECT_EQ(Field(cabinet, "CompType"), "1") << suffix;
        const unsigned chassis = Row("Chassis " + suffix);
        ASSERT_NE(chassis, 0u) << suffix;
        EXPECT_EQ(Field(chassis, "PhysCont"), container) << suffix;
        EXPECT_EQ(Field(chassis, "FuncCont"), container) << suffix;
        EXPECT_EQ(Field(chassis, "CompType"), "2") << suffix;
    }
}

INSTANTIATE_TEST_SUITE_P(Cabinets, LayoutTest, ::testing::ValuesIn(kLayouts),
                         [](const auto& info) { return std::string(info.param.name); });

// Without the computer's name there is no root container: the cabinets and chassis become
// roots themselves instead of their own parents.
TEST_F(CabinetTest, WithoutComputerNameCabinetsAreRoots) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                            "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ActiveComputerName",
                            0, KEY_ALL_ACCESS, &key),
              ERROR_SUCCESS);
    RegDeleteValueA(key, "ComputerName");
    RegCloseKey(key);
    Start(kOneCabinet);
    RunCollector();
    EXPECT_EQ(Actual("Physical Container", "Name.1"), "Arden T40 Tower");
    EXPECT_EQ(Actual("Physical Container", "Parent.1"), "0");
    EXPECT_EQ(Actual("Functional Container", "Name.1"), "Arden T40 Chassis");
    EXPECT_EQ(Actual("Functional Container", "Parent.1"), "0");
    EXPECT_EQ(Actual("Functional Container", "Name.2"), "SubsystemContainer");
    EXPECT_EQ(Actual("Functional Container", "Parent.2"), "0");
    EXPECT_EQ(Row("TESTHOST"), 0u);
}

}  // namespace
}  // namespace cx::test
