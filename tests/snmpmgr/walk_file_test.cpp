// The walk-file parser: every value form snmpwalk prints and snmprec writes, values over
// several lines, and bad lines reported with their number while the rest is kept.
#include <gtest/gtest.h>

#include <string>

#include "walk_file.h"

namespace cx::replay {
namespace {

const Oid kName = {1, 3, 6, 1, 4, 1, 99999, 1, 0};

// One object 1.3.6.1.4.1.99999.1.0: `text` is what follows its name, either "= VALUE" as snmpwalk
// prints it or "|TYPE|VALUE" as snmprec writes it.
struct ValueCase {
    const char* text;
    std::uint8_t type;
    std::int64_t number = 0;
    std::string octets = {};
    Oid object = {};
};

TEST(WalkFileTest, ReadsEveryValueForm) {
    const ValueCase cases[] = {
        {"= INTEGER: up(1)", kTagInteger, 1},
        {"= STRING: \"Catalix CX2200\"", kTagOctetString, 0, "Catalix CX2200"},
        {"= STRING: \"say \\\"hi\\\" \\\\ bye\"", kTagOctetString, 0, "say \"hi\" \\ bye"},
        {"= STRING: \"two\r\nlines  \"\r\n", kTagOctetString, 0, "two\nlines  "},
        {"= STRING: \"a\n\n= b\n\"", kTagOctetString, 0, "a\n\n= b\n"},
        {"= STRING: 2024-5-1,10:00:00.0", kTagOctetString, 0, "2024-5-1,10:00:00.0"},
        {"= \"\"", kTagOctetString},
        {"= Hex-STRING: 00 1B 2c FF ", kTagOctetString, 0, {"\x00\x1B\x2C\xFF", 4}},
        {"= BITS: 80 40 a(0) b(9) ", kTagOctetString, 0, "\x80\x40"},
        {"= Network Address: C0:A8:00:01", kTagIpAddress, 0, {"\xC0\xA8\x00\x01", 4}},
        {"= Gauge32: 42 milli-seconds", kTagGauge32, 42},
        {"= UInteger32: 7", kTagUnsigned32, 7},
        {"= OPAQUE: 01 02", kTagOpaque, 0, "\x01\x02"},
        {"= NULL", kTagNull},
        {"|4|text with | bar", kTagOctetString, 0, "text with | bar"},
        {"|5|", kTagNull},
        {"|64x|0a000002", kTagIpAddress, 0, {"\x0A\x00\x00\x02", 4}},
        {"|68x|9f780400000000", kTagOpaque, 0, {"\x9F\x78\x04\x00\x00\x00\x00", 7}},
        // (The forms a capture holds most are the replay round trip's.)
    };
    for (const ValueCase& c : cases) {
        SCOPED_TRACE(c.text);
        const std::string name =
            c.text[0] == '|' ? "1.3.6.1.4.1.99999.1.0" : ".1.3.6.1.4.1.99999.1.0 ";
        const WalkContents contents = ParseWalkFile(name + c.text);
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
}

// Each bad line sits between two good ones: it is reported with its number, and both
// neighbours are still read (a string whose closing quote never comes swallows nothing).
TEST(WalkFileTest, BadLinesAreReportedAndTheRestKept) {
    std::string too_long = ".1.3";  // more numbers than SNMP carries
    for (int i = 0; i < 127; ++i)
        too_long += ".1";
    const struct {
        std::string line;
        const char* what;  // the start of the report
    } cases[] = {{"just some words", "not an"},
                 {".1.3.6 = STRING: \"never closed", "string without its closing quote"},
                 {too_long + " = INTEGER: 1", "bad OID"},
                 {".1.3.6 = OID: " + too_long, "bad OID"},
                 {".1.3.x.4 = INTEGER: 1", "bad OID"},
                 {".1.3.6.1.4294967296 = INTEGER: 1", "bad OID"},
                 {".1.3.6 = INTEGER: 2147483648", "bad INTEGER"},
                 {".1.3.6 = INTEGER: -2147483649", "bad INTEGER"},
                 {".1.3.6 = Counter32: 4294967296", "bad Counter32"},
                 {".1.3.6 = Counter64: 18446744073709551616", "bad Counter64"},
                 {".1.3.6 = IpAddress: 1.2.3.256", "bad IpAddress"},
                 {".1.3.6 = OID: 1..3", "bad OID"},
                 {".1.3.6 = Hex-STRING: 0G 11", "bad hex"},
                 {".1.3.6 = Wrong Type (should be INTEGER): STRING: \"x\"", "bad Wrong Type"},
                 {".1.3.6 = STRING: \"closed\" and more", "text after"},
                 {".1.3.6 = 17", "no type"},
                 {"1.3.6|4x|abc", "bad snmprec"},
                 {"1.3.6|2x|00", "bad snmprec"},
                 {"1.3.6|99|1", "bad snmprec"},
                 {"1.3.6|4", "snmprec line without"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const WalkContents contents =
            ParseWalkFile(std::string(".1.3.6.1.4.1.99999.1.1 = INTEGER: 1\n") + c.line +
                          "\n.1.3.6.1.4.1.99999.1.2 = INTEGER: 2\n");
        ASSERT_EQ(contents.problems.size(), 1u);
        EXPECT_EQ(contents.problems[0].line, 2u);
        EXPECT_EQ(contents.problems[0].what.rfind(c.what, 0), 0u) << contents.problems[0].what;
        ASSERT_EQ(contents.records.size(), 2u);
        EXPECT_EQ(contents.records[0].number, 1);
        EXPECT_EQ(contents.records[1].number, 2);
        EXPECT_EQ(contents.records[1].line, 3u);
    }
}

// Records keep the order and line of the text; markers of empty answers and blank lines are
// skipped silently.
TEST(WalkFileTest, RecordsKeepTheOrderAndLineOfTheTextAndMarkersAreSkipped) {
    const WalkContents contents = ParseWalkFile(
        ".1.3.6.1.4.1.99999.2.1 = STRING: \"a\nb\"\n"
        "1.3.6.1.4.1.99999.1.1|2|7\n"
        ".1.3.6.1.2.1.1.9.0 = No Such Object available on this agent at this OID\n"
        ".1.3.6.1.2.1.1.9.1 = No Such Instance currently exists at this OID\n"
        "   \r\n"
        ".1.3.6.1.4.1.99999.3.1 = Hex-STRING: 01 \n02 \n"
        ".1.3.6.1.4.1.99999.0.1 = Gauge32: 9\n"
        ".1.3.6.1.4.1.99999.0.1 = No more variables left in this MIB View (It is past the end of "
        "the MIB tree)\n"
        "End of MIB\n");
    ASSERT_TRUE(contents.problems.empty()) << contents.problems[0].what;
    ASSERT_EQ(contents.records.size(), 4u);
    EXPECT_EQ(contents.records[0].line, 1u);
    EXPECT_EQ(contents.records[1].line, 3u);
    EXPECT_EQ(contents.records[2].line, 7u);
    EXPECT_EQ(contents.records[3].line, 9u);
    EXPECT_EQ(contents.records[3].name, (Oid{1, 3, 6, 1, 4, 1, 99999, 0, 1}));
}

}  // namespace
}  // namespace cx::replay
