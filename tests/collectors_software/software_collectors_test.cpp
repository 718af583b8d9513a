// The software collectors on the in-process agent: the operating system from a recorded
// os-release and from this machine, the drivers of a recorded modules tree, and the agents and
// tools from the registry, a dpkg database and agent directories.
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "../version/images.h"
#include "child_process.h"
#include "collector_fixture.h"
#include "platform/files.h"
#include "platform/os_info.h"
#include "scoped_env.h"

namespace cx::test {
namespace {

constexpr const char* kOptionsKey = "SYSTEM\\CurrentControlSet\\Control\\ProductOptions";
constexpr const char* kToolKey = "SOFTWARE\\Telvora\\Ramplet";
constexpr const char* kFirstProduct =
    "SOFTWARE\\Classes\\Installer\\Products\\{4E2A9B17-6C3D-4F81-A5E0-2D7C91B3F468}";

class SoftwareTest : public ActualFileTest {
  protected:
    void SetUp() override {
        ActualFileTest::SetUp();
        WriteTableFile(ReadFile(CX_TABLE_FILE));
        agent_->InitCommon();
        agent_->InitComponentDefinitions();
    }

    std::string Root() const { return agent_->m_szCommonRoot; }
};

TEST_F(SoftwareTest, OperatingSystemOfThisMachine) {
    CxOsRelease release;
    if (!CxReadOsRelease(&release) || release.pretty_name.empty()) {
        GTEST_SKIP() << "this machine has no os-release with PRETTY_NAME";
    }
    struct utsname names {};
    ASSERT_EQ(uname(&names), 0);
    unsigned major = 0, minor = 0, patch = 0;
    std::sscanf(names.release, "%u.%u.%u", &major, &minor, &patch);

    agent_->InsertOSInfo();
    unsigned row = Row(release.pretty_name);
    ASSERT_NE(row, 0u) << DataFile("Catalix.act");
    EXPECT_EQ(Field(row, "CompType"), "167");
    EXPECT_EQ(Field(row, "Version"), std::to_string(major) + "." + std::to_string(minor) +
                                         " Build " + std::to_string(patch) + " " + release.version);
    EXPECT_NE(Field(row, "Vendor"), "Microsoft");
    EXPECT_EQ(ObjectComponent("OperatingSystem:Linux"), row);
    EXPECT_EQ(ObjectComponent("OperatingSystem:Win"), 0u);
}

TEST_F(SoftwareTest, ProductOptionsAndLanguageDescribeTheSystem) {
    ScopedEnv os_release("CX_OS_RELEASE", CX_SOFTWARE_DATA "/os-release");
    ScopedEnv all("LC_ALL", "de_DE.UTF-8");
    struct Row {
        const char* type;
        const char* suite;
        const char* description;
    } const rows[] = {
        {"x86_64", "arvenmark", "x86_64 arvenmark"},
        {"x86_64", nullptr, "x86_64"},
        // Written with its leading blank, which the inventory file's reader drops.
        {nullptr, "arvenmark", "arvenmark"},
        {nullptr, nullptr, ""},
        // A value longer than 32 bytes counts as absent.
        {"x86_64", "a-suite-name-that-is-longer-than-the-field", "x86_64"},
    };
    unsigned expected_row = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.description);
        DeleteRegValue(kOptionsKey, "ProductType");
        DeleteRegValue(kOptionsKey, "ProductSuite");
        if (row.type != nullptr) SetRegString(kOptionsKey, "ProductType", row.type);
        if (row.suite != nullptr) SetRegMultiString(kOptionsKey, "ProductSuite", row.suite);
        agent_->InsertOSInfo();
        ++expected_row;
        ASSERT_EQ(Number("Component Table", "NrComponents"), expected_row);
        EXPECT_EQ(Fields(expected_row, {"ProdDescript", "ProdName", "Vendor", "Language"}),
                  std::string(row.description) +
                      "|Arvenmark Server Linux 7 (Lindar)|Arvenmark Systems|German (Germany)");
    }
}

