// snmpwalk with the MIB module loaded names every object that a running host serves in the
// Catalix subtree and shows its value by the module's syntax. REPLAY_MIB serves a walk that
// holds each published object, so the agent's own tree is not needed.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "published_objects.h"
#include "replay_serving.h"

namespace cx::test {
namespace {

constexpr int kRows = 2;

// One served instance: the line of the walk the host is given, and the line snmpwalk prints
// for it with the module loaded.
struct Instance {
    std::string served;
    std::string shown;
};

Instance MakeInstance(const PublishedObject& object, int row, int serial) {
    const std::string descriptor = Descriptor(object);
    std::string value;
    std::string shown;
    if (object.type == ValueType::kText) {
        value = descriptor + " of row " + std::to_string(row);
        // DisplayString's hint shows the text as it is, without quotes.
        shown = "STRING: " + value;
        value = "STRING: \"" + value + "\"";
    } else if (descriptor == "avkCxScanState") {
        value = "INTEGER: 3";
        shown = "INTEGER: done(3)";
    } else {
        value = "INTEGER: " + std::to_string(1161404912 + serial);
        shown = value;
        if (descriptor == "avkCxLastDate" || descriptor == "avkCxLastScan") shown += " seconds";
    }
    return {InstanceOid(object, row) + " = " + value + "\n",
            InstanceName(object, row) + " = " + shown};
}

std::vector<Instance> EveryInstance() {
    std::vector<Instance> instances;
    int serial = 0;
    for (const PublishedObject& object : PublishedObjects())
        for (int row = 1; row <= (object.column ? kRows : 1); ++row)
            instances.push_back(MakeInstance(object, row, serial++));
    return instances;
}

using MibWalkTest = ReplayServingTest;

std::vector<std::string> WalkedObjects(const std::string& output) {
    std::vector<std::string> lines;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);)
        if (line.find("No more variables left in this MIB View") == std::string::npos)
            lines.push_back(line);
    return lines;
}

TEST_F(MibWalkTest, EveryServedObjectIsNamedAndShownByItsSyntax) {
    std::string walk;
    std::vector<std::string> expected;
    for (const Instance& instance : EveryInstance()) {
        walk += instance.served;
        expected.push_back(instance.shown);
    }
    ASSERT_TRUE(StartServing(walk, std::string(kCatalixRoot).substr(1)))
        << ReadFile(temp_.File("host.err"));

    // Only the module's own directory on the MIB path, so that an installed copy of the module
    // cannot stand in for the one under test.
    const ToolResult walked = Walk({"-m", kModuleName, "-M", CX_MIB_SOURCE_DIR}, kCatalixRoot);
    ASSERT_EQ(walked.exit_code, 0) << walked.err;
    EXPECT_EQ(walked.err, "");
    // snmpwalk prints in OID order, the rows of a column together.
    std::vector<std::string> lines = WalkedObjects(walked.out);
    std::sort(lines.begin(), lines.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(lines, expected);
}

}  // namespace
}  // namespace cx::test
