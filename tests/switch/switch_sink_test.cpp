// The event sink: argument shapes of events 3 and 4, refusals, and CRcmiClient::Reply's
// permission flags.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "clients/rcmi_client.h"
#include "clients/rights_flags.h"

namespace {

struct Received {
    DWORD op_code, op_code_ext, object_id, cabinet_id, status;
    std::string data;
};

class RecordingClient : public CRcmiClient {
  public:
    RecordingClient() {
        SetReplyHandler([this](CSwitchCommand* command) {
            const CmdHeader* h = command->GetHeader();
            const BYTE* data = command->GetData(0);
            received.push_back(
                {h->OpCode, h->OpCodeExt, h->ObjectId, h->CabinetId, h->Status,
                 data ? std::string(reinterpret_cast<const char*>(data), h->DataLength)
                      : std::string()});
        });
    }
    std::vector<Received> received;
};

VARIANT Short(SHORT value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I2;
    v.iVal = value;
    return v;
}

VARIANT Byte(BYTE value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_UI1;
    v.bVal = value;
    return v;
}

VARIANT Text(const std::string& bytes) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocStringByteLen(bytes.data(), static_cast<UINT>(bytes.size()));
    return v;
}

// Invokes the sink with arguments given first to last.
HRESULT Fire(IDispatch* sink, DISPID id, std::vector<VARIANT> first_to_last) {
    std::vector<VARIANT> reversed(first_to_last.rbegin(), first_to_last.rend());
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    HRESULT hr = sink->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    for (VARIANT& v : reversed)
        VariantClear(&v);
    return hr;
}

std::string EventHeader(DWORD op_code, DWORD ext, DWORD length, DWORD status) {
    CmdFrameHead head;
    InitCmdHeader(&head);
    head.Header.OpCode = op_code;
    head.Header.OpCodeExt = ext;
    head.Header.DataLength = length;
    head.Header.Status = status;
    return std::string(reinterpret_cast<const char*>(&head), sizeof(head));
}

TEST(SwitchSink, EventThreeBuildsTheFrameFromSixArguments) {
    RecordingClient client;
    EXPECT_EQ(Fire(&client, 3,
                   {Short(static_cast<SHORT>(0xE002)), Short(0x3811), Short(0),
                    Short(static_cast<SHORT>(0xFFFF)), Byte(0x15), Text(std::string("\0", 1))}),
              S_OK);
    ASSERT_EQ(client.received.size(), 1u);
    const Received& r = client.received[0];
    EXPECT_EQ(r.op_code, 0xE002u);  // 16-bit values are zero-extended
    EXPECT_EQ(r.op_code_ext, 0x3811u);
    EXPECT_EQ(r.cabinet_id, 0xFFFFu);
    EXPECT_EQ(r.status, 0x15u);
    EXPECT_EQ(r.data, std::string("\0", 1));
}

TEST(SwitchSink, EventFourTakesTheHeaderStringAndBoundsTheData) {
    RecordingClient client;
    EXPECT_EQ(Fire(&client, 4, {Text(EventHeader(0x0C80, 0, 1, 0)), Text("\x01")}), S_OK);
    // A header naming more data than the data string holds gets only what is there.
    EXPECT_EQ(Fire(&client, 4, {Text(EventHeader(0x0C80, 0, 5000, 0)), Text("ab")}), S_OK);
    // A header string shorter than a header leaves the rest of the fresh header.
    EXPECT_EQ(Fire(&client, 4, {Text("$SIP"), Text("zz")}), S_OK);
    ASSERT_EQ(client.received.size(), 3u);
    EXPECT_EQ(client.received[0].op_code, 0x0C80u);
    EXPECT_EQ(client.received[0].data, "\x01");
    EXPECT_EQ(client.received[1].data, "ab");
    EXPECT_EQ(client.received[2].op_code, 0u);
    EXPECT_EQ(client.received[2].data, "");
}

TEST(SwitchSink, RefusesEventsOfTheWrongShape) {
    RecordingClient client;
    struct Case {
        const char* what;
        DISPID id;
        std::vector<VARIANT> args;
        HRESULT expected;
    };
    std::vector<Case> cases;
    cases.push_back({"status as VT_I2",
                     3,
                     {Short(1), Short(2), Short(3), Short(4), Short(0), Text("x")},
                     DISP_E_TYPEMISMATCH});
    cases.push_back({"five arguments",
                     3,
                     {Short(1), Short(2), Short(3), Short(4), Byte(0)},
                     DISP_E_BADPARAMCOUNT});
    cases.push_back({"event 4 with a number", 4, {Text("h"), Short(1)}, DISP_E_TYPEMISMATCH});
    cases.push_back({"event 4 with one string", 4, {Text("h")}, DISP_E_BADPARAMCOUNT});
    cases.push_back({"dispatch ID 5", 5, {}, DISP_E_MEMBERNOTFOUND});
    cases.push_back({"dispatch ID 1", 1, {}, E_NOTIMPL});
    for (Case& c : cases)
        EXPECT_EQ(Fire(&client, c.id, std::move(c.args)), c.expected) << c.what;
    EXPECT_EQ(client.Invoke(3, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr),
              DISP_E_PARAMNOTFOUND);
    EXPECT_TRUE(client.received.empty());
}

TEST(SwitchSink, AnswersQueryInterfaceForEventsDispatchAndUnknownOnly) {
    RecordingClient client;
    for (const IID* iid : {&DIID_SwitchEvents, &IID_IDispatch, &IID_IUnknown}) {
        void* object = nullptr;
        EXPECT_EQ(client.QueryInterface(*iid, &object), S_OK);
        EXPECT_EQ(object, static_cast<IDispatch*>(&client));
    }
    void* object = &client;
    EXPECT_EQ(client.QueryInterface(IID_IConnectionPoint, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
}

TEST(RcmiReply, PermissionEventsSwitchTheFlagsAndStillReachTheAgent) {
    RecordingClient client;
    SetAllowed = 0;
    ShutdownIsAllowed = 1;
    DoAccountCheck = 0;
    struct Case {
        SHORT ext;
        std::string data;
        BYTE set, shutdown, account;
    };
    const Case cases[] = {
        {0x3811, std::string("\0", 1), 0, 0, 0},
        {0x3810, "\x01", 1, 0, 0},
        {0x3812, "\x07", 1, 0, 7},
        {0x3810, std::string("\x01\x00", 2), 1, 0, 7},  // two bytes: no permission change
        {0x3813, "\x01", 1, 0, 7},                      // unknown extension
    };
    for (const Case& c : cases) {
        Fire(&client, 3,
             {Short(static_cast<SHORT>(0xE002)), Short(c.ext), Short(0), Short(0), Byte(0),
              Text(c.data)});
        EXPECT_EQ(SetAllowed.load(), c.set) << c.ext;
        EXPECT_EQ(ShutdownIsAllowed.load(), c.shutdown) << c.ext;
        EXPECT_EQ(DoAccountCheck.load(), c.account) << c.ext;
    }
    EXPECT_EQ(client.received.size(), std::size(cases));
}

}  // namespace