TEST_F(SoftwareTest, DamagedOrHugeOsReleaseIsReportedAndReadAsFarAsItGoes) {
    ScopedEnv os_release("CX_OS_RELEASE", CX_SOFTWARE_DATA "/os-release-damaged");
    agent_->InsertOSInfo();
    unsigned row = Row("Catalix Linux");
    ASSERT_NE(row, 0u) << DataFile("Catalix.act");
    EXPECT_EQ(Field(row, "Vendor"), "Catalix Linux");
    EXPECT_EQ(TraceCount("os-release: 5 bad lines"), 1u) << TraceText();

    // 10 MB: the names at its start count, the rest is left unread.
    std::string huge = "PRETTY_NAME=\"Catalix Big\"\n";
    huge += std::string(10 * 1024 * 1024, '#') + "\nPRETTY_NAME=\"Never Read\"\n";
    WriteDataFile("huge-release", huge);
    os_release.Set(DataPath("huge-release"));
    agent_->InsertOSInfo();
    EXPECT_NE(Row("Catalix Big"), 0u);
    EXPECT_EQ(Row("Never Read"), 0u);
    EXPECT_EQ(TraceCount("read in part (too long)"), 1u);
}

// A kernel module image with the given .modinfo strings.
Bytes Module(const std::string& modinfo) {
    return BuildElfImage({{".modinfo", 1, Bytes(modinfo.begin(), modinfo.end())}}, 1, true, false);
}

TEST_F(SoftwareTest, DriversOfARecordedModulesTree) {
    const std::string tree = DataPath("modules");
    ASSERT_EQ(std::system(("mkdir -p " + tree + "/kernel/drivers/net " + tree +
                           "/kernel/drivers/scsi " + tree + "/kernel/drivers/misc")
                              .c_str()),
              0);
    WriteFile(tree + "/modules.dep", ReadFile(CX_SOFTWARE_DATA "/modules/modules.dep"));
    const std::string info = std::string("description=Catalix network driver") + '\0' +
                             "author=Catalix" + '\0' + "version=2.4.1" + '\0' + "name=cxnet" + '\0';
    WriteFile(tree + "/kernel/drivers/net/cxnet.ko", Module(info));
    const std::string store = tree + "/kernel/drivers/scsi/cx-store.ko";
    WriteFile(store,
              Module(std::string("description=Catalix store") + '\0' + "version=1.0" + '\0'));
    const bool xz = std::system(("xz -f " + store + " 2>/dev/null").c_str()) == 0;
    // A module cut off in its header.
    Bytes cut = Module(info);
    cut.resize(40);
    WriteFile(tree + "/kernel/drivers/misc/cxbroken.ko", cut);
    ScopedEnv modules("CX_PROC_MODULES", CX_SOFTWARE_DATA "/modules/proc_modules");
    ScopedEnv directory("CX_MODULES_DIR", tree);

    agent_->InsertDriver();
    unsigned net = Row("cxnet.ko");
    ASSERT_NE(net, 0u) << DataFile("Catalix.act") << TraceText();
    EXPECT_EQ(Fields(net, {"CompType", "Vendor", "ProdDescript"}),
              "162|Catalix|Catalix network driver");
    EXPECT_EQ(Field(net, "Version").rfind("2.4.1//2.4.1//cxnet", 0), 0u);
    if (xz) {
        unsigned compressed = Row("cx-store.ko.xz");
        ASSERT_NE(compressed, 0u);
        EXPECT_EQ(Field(compressed, "ProdDescript"), "Catalix store");
    }
    // The damaged module is listed by its file alone; the one whose file is gone and the one
    // without a file (built in) are not.
    EXPECT_NE(Row("cxbroken.ko"), 0u);
    EXPECT_EQ(Field(Row("cxbroken.ko"), "ProdDescript"), "");
    EXPECT_EQ(Row("cx-gone.ko"), 0u);
    EXPECT_EQ(Number("Component Table", "NrComponents"), xz ? 3u : 2u);
    EXPECT_EQ(TraceCount("5 device drivers detected"), 1u);

    modules.Set(DataPath("no-such-list"));
    agent_->InsertDriver();
    EXPECT_EQ(TraceCount("CANNOT RECEIVE DRIVER INFO!"), 1u);
}

