// .reg text: the dialect regedit writes, the errors a bad file gets, and the round trip
// through export and import.
#include <gtest/gtest.h>

#include <string>

#include "platform/reg_text.h"
#include "registry_fixture.h"
#include "text_rows.h"

namespace cx::test {
namespace {

using cx::platform::ParseRegText;
using cx::platform::RegTextKey;
using cx::platform::RegTextParse;
using cx::platform::WriteRegText;
using cx::test::ReadRows;
using cx::test::TextRow;

const char kHeader[] = "Windows Registry Editor Version 5.00\r\n\r\n";

std::string Utf16le(const std::string& ascii) {
    std::string out = "\xFF\xFE";
    for (char c : ascii) {
        out.push_back(c);
        out.push_back('\0');
    }
    return out;
}

TEST(RegTextParser, ReadsEveryFormRegeditWrites) {
    RegTextParse parsed = ParseRegText(std::string(kHeader) +
                                       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Cx]\r\n"
                                       "@=\"default\"\r\n"
                                       "\"Path\"=\"C:\\\\dir\\\\\\\"q\\\"\"\r\n"
                                       "\"Num\"=dword:0000012c\r\n"
                                       "\"Bin\"=hex:01,02,\\\r\n  ff\r\n"
                                       "\"Exp\"=hex(2):25,00,41,00,25,00,00,00\r\n"
                                       "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
                                       "\"Odd\"=hex(b):01\r\n"
                                       "\"Gone\"=-\r\n"
                                       "; a comment\r\n"
                                       "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Old]\r\n");
    ASSERT_EQ(parsed.error, "");
    ASSERT_EQ(parsed.keys.size(), 2u);
    const RegTextKey& key = parsed.keys[0];
    EXPECT_EQ(key.path, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Cx");
    struct Expected {
        std::string name;
        DWORD type;
        std::string data;
    } expected[] = {
        {"", REG_SZ, std::string("default\0", 8)},
        {"Path", REG_SZ, std::string("C:\\dir\\\"q\"\0", 11)},
        {"Num", REG_DWORD, std::string("\x2c\x01\0\0", 4)},
        {"Bin", REG_BINARY, "\x01\x02\xff"},
        {"Exp", REG_EXPAND_SZ, std::string("%A%\0", 4)},
        {"Multi", REG_MULTI_SZ, std::string("a\0b\0\0", 5)},
        {"Odd", 0xb, "\x01"},
    };
    ASSERT_EQ(key.values.size(), std::size(expected) + 1);
    for (size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(key.values[i].name, expected[i].name);
        EXPECT_EQ(key.values[i].type, expected[i].type) << expected[i].name;
        EXPECT_EQ(key.values[i].data, expected[i].data) << expected[i].name;
    }
    EXPECT_TRUE(key.values.back().remove);
    EXPECT_TRUE(parsed.keys[1].remove);
    EXPECT_EQ(parsed.keys[1].line, 14);
}

TEST(RegTextParser, TakesRegedit4AndUtf16Text) {
    RegTextParse old = ParseRegText("REGEDIT4\n\n[HKLM\\S]\n\"E\"=hex(2):41,00\n");
    ASSERT_EQ(old.error, "");
    EXPECT_EQ(old.keys[0].values[0].data, std::string("A\0", 2)) << "REGEDIT4 strings are bytes";
    RegTextParse wide =
        ParseRegText(Utf16le("Windows Registry Editor Version 5.00\r\n[HKEY_USERS\\X]\r\n"
                             "\"N\"=\"v\"\r\n"));
    ASSERT_EQ(wide.error, "");
    EXPECT_EQ(wide.keys[0].values[0].data, std::string("v\0", 2));
    EXPECT_EQ(ParseRegText("\xEF\xBB\xBFREGEDIT4\n").error, "") << "UTF-8 BOM";
}

TEST(RegTextParser, NamesTheLineAndWhatIsWrong) {
    for (const TextRow& row : ReadRows(CX_TEST_DATA "/registry/reg_text_errors.txt")) {
        RegTextParse parsed = ParseRegText(row[0]);
        EXPECT_EQ(parsed.error_line, std::stoi(row[1])) << "row " << row.line;
        EXPECT_EQ(parsed.error, row[2]) << "row " << row.line;
        EXPECT_TRUE(parsed.keys.empty());
    }
}

TEST(RegTextWriter, WritesRegeditLayoutThatReadsBackTheSame) {
    std::string awkward = std::string("line\nbreak\0", 11);
    std::string not_utf8 = std::string("\xff\xfe\xc3(\0", 5);
    RegTextKey key{"HKEY_LOCAL_MACHINE\\S", false, true, 0, {}};
    key.values = {{"", false, REG_SZ, std::string("plain \\ \"quoted\"\0", 17)},
                  {"NoNul", false, REG_SZ, "abc"},
                  {"Break", false, REG_SZ, awkward},
                  {"Raw", false, REG_EXPAND_SZ, not_utf8},
                  {"Long", false, REG_BINARY, std::string(100, '\x5a')},
                  {"Word", false, REG_DWORD, std::string("\x01\x02\x03\x04", 4)},
                  {"Short", false, REG_DWORD, "\x01"}};
    std::string text = WriteRegText({key});
    EXPECT_NE(text.find("; volatile\n[HKEY_LOCAL_MACHINE\\S]\n"), std::string::npos);
    EXPECT_NE(text.find("@=\"plain \\\\ \\\"quoted\\\"\"\n"), std::string::npos);
    EXPECT_NE(text.find("\"Word\"=dword:04030201\n"), std::string::npos);
    EXPECT_NE(text.find("\"NoNul\"=hex(1):61,00,62,00,63,00\n"), std::string::npos);
    EXPECT_NE(text.find("\"Short\"=hex(4):01\n"), std::string::npos);
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
         start = end + 1)
        EXPECT_LE(end - start, 80u) << text.substr(start, end - start);

