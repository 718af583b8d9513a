// cx-switchd's core without sockets: scenario files (the line format, reply items, the order
// of preference between matching lines, the mistakes reported), the transport's refusal of
// malformed bodies, the server object's refusal of malformed calls and the PCI configuration
// answers of --linux. Names per --methods, the journal lines and the answers the client reads
// are proved through the real server.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "clients/switch_protocol.h"
#include "pci_config.h"
#include "platform/com_transport.h"
#include "platform/objbase.h"
#include "request_handler.h"
#include "scenario.h"
#include "sysfs_tree.h"
#include "temp_dir.h"

namespace {

using cx::com::DecodeMessage;
using cx::com::EncodeMessage;
using cx::com::Message;
using cx::com::MessageKind;
using cx::com::WireValue;
using cx::switchd::MethodSet;
using cx::switchd::ParseScenario;
using cx::switchd::ReplySpec;
using cx::switchd::RequestHandler;
using cx::switchd::RequestKey;
using cx::switchd::Scenario;
using cx::switchd::ScenarioStore;

WireValue Value(VARTYPE vt, std::int64_t number, std::string bytes = {}) {
    WireValue value;
    value.vt = vt;
    value.number = number;
    value.bytes = std::move(bytes);
    return value;
}
WireValue I2(std::int64_t number) { return Value(VT_I2, number); }
WireValue Ref(std::string bytes = {}) { return Value(VT_BYREF | VT_BSTR, 0, std::move(bytes)); }

// A request header (48 bytes, status 0x16) with the opcode, extension and object given.
std::string Header(std::uint32_t op, std::uint32_t ext, std::uint32_t object = 0) {
    std::string header(48, '\0');
    std::memcpy(header.data(), "$SIP\x02\x00\x30\x00", 8);
    const std::uint32_t fields[] = {op, ext, object, 0, 0x16};
    std::memcpy(header.data() + 12, fields, sizeof(fields));
    return header;
}

void Load(ScenarioStore& store, const char* text) {
    Scenario scenario;
    std::string error;
    EXPECT_TRUE(ParseScenario(text, &scenario, &error)) << error;
    store.Replace(std::move(scenario));
}

class Handler : public ::testing::Test {
  protected:
    void Start(MethodSet methods, const char* scenario_text = "",
               RequestHandler::Backend backend = {}) {
        Load(store_, scenario_text);
        handler_ = std::make_unique<RequestHandler>(&store_, methods, nullptr, std::move(backend));
        Message create;
        create.kind = MessageKind::kCreate;
        create.guid1 = CLSID_SwitchServer;
        EXPECT_EQ(Send(create).hr, S_OK);
    }

    Message Send(const Message& request) {
        cx::switchd::Effects effects;
        std::optional<Message> answer = handler_->Handle(request, &client_, &effects);
        return answer ? *answer : Message();
    }

    DISPID IdOf(const std::u16string& name) {
        Message request;
        request.kind = MessageKind::kGetIdOfName;
        request.name = name;
        Message answer = Send(request);
        return SUCCEEDED(answer.hr) ? answer.dispid : DISPID_UNKNOWN;
    }

    Message Invoke(DISPID id, std::vector<WireValue> args) {
        Message request;
        request.kind = MessageKind::kInvoke;
        request.dispid = id;
        request.flags = DISPATCH_METHOD;
        request.args = std::move(args);
        return Send(request);
    }

