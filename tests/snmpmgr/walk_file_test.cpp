// The walk-file parser: every value form snmpwalk prints and snmprec writes, values over
// several lines, and bad lines reported with their number while the rest is kept.
#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <string>

#include "walk_file.h"

namespace cx::replay {
namespace {

const Oid kName = {1, 3, 6, 1, 4, 1, 99999, 1, 0};

struct ValueCase {
    const char* text;  // the whole file
    std::uint8_t type;
    std::int64_t number;
    std::string octets;
    Oid object;
};

// Test names carry the case's text, in characters a test name may hold.
void PrintText(const char* text, std::ostream* out) {
    for (int i = 0; text[i] != '\0' && i < 80; ++i)
        *out << (std::isalnum(static_cast<unsigned char>(text[i])) ? text[i] : '_');
}

void PrintTo(const ValueCase& c, std::ostream* out) { PrintText(c.text, out); }

class WalkValueTest : public ::testing::TestWithParam<ValueCase> {};

TEST_P(WalkValueTest, ReadsTheValue) {
    const ValueCase& c = GetParam();
    const WalkContents contents = ParseWalkFile(c.text);
    ASSERT_TRUE(contents.problems.empty()) << contents.problems[0].what;
    ASSERT_EQ(contents.records.size(), 1u);
    const WalkRecord& record = contents.records[0];
    EXPECT_EQ(record.name, kName);
    EXPECT_EQ(record.type, c.type);
    EXPECT_EQ(record.number, c.number);
    EXPECT_EQ(record.octets, c.octets);
    EXPECT_EQ(record.object, c.object);
    EXPECT_EQ(record.line, 1u);
}

INSTANTIATE_TEST_SUITE_P(
    SnmpwalkOutput, WalkValueTest,
    ::testing::Values(
        ValueCase{".1.3.6.1.4.1.99999.1.0 = INTEGER: -17", kTagInteger, -17, "", {}},
        ValueCase{".1.3.6.1.4.1.99999.1.0 = INTEGER: up(1)", kTagInteger, 1, "", {}},
        ValueCase{".1.3.6.1.4.1.99999.1.0 = INTEGER: 2147483647", kTagInteger, 2147483647, "", {}},
        ValueCase{".1.3.6.1.4.1.99999.1.0 = STRING: \"Catalix CX2200\"",
                  kTagOctetString,
                  0,
                  "Catalix CX2200",
                  {}},
        ValueCase{".1.3.6.1.4.1.99999.1.0 = STRING: \"say \\\"hi\\\" \\\\ bye\"",
                  kTagOctetString,
                  0,
                  "say \"hi\" \\ bye",
                  {}},
        ValueCase{".1.3.6.1.4.1.99999.1.0 = STRING: \"two\r\nlines  \"\r\n",
                  kTagOctetString,
                  0,
                  "two\nlines  ",
                  {}},
        ValueCase{".1.3.6.1.4.1.99999.1.0 = STRING: \"a\n\n= b\n\"",
                  kTagOctetString,
                  0,
                  "a\n\n= b\n",
                  {}},
        ValueCase{".1.3.6.1.4.1.99999.1.0 = STRING: 2024-5-1,10:00:00.0",
                  kTagOctetString,
                  0,
                  "2024-5-1,10:00:00.0",
                  {}},
        ValueCase{".1.3.6.1.4.1.99999.1.0 = \"\"", kTagOctetString, 0, "", {}},
        ValueCase{".1.3.6.1.4.1.99999.1.0 = Hex-STRING: 00 1B 2c FF ",
                  kTagOctetString,
                  0,
                  std::string("\x00\x1B\x2C\xFF", 4),
                  {}},
        ValueCase{
            ".1.3.6.1.4.1.99999.1.0 = Hex-STRING: 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E "
            "0F \n10 11 \n",
            kTagOctetString,
            0,
            std::string("\x00\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C\x0D\x0E\x0F"
                        "\x10\x11",
                        18),
            {}},
        ValueCase{
            ".1.3.6.1.4.1.99999.1.0 = BITS: 80 40 a(0) b(9) ", kTagOctetString, 0, "\x80\x40", {}},
        ValueCase{".1.3.6.1.4.1.99999.1.0 = OID: .1.3.6.1.4.1.8072.3.2.10",
                  kTagObjectId,
                  0,
                  "",
                  {1, 3, 6, 1, 4, 1, 8072, 3, 2, 10}},
        ValueCase{".1.3.6.1.4.1.99999.1.0 = IpAddress: 192.168.0.254",
                  kTagIpAddress,
                  0,
                  std::string("\xC0\xA8\x00\xFE", 4),
                  {}},
        ValueCase{".1.3.6.1.4.1.99999.1.0 = Network Address: C0:A8:00:01",
                  kTagIpAddress,
                  0,
                  std::string("\xC0\xA8\x00\x01", 4),
                  {}},
        ValueCase{
            ".1.3.6.1.4.1.99999.1.0 = Counter32: 4294967295", kTagCounter32, 4294967295LL, "", {}},
        ValueCase{".1.3.6.1.4.1.99999.1.0 = Gauge32: 42 milli-seconds", kTagGauge32, 42, "", {}},
        ValueCase{
            ".1.3.6.1.4.1.99999.1.0 = Counter64: 18446744073709551615", kTagCounter64, -1, "", {}},
        ValueCase{".1.3.6.1.4.1.99999.1.0 = Timeticks: (8640000) 1 day, 0:00:00.00",
                  kTagTimeTicks,
                  8640000,
                  "",
                  {}},
        ValueCase{".1.3.6.1.4.1.99999.1.0 = UInteger32: 7", kTagUnsigned32, 7, "", {}},
        ValueCase{".1.3.6.1.4.1.99999.1.0 = Opaque: Float: 1.5",
                  kTagOpaque,
                  0,
                  std::string("\x9F\x78\x04\x3F\xC0\x00\x00", 7),
                  {}},
        ValueCase{".1.3.6.1.4.1.99999.1.0 = OPAQUE: 01 02", kTagOpaque, 0, "\x01\x02", {}},
        ValueCase{".1.3.6.1.4.1.99999.1.0 = NULL", kTagNull, 0, "", {}}));

INSTANTIATE_TEST_SUITE_P(
    Snmprec, WalkValueTest,
    ::testing::Values(
        ValueCase{"1.3.6.1.4.1.99999.1.0|2|-5", kTagInteger, -5, "", {}},
        ValueCase{
            "1.3.6.1.4.1.99999.1.0|4|text with | bar", kTagOctetString, 0, "text with | bar", {}},
        ValueCase{"1.3.6.1.4.1.99999.1.0|4x|00ff41",
                  kTagOctetString,
                  0,
                  std::string("\x00\xFF\x41", 3),
                  {}},
        ValueCase{"1.3.6.1.4.1.99999.1.0|5|", kTagNull, 0, "", {}},
        ValueCase{
            "1.3.6.1.4.1.99999.1.0|6|1.3.6.1.6.3.1", kTagObjectId, 0, "", {1, 3, 6, 1, 6, 3, 1}},
        ValueCase{"1.3.6.1.4.1.99999.1.0|64|10.0.0.1",
                  kTagIpAddress,
                  0,
                  std::string("\x0A\x00\x00\x01", 4),
                  {}},
        ValueCase{"1.3.6.1.4.1.99999.1.0|64x|0a000002",
                  kTagIpAddress,
                  0,
                  std::string("\x0A\x00\x00\x02", 4),
                  {}},
        ValueCase{"1.3.6.1.4.1.99999.1.0|65|3", kTagCounter32, 3, "", {}},
        ValueCase{"1.3.6.1.4.1.99999.1.0|66|4", kTagGauge32, 4, "", {}},
        ValueCase{"1.3.6.1.4.1.99999.1.0|67|5", kTagTimeTicks, 5, "", {}},
        ValueCase{"1.3.6.1.4.1.99999.1.0|68x|9f780400000000",
                  kTagOpaque,
                  0,
                  std::string("\x9F\x78\x04\x00\x00\x00\x00", 7),
                  {}},
        ValueCase{
            "1.3.6.1.4.1.99999.1.0|70|12345678901234", kTagCounter64, 12345678901234LL, "", {}}));

struct ProblemCase {
    const char* line;
    const char* what;  // the start of the report
};

void PrintTo(const ProblemCase& c, std::ostream* out) { PrintText(c.line, out); }

class WalkProblemTest : public ::testing::TestWithParam<ProblemCase> {};

// Each bad line sits between two good ones: it is reported with its number, and both
// neighbours are still read.
TEST_P(WalkProblemTest, ReportsTheLineAndKeepsTheRest) {
    const std::string text = std::string(".1.3.6.1.4.1.99999.1.1 = INTEGER: 1\n") +
                             GetParam().line + "\n.1.3.6.1.4.1.99999.1.2 = INTEGER: 2\n";
    const WalkContents contents = ParseWalkFile(text);
    ASSERT_EQ(contents.problems.size(), 1u);
    EXPECT_EQ(contents.problems[0].line, 2u);
    EXPECT_EQ(contents.problems[0].what.rfind(GetParam().what, 0), 0u) << contents.problems[0].what;
    ASSERT_EQ(contents.records.size(), 2u);
    EXPECT_EQ(contents.records[0].number, 1);
    EXPECT_EQ(contents.records[1].number, 2);
    EXPECT_EQ(contents.records[1].line, 3u);
}

INSTANTIATE_TEST_SUITE_P(
    BadLines, WalkProblemTest,
    ::testing::Values(
        ProblemCase{"just some words", "not an"}, ProblemCase{".1.3.x.4 = INTEGER: 1", "bad OID"},
        ProblemCase{".1 = INTEGER: 1", "bad OID"},
        ProblemCase{".1.3.6.1.4294967296 = INTEGER: 1", "bad OID"},
        ProblemCase{".1.3.6 = INTEGER: 2147483648", "bad INTEGER"},
        ProblemCase{".1.3.6 = INTEGER: -2147483649", "bad INTEGER"},
        ProblemCase{".1.3.6 = Counter32: 4294967296", "bad Counter32"},
        ProblemCase{".1.3.6 = Counter64: 18446744073709551616", "bad Counter64"},
        ProblemCase{".1.3.6 = IpAddress: 1.2.3", "bad IpAddress"},
        ProblemCase{".1.3.6 = IpAddress: 1.2.3.256", "bad IpAddress"},
        ProblemCase{".1.3.6 = OID: 1..3", "bad OID"},
        ProblemCase{".1.3.6 = Hex-STRING: 0G 11", "bad hex"},
        ProblemCase{".1.3.6 = Wrong Type (should be INTEGER): STRING: \"x\"", "bad Wrong Type"},
        ProblemCase{".1.3.6 = STRING: \"closed\" and more", "text after"},
        ProblemCase{".1.3.6 = 17", "no type"}, ProblemCase{"1.3.6|4x|abc", "bad snmprec"},
        ProblemCase{"1.3.6|2x|00", "bad snmprec"}, ProblemCase{"1.3.6|99|1", "bad snmprec"},
        ProblemCase{"1.3.6|4", "snmprec line without"}));

TEST(WalkFileTest, MarkersOfEmptyAnswersAndBlankLinesAreSkippedSilently) {
    const WalkContents contents = ParseWalkFile(
        "\n"
        ".1.3.6.1.2.1.1.9.0 = No Such Object available on this agent at this OID\n"
        ".1.3.6.1.2.1.1.9.1 = No Such Instance currently exists at this OID\n"
        "   \r\n"
        ".1.3.6.1.2.1.1.1.0 = STRING: \"x\"\n"
        ".1.3.6.1.2.1.1.1.0 = No more variables left in this MIB View (It is past the end of the "
        "MIB tree)\n"
        "End of MIB\n");
    EXPECT_TRUE(contents.problems.empty());
    ASSERT_EQ(contents.records.size(), 1u);
    EXPECT_EQ(contents.records[0].line, 5u);
}

// A string whose closing quote never comes must not swallow the objects after it.
TEST(WalkFileTest, UnclosedStringIsReportedAndTheLinesAfterItAreRead) {
    const WalkContents contents = ParseWalkFile(
        ".1.3.6.1.4.1.99999.1.1 = STRING: \"never closed\n"
        ".1.3.6.1.4.1.99999.1.2 = INTEGER: 2\n"
        ".1.3.6.1.4.1.99999.1.3 = Hex-STRING: 01 02 \n");
    ASSERT_EQ(contents.problems.size(), 1u);
    EXPECT_EQ(contents.problems[0].line, 1u);
    ASSERT_EQ(contents.records.size(), 2u);
    EXPECT_EQ(contents.records[0].number, 2);
    EXPECT_EQ(contents.records[1].octets, "\x01\x02");
    EXPECT_EQ(contents.records[1].line, 3u);
}

TEST(WalkFileTest, RecordsKeepTheOrderAndLineOfTheText) {
    const WalkContents contents = ParseWalkFile(
        ".1.3.6.1.4.1.99999.2.1 = STRING: \"a\nb\"\n"
        "1.3.6.1.4.1.99999.1.1|2|7\n"
        ".1.3.6.1.4.1.99999.3.1 = Hex-STRING: 01 \n02 \n"
        ".1.3.6.1.4.1.99999.0.1 = Gauge32: 9\n");
    ASSERT_TRUE(contents.problems.empty());
    ASSERT_EQ(contents.records.size(), 4u);
    EXPECT_EQ(contents.records[0].line, 1u);
    EXPECT_EQ(contents.records[1].line, 3u);
    EXPECT_EQ(contents.records[2].line, 4u);
    EXPECT_EQ(contents.records[3].line, 6u);
    EXPECT_EQ(contents.records[3].name, (Oid{1, 3, 6, 1, 4, 1, 99999, 0, 1}));
}

TEST(WalkFileTest, OidsLongerThanSnmpCarriesAreRefused) {
    std::string name = ".1.3";
    for (int i = 0; i < 127; ++i)
        name += ".1";
    const WalkContents contents =
        ParseWalkFile(name + " = INTEGER: 1\n.1.3.6 = OID: " + name + "\n");
    EXPECT_TRUE(contents.records.empty());
    EXPECT_EQ(contents.problems.size(), 2u);
}

}  // namespace
}  // namespace cx::replay
