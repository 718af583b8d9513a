// cx-switchd's server object without sockets: refusal of malformed calls and the PCI
// configuration answers of --linux (names per --methods, the journal lines and the answers the
// client reads are proved through the real server).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "clients/switch_protocol.h"
#include "pci_config.h"
#include "platform/objbase.h"
#include "request_handler.h"
#include "sysfs_tree.h"
#include "temp_dir.h"

namespace {

using cx::com::Message;
using cx::com::MessageKind;
using cx::com::WireValue;
using cx::switchd::MethodSet;
using cx::switchd::RequestHandler;

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

class Handler : public ::testing::Test {
  protected:
    void Start(MethodSet methods, const char* scenario_text = "",
               RequestHandler::Backend backend = {}) {
        cx::switchd::Scenario scenario;
        std::string error;
        ASSERT_TRUE(cx::switchd::ParseScenario(scenario_text, &scenario, &error)) << error;
        store_.Replace(std::move(scenario));
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

}  // namespace
