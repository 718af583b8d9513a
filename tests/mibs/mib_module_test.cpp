// The MIB module on its own: net-snmp turns every published OID into its name and back, and the
// installed set loads without any other module. (libsmi's checks: smilint.sh.)
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "published_objects.h"
#include "temp_dir.h"

namespace cx::test {
namespace {

const std::string kMibDir = CX_MIB_SOURCE_DIR;

// The non-empty lines of a tool's output (snmptranslate separates its answers by blank lines).
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) lines.push_back(line);
    return lines;
}

// snmptranslate with only our module and only `dir` on its path, so that neither the
// machine's MIB list nor an installed copy of the module takes part.
ToolResult Translate(const std::string& dir, const std::vector<std::string>& flags,
                     const std::vector<std::string>& objects, const std::string& scratch) {
    std::vector<std::string> argv = {"/usr/bin/snmptranslate", "-m", kModuleName, "-M", dir};
    argv.insert(argv.end(), flags.begin(), flags.end());
    argv.insert(argv.end(), objects.begin(), objects.end());
    return RunTool(argv, scratch);
}

// Every published instance (row 12 for the columns) and the product's identity (the host's
// sysObjectID) named from its OID and back, with the modules found in `dir`.
void ExpectEveryObjectTranslatesBothWays(const std::string& dir, const std::string& scratch) {
    constexpr int kRow = 12;
    std::vector<std::string> oids = {".1.3.6.1.4.1.7391.2.10.100.1"};
    std::vector<std::string> names = {std::string(kModuleName) + "::catalixInventoryAgent"};
    for (const PublishedObject& object : PublishedObjects()) {
        oids.push_back(InstanceOid(object, kRow));
        names.push_back(InstanceName(object, kRow));
    }

    const ToolResult to_names = Translate(dir, {}, oids, scratch);
    ASSERT_EQ(to_names.exit_code, 0) << to_names.err;
    EXPECT_EQ(Lines(to_names.out), names) << to_names.err;
    EXPECT_EQ(to_names.err, "");

    const ToolResult to_oids = Translate(dir, {"-On"}, names, scratch);
    ASSERT_EQ(to_oids.exit_code, 0) << to_oids.err;
    EXPECT_EQ(Lines(to_oids.out), oids) << to_oids.err;
    EXPECT_EQ(to_oids.err, "");
}

// What the install puts in place (the module and, by default, the base modules) must be enough
// for net-snmp on a machine without any other MIB module; without the base modules the module
// is translated where it lies.
TEST(InstalledMibs, LoadWithoutAnyOtherModule) {
    TempDir temp;
    if (!CX_INSTALL_BASE_MIBS) return ExpectEveryObjectTranslatesBothWays(kMibDir, temp.Path());
    const ToolResult install = RunTool({CX_CMAKE_COMMAND, "--install", CX_BUILD_DIR, "--component",
                                        "mibs", "--prefix", temp.File("prefix")},
                                       temp.Path());
    ASSERT_EQ(install.exit_code, 0) << install.out << install.err;
    ExpectEveryObjectTranslatesBothWays(temp.File("prefix") + "/" + CX_MIB_INSTALL_DIR,
                                        temp.Path());
}

}  // namespace
}  // namespace cx::test