TEST_F(SoftwareTest, AgentPackageVersionFromEachSource) {
    ScopedEnv admin("CX_DPKG_ADMINDIR", CX_SOFTWARE_DATA "/dpkg");
    ScopedEnv query("CX_DPKG_QUERY", "/nonexistent/dpkg-query");
    SetRegString(Root(), "ProductVersion", "3.0");
    SetRegString(Root() + "\\#Parameters", "ProductVersion", "2.0");
    struct Row {
        const char* package;      // the first product's package, nullptr: no mapping
        const char* query;        // dpkg-query to run, nullptr: none, the status file is read
        bool root_version;        // ProductVersion at the common root
        const char* version;      // the package item's, "" for none
        std::size_t older_lines;  // "try path for older versions"
    } const rows[] = {
        {"catalix", nullptr, true, "4.2.10-1", 0},   {"catalix", "dpkg-query", true, "4.2.10-1", 0},
        {"arvenmark-gone", nullptr, true, "3.0", 0}, {"-rf", nullptr, true, "3.0", 0},
        {nullptr, nullptr, false, "2.0", 1},
    };
    unsigned components = 0;
    std::size_t older_lines = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.version);
        if (row.package != nullptr) {
            SetRegString(kFirstProduct, "Package", row.package);
        } else {
            DeleteRegValue(kFirstProduct, "Package");
        }
        query.Set(row.query != nullptr ? row.query : "/nonexistent/dpkg-query");
        if (!row.root_version) DeleteRegValue(Root(), "ProductVersion");
        agent_->InsertAgents();
        ++components;
        ASSERT_EQ(Number("Component Table", "NrComponents"), components) << TraceText();
        EXPECT_EQ(Fields(components, {"ProdName", "Version"}),
                  std::string("Management Agent|") + row.version);
        older_lines += row.older_lines;
        EXPECT_EQ(TraceCount("try path for older versions"), older_lines);
    }
    DeleteRegValue(Root() + "\\#Parameters", "ProductVersion");
    agent_->InsertAgents();
    EXPECT_EQ(Number("Component Table", "NrComponents"), components);
    EXPECT_EQ(TraceCount("!!! NO SNMP AGENT PRODUCT VERSION FOUND"), 1u);
}

TEST_F(SoftwareTest, UpdateToolAndItsSupportPackages) {
    const std::string tool = kToolKey;
    SetRegDword(tool, "RampletMajorVersion", 3);
    SetRegDword(tool, "RampletMinorVersion", 1);
    // Each package's version parts; 0: the value is missing.
    const char* parts[] = {"versionMajor", "versionMinor", "versionMajBuild", "versionMinBuild"};
    for (const auto& [key, values] : {std::pair{"\\KSP-Alpha", std::array{1, 2, 3, 4}},
                                      {"\\KSP-Beta", std::array{5, 6, 0, 9}},
                                      {"\\KSP-Gamma", std::array{8, 0, 0, 0}}})
        for (int i = 0; i < 4; ++i)
            if (values[i] != 0) SetRegDword(tool + key, parts[i], values[i]);
    SetRegString(tool + "\\KSP-Alpha", "driverVersion", "7.1.0");
    SetRegString("SYSTEM\\CurrentControlSet\\Services\\Tessaline\\Parameters", "PackageVersion",
                 "1.7");

    agent_->InsertAgents();
    const unsigned ramplet = Row("Ramplet");
    ASSERT_NE(ramplet, 0u) << TraceText();
    EXPECT_EQ(Field(ramplet, "Version"), "N/A");  // no RampletBuild
    EXPECT_EQ(ObjectComponent("Tools:0"), ramplet);
    const struct {
        const char* name;
        const char* version;
        const char* driver;
    } packages[] = {
        {"KSP-Alpha", "1.2.3.4", "7.1.0"}, {"KSP-Beta", "5.6.0.0", ""}, {"KSP-Gamma", "N/A", ""}};
    for (int index = 0; index < 3; ++index) {
        unsigned row = Row(packages[index].name);
        ASSERT_NE(row, 0u);
        EXPECT_EQ(Fields(row, {"CompType", "Version", "CompId"}),
                  std::string("164|") + packages[index].version + "|" + packages[index].driver);
        EXPECT_EQ(ObjectComponent("KorvSupportPack:" + std::to_string(index)), row);
    }
    EXPECT_EQ(TraceCount("KSP Tool : NO BUILD INFO"), 1u);
    const unsigned flash = Row("Vantrel Agent");
    EXPECT_EQ(Field(flash, "Version"), "1.7");
    EXPECT_EQ(ObjectComponent("Agent:1"), flash);
    EXPECT_EQ(ObjectComponent("Agent:2"), 0u);

    SetRegDword(kToolKey, "RampletBuild", 12);
    agent_->InsertAgents();
    EXPECT_EQ(Field(Number("Component Table", "NrComponents") - 3, "Version"), "3.1.12");
}