    RegTextParse back = ParseRegText(text);
    ASSERT_EQ(back.error, "");
    ASSERT_EQ(back.keys.size(), 1u);
    EXPECT_TRUE(back.keys[0].is_volatile);
    ASSERT_EQ(back.keys[0].values.size(), key.values.size());
    for (size_t i = 0; i < key.values.size(); ++i) {
        EXPECT_EQ(back.keys[0].values[i].name, key.values[i].name);
        EXPECT_EQ(back.keys[0].values[i].type, key.values[i].type) << key.values[i].name;
        EXPECT_EQ(back.keys[0].values[i].data, key.values[i].data) << key.values[i].name;
    }
}

using RegTextTransfer = RegistryTest;

TEST_F(RegTextTransfer, ExportThenImportReproducesTheStore) {
    RegTextParse source = ParseRegText(std::string(kHeader) +
                                       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Arvenmark\\#Setup]\n"
                                       "\"FileRoot\"=\"/usr/share/catalix\"\n"
                                       "\"Zed\"=dword:00000001\n\"Alpha\"=hex:00\n"
                                       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Empty]\n"
                                       "[HKEY_USERS\\Other]\n@=hex(7):41,00,00,00,00,00\n");
    ASSERT_EQ(source.error, "");
    int line = 0;
    ASSERT_EQ(cx::platform::ImportRegText(source.keys, &line), ERROR_SUCCESS);
    RegCloseKey(Create("SOFTWARE\\Arvenmark\\#Status", REG_OPTION_VOLATILE));
    std::vector<RegTextKey> exported;
    ASSERT_EQ(cx::platform::ExportRegText("", &exported), ERROR_SUCCESS);
    // A volatile key is marked so, and made volatile again by an import.
    std::string first = WriteRegText(exported);
    EXPECT_NE(first.find("; volatile\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Arvenmark\\#Status]"),
              std::string::npos);
    CxRegistrySetPath(dir_.File("copy.db").c_str());
    ASSERT_EQ(cx::platform::ImportRegText(ParseRegText(first).keys, &line), ERROR_SUCCESS);
    ASSERT_EQ(cx::platform::ExportRegText("", &exported), ERROR_SUCCESS);
    EXPECT_EQ(WriteRegText(exported), first);
    ASSERT_EQ(cx::platform::ExportRegText("hklm\\software\\ARVENMARK", &exported), ERROR_SUCCESS);
    ASSERT_FALSE(exported.empty());
    EXPECT_EQ(exported[0].path, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Arvenmark") << "stored spelling";
    EXPECT_EQ(cx::platform::ExportRegText("HKLM\\Nothing", &exported), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegTextTransfer, AFailingImportChangesNothing) {
    HKEY parent = Create("SOFTWARE\\Volatile", REG_OPTION_VOLATILE);
    RegCloseKey(parent);
    RegTextParse parsed = ParseRegText(std::string(kHeader) +
                                       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Fresh]\n\"a\"=\"b\"\n"
                                       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Volatile\\Plain]\n");
    ASSERT_EQ(parsed.error, "");
    int line = 0;
    EXPECT_EQ(cx::platform::ImportRegText(parsed.keys, &line), ERROR_CHILD_MUST_BE_VOLATILE);
    EXPECT_EQ(line, 5);
    HKEY key = nullptr;
    EXPECT_EQ(Open("SOFTWARE\\Fresh", &key), ERROR_FILE_NOT_FOUND);
}

}  // namespace
}  // namespace cx::test
