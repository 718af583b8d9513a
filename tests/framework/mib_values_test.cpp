// Binding values from numbers and text, and table indexes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "test_agent.h"

namespace {

using cx::test::OctetsOf;

class Binding {
  public:
    Binding() { value.value.asnType = ASN_NULL; }
    ~Binding() { SnmpUtilVarBindFree(&value); }
    SnmpVarBind value{};
};

// Number types take the number (the old value freed); any other type leaves NULL.
TEST(SetVarBindValue, StoresNumberTypesOnly) {
    struct Case {
        BYTE type;
        LONG number;
        bool stored;
    } cases[] = {
        {ASN_INTEGER, -5, true},     {ASN_COUNTER32, -1, true}, {ASN_UNSIGNED32, 9, true},
        {ASN_OCTETSTRING, 1, false}, {ASN_COUNTER64, 1, false}, {0xFF, 1, false},
    };
    for (const auto& c : cases) {
        Binding binding;
        SetVarBindValueText(&binding.value, "replaced", ASN_OCTETSTRING);
        EXPECT_EQ(SetVarBindValue(&binding.value, c.number, c.type), c.stored) << int(c.type);
        EXPECT_EQ(binding.value.value.asnType, c.stored ? c.type : ASN_NULL);
        if (c.stored) {
            EXPECT_EQ(binding.value.value.asnValue.number, c.number);
        }
    }
    EXPECT_FALSE(SetVarBindValue(nullptr, 1, ASN_INTEGER));
    Binding address;  // an IpAddress takes the number in memory order
    LONG number = 0;
    std::memcpy(&number, "\xC0\xA8\x01\x14", 4);
    ASSERT_TRUE(SetVarBindValue(&address.value, number, ASN_IPADDRESS));
    EXPECT_EQ(OctetsOf(address.value.value), std::string("\xC0\xA8\x01\x14", 4));
}

TEST(SetVarBindValueText, NumbersAreReadAsAtolReadsThem) {
    struct Case {
        const char* text;
        BYTE type;
        LONG number;
    } cases[] = {
        {"42", ASN_INTEGER, 42},
        {"  -17xyz", ASN_INTEGER, -17},
        {"", ASN_INTEGER, 0},
        {nullptr, ASN_INTEGER, 0},
        {"99999999999", ASN_INTEGER, 2147483647},
        {"-99999999999", ASN_INTEGER, static_cast<LONG>(0x80000000u)},
        {"4294967295", ASN_COUNTER32, -1},  // the whole unsigned range
        {"99999999999", ASN_UNSIGNED32, -1},
    };
    for (const auto& c : cases) {
        Binding binding;
        EXPECT_TRUE(SetVarBindValueText(&binding.value, c.text, c.type))
            << (c.text ? c.text : "(null)");
        EXPECT_EQ(binding.value.value.asnType, c.type);
        EXPECT_EQ(binding.value.value.asnValue.number, c.number) << (c.text ? c.text : "(null)");
    }
}

TEST(SetVarBindValueText, StringsOidsAndAddresses) {
    Binding text;
    ASSERT_TRUE(SetVarBindValueText(&text.value, "Catalix CX2200", ASN_OCTETSTRING));
    EXPECT_EQ(OctetsOf(text.value.value), "Catalix CX2200");  // no terminating NUL

    Binding empty;
    ASSERT_TRUE(SetVarBindValueText(&empty.value, nullptr, ASN_OCTETSTRING));
    EXPECT_EQ(empty.value.value.asnValue.string.length, 0u);
    EXPECT_NE(empty.value.value.asnValue.string.stream, nullptr);

    Binding oid;
    ASSERT_TRUE(SetVarBindValueText(&oid.value, ".1.3.6.1.4.1.7391", ASN_OBJECTIDENTIFIER));
    EXPECT_STREQ(OidToString(&oid.value.value.asnValue.object, 0), "1.3.6.1.4.1.7391");

    Binding address;
    ASSERT_TRUE(SetVarBindValueText(&address.value, "10.1.258.4.9", ASN_IPADDRESS));
    EXPECT_EQ(OctetsOf(address.value.value), std::string("\x0A\x01\x02\x04", 4));
}

TEST(SetVarBindValueText, RefusalsLeaveNull) {
    struct Case {
        const char* text;
        BYTE type;
    } cases[] = {
        {"10.1.2", ASN_IPADDRESS},
        {"x.y", ASN_OBJECTIDENTIFIER},
        {"1", ASN_NULL},
        {"1", ASN_COUNTER64},
    };
    for (const auto& c : cases) {
        Binding binding;
        SetVarBindValue(&binding.value, 1, ASN_INTEGER);
        EXPECT_FALSE(SetVarBindValueText(&binding.value, c.text, c.type)) << c.text;
        EXPECT_EQ(binding.value.value.asnType, ASN_NULL) << c.text;
    }
}

TEST(AppendTableIndex, IndexesReplaceTheTrailingPlaceholders) {
    struct Case {
        const char* oid;
        LONG indexes[5];
        const char* expected;
    } cases[] = {
        {"1.3.6.1.4.1.7391.2.10.2.10.3.1.2.0.0",
         {5, 7, -1, -1, -1},
         "1.3.6.1.4.1.7391.2.10.2.10.3.1.2.5.7"},
        {"1.3.0.0.0", {-1, 4, -1, 6, -1}, "1.3.0.4.6"},  // absent ones close up
        {"1.3.0.0.0", {-1, -1, -1, -1, -1}, "1.3.0.0.0"},
        {"1.0", {1, 2, 3, 4, 5}, "4.5"},  // positions before the start are not written
        {"1.3.0", {-2, -1, -1, -1, -1}, "1.3.-2"},
    };
    for (const auto& c : cases) {
        AsnObjectIdentifier oid{};
        ASSERT_TRUE(StringToOid(c.oid, &oid));
        AppendTableIndex(&oid, c.indexes[0], c.indexes[1], c.indexes[2], c.indexes[3],
                         c.indexes[4]);
        EXPECT_STREQ(OidToString(&oid, 0), c.expected) << c.oid;
        SnmpUtilOidFree(&oid);
    }
    AsnObjectIdentifier empty{};
    AppendTableIndex(&empty, 1, 2, 3, 4, 5);
    EXPECT_EQ(empty.idLength, 0u);
    AppendTableIndex(nullptr, 1, -1, -1, -1, -1);
}

}  // namespace
