// Trace renderings of values and bindings, byte for byte.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "test_agent.h"

namespace {

AsnAny Number(BYTE type, LONG number) {
    AsnAny value{};
    value.asnType = type;
    value.asnValue.number = number;
    return value;
}

AsnAny Octets(BYTE type, const void* bytes, UINT length) {
    AsnAny value{};
    value.asnType = type;
    value.asnValue.string = {static_cast<BYTE*>(const_cast<void*>(bytes)), length, FALSE};
    return value;
}

TEST(VarBindValueText, RendersEachType) {
    const char text[] = "CXSERVER";
    const char zero_inside[] = "ab\0cd";
    const char terminated[] = "done";  // with its terminating NUL as the last byte
    const BYTE address[] = {127, 0, 0, 1};
    const BYTE unprintable[] = {0x01, 0xAB, 0x41};
    const BYTE last_unchecked[] = {'o', 'k', 0x07};
    struct Case {
        AsnAny value;
        std::string expected;
    } cases[] = {
        {Number(ASN_INTEGER, -2), "INTEGER: -2 (0xFFFFFFFE)"},
        {Number(ASN_COUNTER32, 255), "COUNTER: 255 (0xFF)"},
        {Number(ASN_GAUGE32, 16), "GAUGE: 16 (0x10)"},
        {Number(ASN_TIMETICKS, 100), "TIMETICKS: 100 (0x64)"},
        {Number(ASN_NULL, 0), "NULL"},
        {Number(ASN_OBJECTIDENTIFIER, 0), "OID"},
        {Number(ASN_UNSIGNED32, 5), "UNKNOWN TYPE"},
        {Octets(ASN_OCTETSTRING, text, 8), "STRING: \"CXSERVER\""},
        {Octets(ASN_OCTETSTRING, nullptr, 5), "STRING: NULL"},
        {Octets(ASN_OCTETSTRING, terminated, 5), "STRING: \"done\""},
        // Not printable (the NUL is not the last byte): hexadecimal.
        {Octets(ASN_OCTETSTRING, zero_inside, 5), "61 62 00 63 64 "},
        {Octets(ASN_OPAQUE, text, 3), "OPAQUE: \"CXS\""},
        {Octets(ASN_OCTETSTRING, unprintable, 3), "01 AB 41 "},
        {Octets(ASN_OCTETSTRING, last_unchecked, 3), "STRING: \"ok\x07\""},
        {Octets(ASN_IPADDRESS, address, 4), "IP ADDRESS: 127.0.0.1"},
        {Octets(ASN_IPADDRESS, address, 3), "IP ADDRESS: 7F 00 00 "},
        {Octets(ASN_IPADDRESS, nullptr, 4), "IP ADDRESS: NULL"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(VarBindValueText(&c.value), c.expected);
    }
    EXPECT_STREQ(VarBindValueText(nullptr), "NULL");
}

TEST(VarBindValueText, LongValuesAreCutToTheBuffer) {
    std::vector<BYTE> binary(400, 0x80);
    AsnAny value = Octets(ASN_OCTETSTRING, binary.data(), 400);
    std::string text = VarBindValueText(&value);
    EXPECT_EQ(text.size(), 341u * 3);  // 341 bytes as hexadecimal pairs
    EXPECT_EQ(text.substr(0, 6), "80 80 ");

    std::string printable(2000, 'x');
    value = Octets(ASN_OCTETSTRING, printable.data(), 2000);
    text = VarBindValueText(&value);
    EXPECT_EQ(text.size(), 1023u);
    EXPECT_EQ(text.substr(0, 10), "STRING: \"x");
    EXPECT_EQ(text.back(), 'x');  // the whole is cut, closing quote included
}

TEST(VarBindText, JoinsOidAndValue) {
    SnmpVarBind binding = MakeConstBinding("1.3.6.1.4.1.7391.2.10.2.10.2.3.0");
    SetVarBindValue(&binding, 3, ASN_INTEGER);
    EXPECT_STREQ(VarBindText(&binding),
                 "Oid=1.3.6.1.4.1.7391.2.10.2.10.2.3.0, Value=INTEGER: 3 (0x3)");
    SnmpUtilVarBindFree(&binding);
    SnmpVarBind empty = MakeConstBinding("bad");
    EXPECT_STREQ(VarBindText(&empty), "Oid=, Value=NULL");
}

}  // namespace
