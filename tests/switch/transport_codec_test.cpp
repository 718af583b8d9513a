// The transport message format: refusal of malformed bodies and of by-reference answers of
// another type (round trips of every message kind run in each call of the client tests).
#include <gtest/gtest.h>

#include <cstring>

#include "platform/com_transport.h"
#include "platform/objbase.h"

namespace {

using cx::com::DecodeMessage;
using cx::com::EncodeMessage;
using cx::com::Message;
using cx::com::MessageKind;
using cx::com::WireValue;

WireValue Value(VARTYPE vt, std::int64_t number, std::string bytes = {}) {
    WireValue value;
    value.vt = vt;
    value.number = number;
    value.bytes = std::move(bytes);
    return value;
}

bool Decode(const std::string& body, Message* message) {
    return DecodeMessage(reinterpret_cast<const std::uint8_t*>(body.data()), body.size(), message);
}

TEST(TransportCodec, RefusesMalformedBodies) {
    Message invoke;
    invoke.kind = MessageKind::kInvoke;
    invoke.args = {Value(VT_BSTR, 0, "abcd")};
    std::string good = EncodeMessage(invoke).substr(4);
    Message decoded;
    ASSERT_TRUE(Decode(good, &decoded));

    const auto patched = [&](std::size_t at, char value) {
        std::string body = good;
        body[at] = value;
        return body;
    };
    const std::pair<const char*, std::string> cases[] = {
        {"empty", ""},
        {"truncated", good.substr(0, good.size() - 1)},
        {"trailing byte", good + "x"},
        {"unknown kind", patched(0, 99)},
        {"uncarried type", patched(16, 9)},  // first argument's vt: VT_DISPATCH is not carried
        {"string longer than the body", patched(22, '\x7F')},
        {"too many arguments", patched(12, 65)},  // argument count over the limit
    };
    for (const auto& [what, body] : cases)
        EXPECT_FALSE(Decode(body, &decoded)) << what;

    std::uint8_t too_long[4] = {0xFF, 0xFF, 0xFF, 0x7F};
    std::uint32_t length;
    EXPECT_FALSE(cx::com::DecodeLength(too_long, &length));
}

TEST(TransportCodec, StoresByReferenceOnlyIntoTheSameType) {
    BSTR text = SysAllocString(u"old");
    VARIANT target;
    VariantInit(&target);
    target.vt = VT_BYREF | VT_BSTR;
    target.pbstrVal = &text;
    EXPECT_EQ(cx::com::StoreByRef(Value(VT_BYREF | VT_BSTR, 0, "new!"), &target), S_OK);
    EXPECT_EQ(SysStringByteLen(text), 4u);
    EXPECT_EQ(std::memcmp(text, "new!", 4), 0);
    EXPECT_EQ(cx::com::StoreByRef(Value(VT_BYREF | VT_UI1, 1), &target), RPC_E_INVALID_DATAPACKET);
    SysFreeString(text);

    VARIANT by_value;
    VariantInit(&by_value);
    by_value.vt = VT_I2;
    EXPECT_EQ(cx::com::StoreByRef(Value(VT_I2, 1), &by_value), RPC_E_INVALID_DATAPACKET);
}

}  // namespace
