// snmpapi utilities: OID order, copies that own their memory, frees that accept what Windows
// accepts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "platform/snmp.h"

namespace {

// An OID whose ids point into the vector (not allocated: never freed).
AsnObjectIdentifier View(std::vector<UINT>& ids) {
    return AsnObjectIdentifier{static_cast<UINT>(ids.size()), ids.empty() ? nullptr : ids.data()};
}

// SnmpUtilOidCmp (n 0) orders by sub-identifiers, unsigned, then by length; SnmpUtilOidNCmp
// looks at the first n sub-identifiers only.
TEST(OidCmp, OrdersBySubIdentifiersThenLength) {
    struct Case {
        std::vector<UINT> first, second;
        int sign;
        UINT n = 0;
    } cases[] = {
        {.first = {1, 3, 6}, .second = {1, 3, 6}, .sign = 0},
        {.first = {1, 3}, .second = {1, 3, 6}, .sign = -1},  // a prefix is less
        {.first = {1, 3, 6}, .second = {1, 3}, .sign = 1},
        {.first = {1, 3, 7}, .second = {1, 3, 6, 1}, .sign = 1},
        {.first = {1, 3, 6, 1}, .second = {1, 4}, .sign = -1},
        {.first = {}, .second = {1}, .sign = -1},
        {.first = {}, .second = {}, .sign = 0},
        {.first = {0xFFFFFFFFu}, .second = {1}, .sign = 1},
        {.first = {1, 3, 6, 1, 4}, .second = {1, 3, 6, 2}, .sign = 0, .n = 3},
        {.first = {1, 3, 6, 1, 4}, .second = {1, 3, 6, 2}, .sign = -1, .n = 4},
        {.first = {1, 3, 6, 1, 4}, .second = {1, 3}, .sign = 1, .n = 3},
        {.first = {1, 3, 6, 1, 4}, .second = {1, 3}, .sign = 0, .n = 2},
    };
    for (auto& c : cases) {
        auto first = View(c.first);
        auto second = View(c.second);
        int result =
            c.n == 0 ? SnmpUtilOidCmp(&first, &second) : SnmpUtilOidNCmp(&first, &second, c.n);
        EXPECT_EQ((result > 0) - (result < 0), c.sign)
            << "case " << (&c - cases) << " gave " << result;
    }
}

TEST(OidCopies, CopyAppendAndFree) {
    std::vector<UINT> a{1, 3, 6}, b{1, 4};
    auto source = View(a), tail = View(b);
    AsnObjectIdentifier copy{};
    ASSERT_TRUE(SnmpUtilOidCpy(&copy, &source));
    EXPECT_NE(copy.ids, source.ids);
    ASSERT_TRUE(SnmpUtilOidAppend(&copy, &tail));
    std::vector<UINT> expected{1, 3, 6, 1, 4};
    ASSERT_EQ(copy.idLength, 5u);
    EXPECT_EQ(std::vector<UINT>(copy.ids, copy.ids + 5), expected);
    SnmpUtilOidFree(&copy);
    EXPECT_EQ(copy.idLength, 0u);
    EXPECT_EQ(copy.ids, nullptr);
    SnmpUtilOidFree(&copy);  // freeing an empty OID is harmless

    AsnObjectIdentifier empty{};
    ASSERT_TRUE(SnmpUtilOidAppend(&empty, &source)) << "append to an empty OID allocates";
    EXPECT_EQ(empty.idLength, 3u);
    SnmpUtilOidFree(&empty);
    EXPECT_FALSE(SnmpUtilOidCpy(nullptr, &source));
}

TEST(Memory, AllocIsZeroedAndReAllocZeroesTheGrowth) {
    auto* bytes = static_cast<BYTE*>(SnmpUtilMemAlloc(8));
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(std::vector<BYTE>(bytes, bytes + 8), std::vector<BYTE>(8, 0));
    std::memset(bytes, 0xAB, 8);
    bytes = static_cast<BYTE*>(SnmpUtilMemReAlloc(bytes, 64));
    ASSERT_NE(bytes, nullptr);
    std::vector<BYTE> expected(64, 0);
    std::fill_n(expected.begin(), 8, 0xAB);
    EXPECT_EQ(std::vector<BYTE>(bytes, bytes + 64), expected);
    SnmpUtilMemFree(bytes);
    SnmpUtilMemFree(nullptr);
}

TEST(Values, DeepCopiesOwnTheirData) {
    BYTE text[] = {'a', 'b', 'c'};
    std::vector<UINT> ids{1, 3, 6, 1};
    SnmpVarBind binds[3] = {};
    for (SnmpVarBind& bind : binds)
        bind.name = View(ids);
    binds[0].value.asnType = ASN_OCTETSTRING;
    binds[0].value.asnValue.string = {text, 3, FALSE};
    binds[1].value.asnType = ASN_OBJECTIDENTIFIER;
    binds[1].value.asnValue.object = View(ids);
    binds[2].value.asnType = ASN_COUNTER64;
    binds[2].value.asnValue.counter64.QuadPart = 0x123456789ULL;
    SnmpVarBindList source{binds, 3};

    SnmpVarBindList copy{};
    ASSERT_TRUE(SnmpUtilVarBindListCpy(&copy, &source));
    ASSERT_EQ(copy.len, 3u);
    EXPECT_NE(copy.list[0].name.ids, ids.data());
    EXPECT_TRUE(copy.list[0].value.asnValue.string.dynamic);
    EXPECT_NE(copy.list[0].value.asnValue.string.stream, text);
    EXPECT_EQ(0, std::memcmp(copy.list[0].value.asnValue.string.stream, "abc", 3));
    EXPECT_NE(copy.list[1].value.asnValue.object.ids, ids.data());
    EXPECT_EQ(copy.list[2].value.asnValue.counter64.QuadPart, 0x123456789ULL);
    SnmpUtilVarBindListFree(&copy);
    EXPECT_EQ(copy.list, nullptr);
    EXPECT_EQ(copy.len, 0u);

    // A value that does not own its stream is not freed (text is on the stack).
    AsnAny borrowed = binds[0].value;
    SnmpUtilAsnAnyFree(&borrowed);
    EXPECT_EQ(borrowed.asnType, ASN_NULL);

    SnmpVarBindList empty{nullptr, 0};
    ASSERT_TRUE(SnmpUtilVarBindListCpy(&copy, &empty));
    EXPECT_EQ(copy.len, 0u);
    SnmpUtilVarBindListFree(&copy);
}

}  // namespace
