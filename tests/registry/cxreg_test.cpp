// The cxreg tool as an administrator or a script uses it.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "child_process.h"
#include "temp_dir.h"

namespace cx::test {
namespace {

using namespace std::chrono_literals;

struct Result {
    int status;
    std::string output;  // standard output and error together
};

class Cxreg : public ::testing::Test {
  protected:
    Result Cx(std::vector<std::string> args, const std::string& store = "") {
        args.insert(args.begin(), {CXREG_PATH, "--registry", store.empty() ? store_ : store});
        ChildProcess child(args, ChildOutput::kPipeWithErrors);
        std::string output = child.ReadAll(60s);
        return Result{child.Wait(60s), output};
    }
    std::string Write(const std::string& name, const std::string& text) {
        std::string path = dir_.File(name);
        WriteFile(path, text);
        return path;
    }

    TempDir dir_;
    std::string store_ = dir_.File("registry.db");
};

TEST_F(Cxreg, DefaultsImportAndExportReproduceTheStore) {
    Result imported = Cx({"import", CX_SOURCE_DIR "/data/registry/defaults.reg"});
    ASSERT_EQ(imported.status, 0) << imported.output;
    Result exported = Cx({"export"});
    ASSERT_EQ(exported.status, 0) << exported.output;
    EXPECT_EQ(exported.output.rfind("Windows Registry Editor Version 5.00\n", 0), 0u);
    EXPECT_NE(exported.output.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Arvenmark\\#Setup]\n"
                                   "\"FileRoot\"=\"/usr/share/catalix\"\n"
                                   "\"DataRoot\"=\"/var/lib/catalix\"\n"),
              std::string::npos);
    EXPECT_NE(exported.output.find("\"UdpPort\"=dword:000000a1\n"), std::string::npos);

    std::string copy = dir_.File("copy.db");
    ASSERT_EQ(Cx({"import", Write("all.reg", exported.output)}, copy).status, 0);
    EXPECT_EQ(Cx({"export"}, copy).output, exported.output);
}

TEST_F(Cxreg, SetQueryAndDeleteValues) {
    const std::string key = "HKLM\\SOFTWARE\\Arvenmark\\CX_MIB\\Parameters";
    struct Case {
        std::vector<std::string> set;
        std::string shown;
    } cases[] = {
        {{"ScanTime", "REG_DWORD", "0x12c"}, "300\n"},
        {{"TableFile", "REG_SZ", "CX_MIB.ini"}, "CX_MIB.ini\n"},
        {{"Root", "REG_EXPAND_SZ", "%HOME%/x"}, "%HOME%/x\n"},
        {{"Walks", "REG_MULTI_SZ", "a.walk", "b walk"}, "a.walk\nb walk\n"},
        {{"Blob", "REG_BINARY", "01,ff,20"}, "01,ff,20\n"},
        {{"@", "REG_SZ", "default"}, "default\n"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"set", key};
        args.insert(args.end(), c.set.begin(), c.set.end());
        ASSERT_EQ(Cx(args).status, 0) << c.set[0];
        Result query = Cx({"query", key, c.set[0]});
        EXPECT_EQ(query.status, 0);
        EXPECT_EQ(query.output, c.shown) << c.set[0];
    }
    Result listing = Cx({"query", "HKLM\\SOFTWARE\\Arvenmark\\CX_MIB"});
    EXPECT_EQ(listing.output,
              "[HKLM\\SOFTWARE\\Arvenmark\\CX_MIB]\n\n"
              "[HKLM\\SOFTWARE\\Arvenmark\\CX_MIB\\Parameters]\n");
    EXPECT_EQ(Cx({"delete", key, "ScanTime"}).status, 0);
    Result gone = Cx({"query", key, "ScanTime"});
    EXPECT_EQ(gone.status, 1);
    EXPECT_EQ(gone.output, "cxreg: " + key + " ScanTime: not found (error 2)\n");
    EXPECT_EQ(Cx({"delete", "HKLM\\SOFTWARE\\Arvenmark"}).status, 0);
    EXPECT_EQ(Cx({"query", key}).status, 1);
}

// A malformed file is refused whole, with its line named.
TEST_F(Cxreg, RefusesWrongUsageBadFilesAndBadStores) {
    std::string bad = Write("bad.reg",
                            "Windows Registry Editor Version 5.00\r\n\r\n"
                            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Good]\r\n\"a\"=\"b\"\r\n"
                            "\"n\"=dword:xyz\r\n");
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string output_start;
    } cases[] = {
        {{}, 2, "cxreg: no command given"},
        {{"frobnicate"}, 2, "cxreg: unknown command 'frobnicate'"},
        {{"set", "HKLM\\S", "v", "REG_QWORD", "1"}, 2, "cxreg: unknown type 'REG_QWORD'"},
        {{"set", "HKLM\\S", "v", "REG_DWORD", "4294967296"},
         2,
         "cxreg: '4294967296' is not a number"},
        {{"query", "SOFTWARE\\S"}, 2, "cxreg: 'SOFTWARE\\S': a key begins with"},
        {{"delete", "HKLM"}, 2, "cxreg: a root key cannot be deleted"},
        {{"import", dir_.File("missing.reg")}, 1, "cxreg: " + dir_.File("missing.reg")},
        {{"import", bad}, 1, bad + ":5: dword: needs 1 to 8 hexadecimal digits\n"},
        {{"--help"}, 0, "Usage: cxreg [--registry PATH] COMMAND"},
    };
    for (const Case& c : cases) {
        Result run = Cx(c.args);
        EXPECT_EQ(run.status, c.status) << run.output;
        EXPECT_EQ(run.output.rfind(c.output_start, 0), 0u) << run.output;
    }
    EXPECT_EQ(Cx({"query", "HKLM\\SOFTWARE\\Good"}).status, 1) << "nothing of bad.reg stayed";
    std::string text = Write("text.db", std::string(4096, 't'));
    Result store = Cx({"export"}, text);
    EXPECT_EQ(store.status, 1);
    EXPECT_EQ(store.output, "cxreg: " + text + ": not a registry store (error 1009)\n");
}

}  // namespace
}  // namespace cx::test
