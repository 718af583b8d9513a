// The transport message format: round trips of every carried type and of the answer and event
// fields, and refusal of malformed bodies.
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

TEST(TransportCodec, RoundTripsInvokeWithEveryCarriedType) {
    Message invoke;
    invoke.kind = MessageKind::kInvoke;
    invoke.call_id = 77;
    invoke.dispid = 8;
    invoke.flags = DISPATCH_METHOD;
    invoke.want_result = true;
    invoke.args = {Value(VT_I2, -2),
                   Value(VT_I4, 0x7FFFFFFF),
                   Value(VT_UI1, 255),
                   Value(VT_UI2, 65535),
                   Value(VT_UI4, 0xFFFFFFFF),
                   Value(VT_BOOL, -1),
                   Value(VT_BYREF | VT_BSTR, 0, std::string("a\0b", 3)),
                   Value(VT_EMPTY, 0)};
    invoke.named = {DISPID_PROPERTYPUT};

    std::string frame = EncodeMessage(invoke);
    std::uint32_t length;
    std::memcpy(&length, frame.data(), 4);
    EXPECT_EQ(length, frame.size() - 4);

    Message decoded;
    ASSERT_TRUE(Decode(frame.substr(4), &decoded));
    EXPECT_EQ(decoded.kind, MessageKind::kInvoke);
    EXPECT_EQ(decoded.call_id, 77u);
    EXPECT_EQ(decoded.dispid, 8);
    EXPECT_TRUE(decoded.want_result);
    ASSERT_EQ(decoded.args.size(), invoke.args.size());
    for (std::size_t i = 0; i < invoke.args.size(); ++i) {
        EXPECT_EQ(decoded.args[i].vt, invoke.args[i].vt) << i;
        EXPECT_EQ(decoded.args[i].number, invoke.args[i].number) << i;
        EXPECT_EQ(decoded.args[i].bytes, invoke.args[i].bytes) << i;
    }
    EXPECT_EQ(decoded.named, invoke.named);
}

// The fields only an answer or an event carries (names and plain answers travel in every call of
// the client tests).
TEST(TransportCodec, RoundTripsTheFieldsOfAnswersAndEvents) {
    Message answer;
    answer.kind = MessageKind::kInvokeResult;
    answer.hr = DISP_E_TYPEMISMATCH;
    answer.arg_error = 3;
    answer.by_ref = {{1, Value(VT_BYREF | VT_UI1, 0x0F)}};
    answer.result.vt = VT_BSTR;
    answer.result.is_null = true;
    Message decoded;
    ASSERT_TRUE(Decode(EncodeMessage(answer).substr(4), &decoded));
    EXPECT_EQ(decoded.hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(decoded.arg_error, 3u);
    ASSERT_EQ(decoded.by_ref.size(), 1u);
    EXPECT_EQ(decoded.by_ref[0].first, 1u);
    EXPECT_EQ(decoded.by_ref[0].second.number, 0x0F);
    EXPECT_TRUE(decoded.result.is_null);

    Message event;
    event.kind = MessageKind::kEvent;
    event.cookie = 9;
    ASSERT_TRUE(Decode(EncodeMessage(event).substr(4), &decoded));
    EXPECT_EQ(decoded.cookie, 9u);
}

TEST(TransportCodec, RefusesMalformedBodies) {
    Message invoke;
    invoke.kind = MessageKind::kInvoke;
    invoke.args = {Value(VT_BSTR, 0, "abcd")};
    std::string good = EncodeMessage(invoke).substr(4);
    Message decoded;
    ASSERT_TRUE(Decode(good, &decoded));

    struct Case {
        const char* what;
        std::string body;
    };
    std::string unknown_kind = good;
    unknown_kind[0] = 99;
    std::string bad_type = good;
    bad_type[16] = 9;  // first argument's vt: VT_DISPATCH is not carried
    std::string long_blob = good;
    long_blob[22] = '\x7F';  // the string claims far more bytes than follow
    std::string many_args = good;
    many_args[12] = 65;  // argument count over the limit
    const Case cases[] = {
        {"empty", ""},
        {"truncated", good.substr(0, good.size() - 1)},
        {"trailing byte", good + "x"},
        {"unknown kind", unknown_kind},
        {"uncarried type", bad_type},
        {"string longer than the body", long_blob},
        {"too many arguments", many_args},
    };
    for (const Case& c : cases)
        EXPECT_FALSE(Decode(c.body, &decoded)) << c.what;

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