    cx::switchd::ScenarioStore store_;
    std::unique_ptr<RequestHandler> handler_;
    cx::switchd::ClientState client_;
};

TEST_F(Handler, RefusesMalformedCallsAndAllButCreationBeforeTheObjectExists) {
    Start(MethodSet{});
    const DISPID cmd = IdOf(u"CmdRequest");
    const std::tuple<const char*, DISPID, std::vector<WireValue>, HRESULT> cases[] = {
        {"two arguments", cmd, {Ref(), I2(0)}, DISP_E_BADPARAMCOUNT},
        {"header by value",
         cmd,
         {Value(VT_BSTR, 0, Header(1, 0)), Ref(), I2(0)},
         DISP_E_TYPEMISMATCH},
        {"short header", cmd, {Ref("$SIP"), Ref(), I2(0)}, E_INVALIDARG},
        {"wrong magic", cmd, {Ref(std::string(48, 'X')), Ref(), I2(0)}, E_INVALIDARG},
        {"VCRequest without status byte",
         IdOf(u"VCRequest"),
         {I2(1), I2(0), I2(0), I2(0), Ref(), I2(0x16), I2(0)},
         DISP_E_TYPEMISMATCH},
        {"unknown member", 555, {}, DISP_E_MEMBERNOTFOUND},
    };
    for (const auto& [what, id, args, expected] : cases)
        EXPECT_EQ(Invoke(id, args).hr, expected) << what;

    client_ = {};
    Message request;
    request.kind = MessageKind::kGetIdOfName;
    request.name = u"CmdRequest";
    EXPECT_EQ(Send(request).hr, E_UNEXPECTED);
    request.kind = MessageKind::kCreate;
    request.guid1 = IID_IDispatch;
    EXPECT_EQ(Send(request).hr, CLASS_E_CLASSNOTAVAILABLE);
}

// cx-switchd --linux: PCI configuration headers from a recorded tree; scenario lines first.
TEST_F(Handler, PciConfigFromSysfsAfterTheScenario) {
    using namespace std::string_literals;
    cx::test::TempDir root;
    std::string header(300, '\0');
    for (std::size_t i = 0; i < header.size(); ++i)
        header[i] = static_cast<char>(i * 7);
    for (const auto& [address, bytes] : {std::pair{"0000:00:03.0", 64},
                                         {"0000:02:1f.7", 300},
                                         {"0000:00:05.0", 20}})  // 64 unprivileged, 20 truncated
        cx::test::WritePciFunction(root.Path(),
                                   {.address = address, .config = header.substr(0, bytes)});
    Start(MethodSet{}, "reply 0x1401 0 5 * data 00 04 00 : hex 01 02\n",
          [read = cx::switchd::SysfsPciConfigReader(root.Path())](const auto& key) {
              return cx::switchd::AnswerPciConfig(key, read);
          });
    const std::tuple<std::uint32_t, std::string, std::uint32_t, std::string> cases[] = {
        // object, data (bus - 1, device, function - 1), status, reply
        {5, "\x00\x03\x00"s, 0, header.substr(0, 64)},
        {5, "\x02\x1f\x07"s, 0, header.substr(0, 256)},
        {5, "\x00\x04\x00"s, 0, "\x01\x02"},
        {5, "\x00\x05\x00"s, 1, ""},
        {5, "\x00\x20\x00"s, 1, ""},
        {5, "\x00\x03"s, 1, ""},  // data cut short
        {6, "\x00\x03\x00"s, 1, ""},
    };
    for (const auto& [object, data, status, reply] : cases) {
        Message answer =
            Invoke(IdOf(u"CmdRequest"), {Ref(Header(0x1401, 0, object)), Ref(data), I2(30)});
        ASSERT_EQ(answer.hr, S_OK);
        EXPECT_EQ(answer.by_ref[0].second.bytes[28], static_cast<char>(status)) << object;
        EXPECT_EQ(answer.by_ref[1].second.bytes, reply);
    }
}

TEST(Scenario, ItemsBuildTheReplyData) {
    ScenarioStore store;
    Load(store,
         "# the server cabinet\r\n"
         "reply 0x0604 0 * * : status 0x15 text \"Arvex\\\"\\x41\" hex 0a 0B byte 7 dword "
         "0x01020304   # vendor\n\n");
    const ReplySpec vendor = store.Answer({0x0604, 0, 3, 1});
    EXPECT_EQ(vendor.status, 0x15u);
    EXPECT_EQ(vendor.data, std::string("Arvex\"A\0\x0a\x0b\x07\x04\x03\x02\x01", 15));
}

TEST(Scenario, PrefersDataThenFewerWildcardsThenFileOrder) {
    ScenarioStore store;
    Load(store,
         "reply * * * * : byte 1\n"
         "reply 0x1401 * 5 * : byte 2\n"
         "reply 0x1401 0 5 * : byte 3\n"
         "reply 0x1401 * * * data 00 1F : byte 4\n"
         "reply 0x0C21 * * * : byte 5\n"
         "reply * 5 * * : byte 6\n");
    const std::pair<RequestKey, const char*> cases[] = {
        {{0x1401, 0, 5, 1}, "\x03"},
        {{0x1401, 1, 5, 1}, "\x02"},
        {{0x1401, 0, 5, 1, std::string("\x00\x1F\x02", 3)}, "\x04"},
        {{0x1401, 0, 5, 1, std::string("\x00\x1E", 2)}, "\x03"},
        {{0x0C21, 5, 0, 0}, "\x05"},  // equal wildcards: the earlier line
        {{0x9999, 0, 0, 0}, "\x01"},
    };
    for (const auto& [request, expected] : cases)
        EXPECT_EQ(store.Answer(request).data, expected) << request.op_code;
}

TEST(Scenario, ReportsMistakesWithTheirLine) {
    const std::pair<const char*, const char*> cases[] = {
        {"answer 1 2 3 4 : byte 1", "line 1: a line must start with \"reply\""},
        {"\nreply 1 2 3 : byte 1", "line 2: bad request field \":\""},
        {"reply 1 2 3 4 byte 1", "line 1: missing \":\""},
        {"reply 1 2 3 4 : byte 256", "line 1: value too large for byte"},
        {"reply 1 2 3 4 : text \"open", "line 1: unterminated text"},
        {"reply 1 2 3 4 : frobnicate", "line 1: unknown item \"frobnicate\""},
        {"reply 1 2 3 4 data 0G : byte 1", "line 1: bad data byte \"0G\""},
        {"reply 0x100000000 2 3 4 : byte 1", "line 1: bad request field \"0x100000000\""},
        {"reply 1 2 3 4 : delay 600001", "line 1: delay over 600000 ms"},
        {"reply 1 2 3 4 : status x", "line 1: bad number \"x\" after status"},
    };
    for (const auto& [text, expected] : cases) {
        Scenario scenario;
        std::string error;
        EXPECT_FALSE(ParseScenario(text, &scenario, &error)) << text;
        EXPECT_EQ(error, expected) << text;
    }
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
