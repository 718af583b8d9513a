// A writer killed with SIGKILL in the middle of writing a large inventory leaves the file
// whole: every key of every component is there with a complete value, as one of the states
// the writer went through.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <map>
#include <string>

#include "child_process.h"
#include "profile_test_util.h"
#include "temp_dir.h"

namespace {

using cx::test::ChildProcess;
using cx::test::ReadFile;
using cx::test::TempDir;
using cx::test::WaitUntil;

constexpr int kComponents = 1500;
constexpr size_t kKeysPerComponent = 12;

ino_t InodeOf(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

// Checks the file as the crash writer leaves it and returns a description of the first flaw,
// or "" when it is whole.
std::string Flaw(const std::string& text) {
    if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0) return "cut line";
    std::map<std::string, std::string> values;
    std::string section;
    long newest = 0, oldest = 0;
    size_t keys = 0;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find("\r\n", start);
        std::string line = text.substr(start, end - start);
        start = end + 2;
        if (!line.empty() && line.front() == '[') {
            section = line;
            continue;
        }
        size_t equals = line.find('=');
        if (equals == std::string::npos) return "line without a key: " + line;
        std::string key = line.substr(0, equals), value = line.substr(equals + 1);
        if (section != "[Component Table]" || key == "NrComponents") continue;
        // g<generation>-c<component>-<key name>-padding...
        size_t dot = key.find('.');
        std::string expected_tail =
            "-c" + key.substr(dot + 1) + "-" + key.substr(0, dot) + "-padding-padding-padding";
        size_t dash = value.find('-');
        if (value.empty() || value[0] != 'g' || dash == std::string::npos ||
            value.substr(dash) != expected_tail) {
            return "damaged value: " + line;
        }
        long generation = std::stol(value.substr(1, dash - 1));
        if (newest == 0) newest = oldest = generation;
        // Keys are rewritten in file order, so generations only fall, and by one at most.
        if (generation > oldest || generation < newest - 1) return "out of order: " + line;
        oldest = generation;
        ++keys;
    }
    if (keys != kComponents * kKeysPerComponent) return "keys missing: " + std::to_string(keys);
    if (text.find("[Done]\r\nGeneration=") == std::string::npos) return "no [Done] section";
    return "";
}

TEST(ProfileCrash, KilledWriterLeavesTheOldOrACompleteNewFile) {
    TempDir dir;
    for (int round = 1; round <= 6; ++round) {
        std::string file = dir.File("Catalix" + std::to_string(round) + ".act");
        ChildProcess writer({CX_PROFILE_WRITER, "endless", file, std::to_string(kComponents)});
        ASSERT_TRUE(writer.Started());
        ASSERT_TRUE(WaitUntil([&] { return ReadFile(file).find("[Done]") != std::string::npos; }))
            << "the first generation never reached the disk";
        // Let the writer replace the file a different number of times in each round, so that
        // the kill lands at different points of its work.
        for (int seen = 0; seen < round; ++seen) {
            ino_t before = InodeOf(file);
            ASSERT_TRUE(WaitUntil([&] { return InodeOf(file) != before; }));
        }
        writer.Kill();
        ASSERT_EQ(writer.Wait(std::chrono::seconds(10)), 128 + SIGKILL);
        EXPECT_EQ(Flaw(ReadFile(file)), "") << "round " << round;
    }
}

}  // namespace