TEST_F(SoftwareTest, AgentFilesProgramsAndConsole) {
    const std::string agents = DataPath("agents"), sysmon = DataPath("sysmon");
    ASSERT_EQ(mkdir(agents.c_str(), 0755), 0);
    ASSERT_EQ(mkdir(sysmon.c_str(), 0755), 0);
    SetRegString(Root() + "\\#Setup", "AgentRoot", agents);
    SetRegString(Root() + "\\#Setup", "SysMonRoot", sysmon);
    agent_->InsertAgents();
    for (const char* line :
         {"!!! NO AGENT FILE FOUND !!!", "!!! NO EM/SYSMON FILE FOUND !!!",
          "!!! NO *.EXE FILE FOUND !!!", "!!! NO HOSTAPATH FOUND", "!!! NO HOSTA.EXE FOUND !!!"})
        EXPECT_EQ(TraceCount(line), 1u) << line;
    EXPECT_EQ(Number("Component Table", "NrComponents"), 0u);

    ASSERT_EQ(symlink(CX_VERSION_PROBE_PATH, (agents + "/CX_PROBE.so").c_str()), 0);
    WriteFile(agents + "/notes.txt", "not an agent");
    ASSERT_EQ(symlink(CX_VERSION_PROBE_PATH, (sysmon + "/CX_MON.so").c_str()), 0);
    WriteFile(sysmon + "/cxmond", "#!/bin/sh\n");
    ASSERT_EQ(chmod((sysmon + "/cxmond").c_str(), 0755), 0);
    WriteFile(sysmon + "/readme", "plain file");
    const std::string console_key = "SOFTWARE\\Arvenmark\\Server Manager\\Start Params";
    SetRegString(console_key, "SM_PATH", sysmon);
    SetRegString(console_key, "SM_NAME", "cxmond");
    agent_->InsertAgents();
    unsigned probe = Row("CX_PROBE.so");
    ASSERT_NE(probe, 0u) << DataFile("Catalix.act");
    EXPECT_EQ(Field(probe, "CompType"), "163");
    EXPECT_EQ(Field(probe, "Version").rfind("4.2.10.1//4.2//", 0), 0u);
    EXPECT_NE(Row("CX_MON.so"), 0u);
    EXPECT_EQ(Row("notes.txt") + Row("readme"), 0u);
    // cxmond twice: a SysMonRoot program and the console program.
    EXPECT_EQ(Number("Component Table", "NrComponents"), 4u);
    EXPECT_EQ(Fields(4, {"ProdName", "CompType"}), "cxmond|164");
}

}  // namespace
}  // namespace cx::test
