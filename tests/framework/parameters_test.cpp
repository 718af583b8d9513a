// The agent's settings: DWORD parameters and file paths made absolute against the data root.
#include <cstring>

#include "agent_fixture.h"

namespace cx::test {
namespace {

class ParametersTest : public AgentTest {
  protected:
    void SetUp() override {
        AgentTest::SetUp();
        ASSERT_TRUE(service_.Load(CX_FWTEST_AGENT_PATH)) << service_.error();
    }
};

TEST_F(ParametersTest, RegParamReadsADwordAndKeepsTheDefaultOtherwise) {
    SetRegDword("SOFTWARE\\Arvenmark\\CX_FWTEST\\Parameters", "ScanTime", 600);
    SetRegString("SOFTWARE\\Arvenmark\\CX_FWTEST\\Parameters", "Text", "600");
    auto read = service_.Symbol<FwTestRegParamFn>("FwTestRegParam");
    DWORD value = 7200;
    EXPECT_TRUE(read("ScanTime", &value));
    EXPECT_EQ(value, 600u);
    value = 7200;
    EXPECT_FALSE(read("Missing", &value));
    EXPECT_EQ(value, 7200u);
    EXPECT_FALSE(read("Text", &value));
    EXPECT_EQ(value, 7200u);
    EXPECT_EQ(TraceCount("GetAgentRegParam(): ERROR! Could not read agent param \"Missing\"!"), 1u);
}

TEST_F(ParametersTest, FilePathsRelativeToTheDataRootOrAsGiven) {
    struct Case {
        const char* value;
        std::string expected;  // empty: the call fails
    };
    const std::string data_root = dir_.Path();
    const Case cases[] = {
        {"name.ini", data_root + "/name.ini"},
        {"C:name.ini", data_root + "/C:name.ini"},  // drive without backslash is relative
        {"D:\\dir\\name.ini", "D:\\dir\\name.ini"},
        {"\\\\server\\share\\name.ini", "\\\\server\\share\\name.ini"},
        {"/etc/catalix/name.ini", "/etc/catalix/name.ini"},
    };
    auto path_of = service_.Symbol<FwTestFilePathFn>("FwTestFilePath");
    const char* kFileKey = "SOFTWARE\\Arvenmark\\CX_FWTEST\\FILE";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        SetRegString(kFileKey, "TableFile", c.value);
        char path[MAX_PATH] = {};
        ASSERT_TRUE(path_of("TableFile", path, sizeof(path)));
        EXPECT_EQ(std::string(path), c.expected);
    }
    char path[MAX_PATH] = {};
    EXPECT_FALSE(path_of("Missing", path, sizeof(path)));

    // A result that does not fit fails and writes nothing past the buffer.
    SetRegString(kFileKey, "TableFile", "name.ini");
    char small[8];
    std::memset(small, 'x', sizeof(small));
    char guard[8];
    std::memset(guard, 'g', sizeof(guard));
    EXPECT_FALSE(path_of("TableFile", small, sizeof(small)));
    EXPECT_EQ(std::string(guard, sizeof(guard)), std::string(8, 'g'));
    // Exactly the size of data root, separator and name: one byte short of the terminator.
    std::string exact = data_root + "/name.ini";
    std::vector<char> tight(exact.size());
    EXPECT_FALSE(path_of("TableFile", tight.data(), static_cast<DWORD>(tight.size())));
}

}  // namespace
}  // namespace cx::test
