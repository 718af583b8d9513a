// OID text: parsing, refusals, output form and the status names.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/oid_text.h"

namespace {

std::vector<UINT> Ids(const AsnObjectIdentifier& oid) {
    return oid.ids ? std::vector<UINT>(oid.ids, oid.ids + oid.idLength) : std::vector<UINT>{};
}

UINT Signed(int value) { return static_cast<UINT>(value); }

TEST(StringToOid, ParsesTheTextForms) {
    struct Case {
        std::string text;
        std::vector<UINT> ids;
    } cases[] = {
        {".1.3.6.1.4.1.7391.2.10.2.10", {1, 3, 6, 1, 4, 1, 7391, 2, 10, 2, 10}},
        {"1.3", {1, 3}},
        {"   .1.3.6", {1, 3, 6}},
        {"1.3.\"ab\"", {1, 3, 2, 97, 98}},
        {"1.3.\"\".5", {1, 3, 0, 5}},
        {"1.3.\"a.b\"", {1, 3, 3, 97, 46, 98}},  // a dot inside quotes is a character
        {"1.3.\"ab", {1, 3, 2, 97, 98}},         // an unterminated quote runs to the end
        {"1.3.99999999999", {1, 3, 2147483647}},
        {"1.3.2147483648", {1, 3, 2147483647}},
        {"1.3.4294967295", {1, 3, 2147483647}},
        {"1.3.\"\xC3\xA9\"", {1, 3, 2, Signed(-61), Signed(-87)}},  // signed 8-bit characters
        {"1.3 trailing", {1, 3}},  // parsing ends when every component is stored
    };
    for (const auto& c : cases) {
        AsnObjectIdentifier oid{};
        EXPECT_TRUE(StringToOid(c.text.c_str(), &oid)) << c.text;
        EXPECT_EQ(Ids(oid), c.ids) << c.text;
        SnmpUtilOidFree(&oid);
    }
}

// A refusal before counting keeps the old OID; one after it frees it and leaves it empty.
TEST(StringToOid, RefusesAndLeavesTheOldOrNoOid) {
    for (const char* text :
         {"", "   ", "7", ".7", "1.3.", "1..3", "1.x.3", "1.-3", "1.3.\xC3", "a.b", ".", "..1.3"}) {
        AsnObjectIdentifier oid{};
        ASSERT_TRUE(StringToOid("1.2.3", &oid));
        EXPECT_FALSE(StringToOid(text, &oid)) << '"' << text << '"';
        EXPECT_EQ(Ids(oid), (oid.idLength ? std::vector<UINT>{1, 2, 3} : std::vector<UINT>{}))
            << text;
        EXPECT_EQ(oid.ids == nullptr, oid.idLength == 0) << text;
        SnmpUtilOidFree(&oid);
    }
    AsnObjectIdentifier oid{};
    EXPECT_FALSE(StringToOid(nullptr, &oid));
    EXPECT_FALSE(StringToOid("1.3", nullptr));
}

TEST(StringToOid, HostileTextStaysInBounds) {
    std::string many;
    for (int i = 0; i < 5000; ++i)
        many += ".1";
    AsnObjectIdentifier oid{};
    ASSERT_TRUE(StringToOid(many.c_str(), &oid));
    EXPECT_EQ(oid.idLength, 5000u);
    std::string quotes = "1.3.\"" + std::string(3000, 'x');
    ASSERT_TRUE(StringToOid(quotes.c_str(), &oid));
    EXPECT_EQ(oid.idLength, 3003u);
    EXPECT_EQ(oid.ids[2], 3000u);
    EXPECT_FALSE(StringToOid("1.3\"ab\"\"cd", &oid) && oid.idLength > 20);
    SnmpUtilOidFree(&oid);
}

TEST(OidToString, PrintsDottedDecimal) {
    AsnObjectIdentifier oid{};
    ASSERT_TRUE(StringToOid("1.3.6.1", &oid));
    EXPECT_STREQ(OidToString(&oid, 2), "1.3");
    EXPECT_STREQ(OidToString(&oid, 0), "1.3.6.1");
    EXPECT_STREQ(OidToString(&oid, 99), "1.3.6.1") << "a count past the end prints all";
    oid.ids[3] = 0xFFFFFFFFu;
    EXPECT_STREQ(OidToString(&oid, 0), "1.3.6.-1") << "sub-identifiers print as signed";
    SnmpUtilOidFree(&oid);
    EXPECT_STREQ(OidToString(&oid, 0), "");
    EXPECT_STREQ(OidToString(nullptr, 0), "");

    std::string many;
    for (int i = 0; i < 400; ++i)
        many += ".2147483647";
    ASSERT_TRUE(StringToOid(many.c_str(), &oid));
    std::string text = OidToString(&oid, 0);
    EXPECT_LE(text.size(), 128u * 12u);
    EXPECT_EQ(text.back(), '7') << "cut at a whole sub-identifier";
    SnmpUtilOidFree(&oid);
}

TEST(StatusTexts, NamesEveryStatusAndRequestType) {
    std::string texts;
    for (LONG status : {0, 2, 4, 13, 17, 18, 19, -1})
        texts += std::string(ErrorStatusText(status)) + "|";
    for (UINT type : {0xA0, 0xA1, 0xA2, 0xA3, 0xA4})
        texts += std::string(RequestTypeText(type)) + "|";
    EXPECT_EQ(texts,
              "no error|no such name|value is read-only|resource unavailable|not writeable|"
              "inconsistent name|unknown|unknown|GET|GETNEXT|GETRESPONSE|SET|<<Unknown>>|");
}

}  // namespace
