// Whether an extension agent is registered with the SNMP service and its library is there:
// every way the registration can be incomplete, and "%"-expanded library names up to the
// length of a path.
#include <cstdlib>
#include <string>

#include "inventory_fixture.h"

namespace cx::test {
namespace {

constexpr const char* kAgentsKey =
    "SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters\\ExtensionAgents";
constexpr int kPathLimit = 260;

class CheckAgentTest : public InventoryTest {
  protected:
    void SetUp() override {
        InventoryTest::SetUp();
        setenv("CX_REQUESTS_DIR", dir_.Path().c_str(), 1);
        setenv("CX_REQUESTS_LONG", std::string(kPathLimit + 40, 'x').c_str(), 1);
        WriteDataFile("agent.so", "library");
    }
    void TearDown() override {
        unsetenv("CX_REQUESTS_DIR");
        unsetenv("CX_REQUESTS_LONG");
        unsetenv("CX_REQUESTS_AT_LIMIT");
        unsetenv("CX_REQUESTS_OVER_LIMIT");
        InventoryTest::TearDown();
    }

    // The agent registered under its own key, whose Pathname is `library` (none when empty).
    void Register(const std::string& name, const std::string& library) {
        const std::string key = "SOFTWARE\\Test\\" + name;
        SetRegString(kAgentsKey, name.c_str(), key);
        if (!library.empty()) SetRegString(key.c_str(), "Pathname", library);
        SetRegString(key.c_str(), "Other", "value");
    }

    // A file in the data root whose full path is `length` characters long, named by the
    // environment variable `variable`.
    void FileWithPathLength(const char* variable, std::size_t length) {
        const std::string name(length - dir_.Path().size() - 1, 'n');
        WriteDataFile(name, "library");
        setenv(variable, DataPath(name).c_str(), 1);
    }
};

TEST_F(CheckAgentTest, AgentCountsAsThereOnlyWhenItsLibraryOpens) {
    Register("PRESENT_MIB", DataPath("agent.so"));
    Register("NO_PATHNAME_MIB", "");
    Register("NO_FILE_MIB", DataPath("missing.so"));
    Register("EXPANDED_MIB", "%CX_REQUESTS_DIR%/agent.so");
    Register("OVERLONG_MIB", "%CX_REQUESTS_LONG%");
    FileWithPathLength("CX_REQUESTS_AT_LIMIT", kPathLimit);
    Register("AT_LIMIT_MIB", "%CX_REQUESTS_AT_LIMIT%");
    FileWithPathLength("CX_REQUESTS_OVER_LIMIT", kPathLimit + 1);
    Register("OVER_LIMIT_MIB", "%CX_REQUESTS_OVER_LIMIT%");
    SetRegString(kAgentsKey, "NO_KEY_MIB", "SOFTWARE\\Test\\Nowhere");

    struct Case {
        const char* name;
        BOOL found;
        const char* detail;  // a step the check must have traced, or ""
    };
    const Case cases[] = {
        {"PRESENT_MIB", TRUE, "\nCXMIB  check agents : RegPath SOFTWARE\\Test\\PRESENT_MIB"},
        {"UNREGISTERED_MIB", FALSE, ""},
        {"NO_KEY_MIB", FALSE, "\nCXMIB  check agents : Try 64/32 path"},
        {"NO_PATHNAME_MIB", FALSE, ""},
        {"NO_FILE_MIB", FALSE, "\nCXMIB  check agents : Invalid Handle"},
        {"EXPANDED_MIB", TRUE, "\nCXMIB  check agents : expand DLLPath"},
        {"OVERLONG_MIB", FALSE, "\nCXMIB  check agents : expanded DLLPath too long"},
        {"AT_LIMIT_MIB", TRUE, ""},
        {"OVER_LIMIT_MIB", FALSE, "\nCXMIB  check agents : expanded DLLPath too long"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string detail = c.detail;
        const std::size_t details = detail.empty() ? 0 : TraceCount(detail);
        EXPECT_EQ(agent_->CheckAgent(c.name), c.found);
        EXPECT_EQ(TraceCount("\nCXMIB               : check " + std::string(c.name) + "-Agent"),
                  1u);
        EXPECT_EQ(TraceCount("\nCXMIB  check agents : " + std::string(c.name) + "-Agent " +
                             (c.found ? "" : "NOT ") + "found"),
                  1u);
        if (!detail.empty()) {
            EXPECT_EQ(TraceCount(detail), details + 1);
        }
    }
    EXPECT_EQ(TraceCount("\nCXMIB  check agents : DLLPath " + DataPath("agent.so")), 1u);
}

TEST_F(CheckAgentTest, WithoutTheServicesListNothingIsRegistered) {
    EXPECT_FALSE(agent_->CheckAgent("PRESENT_MIB"));
    EXPECT_FALSE(agent_->CheckAgent(nullptr));
    EXPECT_EQ(TraceCount("\nCXMIB  check agents : PRESENT_MIB-Agent NOT found"), 1u);
}

}  // namespace
}  // namespace cx::test
