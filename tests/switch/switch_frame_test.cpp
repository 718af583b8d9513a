// The client's frames and event sink: CSwitchCommand's accessors without a frame, growth by
// SetData, the status checks and a request built over a reply (the frame fields are checked
// through the server's journal); events of malformed shapes, refusals, and CRcmiClient::Reply's
// permission flags.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "clients/rcmi_client.h"
#include "clients/rights_flags.h"

namespace {

// Each event received, as "opcode ext object cabinet status:data" in hex.
class RecordingClient : public CRcmiClient {
  public:
    RecordingClient() {
        SetReplyHandler([this](CSwitchCommand* command) {
            const CmdHeader* h = command->GetHeader();
            const BYTE* data = command->GetData(0);
            char fields[64];
            std::snprintf(fields, sizeof(fields), "%X %X %X %X %X:", h->OpCode, h->OpCodeExt,
                          h->ObjectId, h->CabinetId, h->Status);
            received.push_back(
                fields + (data ? std::string(reinterpret_cast<const char*>(data), h->DataLength)
                               : std::string()));
        });
    }
    std::vector<std::string> received;
};

// A number argument of type `vt`, or a string one.
VARIANT Arg(VARTYPE vt, LONG number) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    if (vt == VT_I2) v.iVal = static_cast<SHORT>(number);
    if (vt == VT_UI1) v.bVal = static_cast<BYTE>(number);
    return v;
}
VARIANT Arg(const std::string& bytes) {
    VARIANT v = Arg(VT_BSTR, 0);
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

std::string EventHeader(DWORD op_code, DWORD length) {
    CmdFrameHead head;
    InitCmdHeader(&head);
    head.Header.OpCode = op_code;
    head.Header.DataLength = length;
    return std::string(reinterpret_cast<const char*>(&head), sizeof(head));
}

// Both forms arrive whole through the real server; here the malformed ones of form 4.
TEST(SwitchSink, ShortOrOverlongEventHeadersBuildASafeFrame) {
    RecordingClient client;
    // A header naming more data than the data string holds gets only what is there.
    EXPECT_EQ(Fire(&client, 4, {Arg(EventHeader(0x0C80, 5000)), Arg("ab")}), S_OK);
    // A header string shorter than a header leaves the rest of the fresh header.
    EXPECT_EQ(Fire(&client, 4, {Arg("$SIP"), Arg("zz")}), S_OK);
    EXPECT_EQ(client.received, (std::vector<std::string>{"C80 0 0 0 0:ab", "0 0 0 0 0:"}));
}

TEST(SwitchSink, RefusesEventsOfTheWrongShape) {
    RecordingClient client;
    const auto i2 = [](LONG n) { return Arg(VT_I2, n); };
    EXPECT_EQ(Fire(&client, 3, {i2(1), i2(2), i2(3), i2(4), i2(0), Arg("x")}),
              DISP_E_TYPEMISMATCH);  // status as VT_I2
    EXPECT_EQ(Fire(&client, 3, {i2(1), i2(2), i2(3), i2(4), Arg(VT_UI1, 0)}), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Fire(&client, 4, {Arg("h"), i2(1)}), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(Fire(&client, 4, {Arg("h")}), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Fire(&client, 5, {}), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Fire(&client, 1, {}), E_NOTIMPL);
    EXPECT_EQ(client.Invoke(3, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr),
              DISP_E_PARAMNOTFOUND);
    EXPECT_TRUE(client.received.empty());

    // Advise asks the sink for the event interface; nothing else is handed out.
    void* object = &client;
    EXPECT_EQ(client.QueryInterface(IID_IConnectionPoint, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
}

TEST(RcmiReply, PermissionEventsSwitchTheFlagsAndStillReachTheAgent) {
    RecordingClient client;
    SetAllowed = 0;
    ShutdownIsAllowed = 1;
    DoAccountCheck = 0;
    const struct {
        LONG ext;
        std::string data;
        BYTE set, shutdown, account;
    } cases[] = {
        {0x3811, std::string("\0", 1), 0, 0, 0},
        {0x3812, "\x07", 0, 0, 7},
        {0x3810, std::string("\x01\x00", 2), 0, 0, 7},  // two bytes: no permission change
        {0x3813, "\x01", 0, 0, 7},                      // unknown extension
    };
    for (const auto& c : cases) {
        // Event 3: opcode, extension, object, cabinet, status byte, data.
        Fire(&client, 3,
             {Arg(VT_I2, 0xE002), Arg(VT_I2, c.ext), Arg(VT_I2, 0), Arg(VT_I2, 0), Arg(VT_UI1, 0),
              Arg(c.data)});
        EXPECT_EQ(SetAllowed.load(), c.set) << c.ext;
        EXPECT_EQ(ShutdownIsAllowed.load(), c.shutdown) << c.ext;
        EXPECT_EQ(DoAccountCheck.load(), c.account) << c.ext;
    }
    EXPECT_EQ(client.received.size(), std::size(cases));
}

TEST(CmdFrame, WithoutFrameAccessorsAnswerEmpty) {
    CSwitchCommand command;
    EXPECT_EQ(command.GetHeader(), nullptr);
    EXPECT_EQ(command.GetData(0), nullptr);
    EXPECT_EQ(command.GetByte(0), 0);
    EXPECT_EQ(command.GetWord(0), 0);
    EXPECT_STREQ(command.GetDataString(), "");
    EXPECT_FALSE(command.IsOk(0, FALSE));
    EXPECT_FALSE(command.SetData("x", 1, 0));
    EXPECT_FALSE(CSwitchCommand::IsSuccessStatus(nullptr));
}

TEST(CmdFrame, SetDataStoresSmallValuesInPlaceAndGrowsForLongData) {
    CSwitchCommand command;
    command.SetRequest(0x0600, 0, 1, 0, 0x16);
    const WORD word = 0x1234;
    ASSERT_TRUE(command.SetData(&word, 2, 0));
    EXPECT_EQ(command.GetHeader()->DataLength, 2u);
    EXPECT_EQ(command.GetHeader()->Status, 0u);
    EXPECT_EQ(command.GetWord(0), 0x1234);
    EXPECT_EQ(command.GetWord(1), 0);  // needs four bytes
    EXPECT_EQ(command.GetByte(2), 0);

    char long_data[300];
    for (int i = 0; i < 300; ++i)
        long_data[i] = static_cast<char>(i);
    ASSERT_TRUE(command.SetData(long_data, 300, 0x0C));
    EXPECT_EQ(command.GetHeader()->OpCode, 0x0600u);  // the header moves with the data
    EXPECT_EQ(command.GetHeader()->DataLength, 300u);
    EXPECT_EQ(command.GetByte(299), static_cast<BYTE>(299 & 0xFF));
    EXPECT_EQ(command.GetData(300), nullptr);

    const DWORD zero_marker = 0xFFFFFFFF;
    command.SetData(&zero_marker, 4, 0);
    command.SetData("", 0, 0);  // length 0 with data stores a zero word
    EXPECT_EQ(command.GetHeader()->DataLength, 0u);
    EXPECT_EQ(std::memcmp(reinterpret_cast<BYTE*>(command.GetHeader()) + 48, "\0\0\0\0", 4), 0);

    command.SetData(long_data, 100, 0);
    command.ClearData();
    EXPECT_EQ(command.GetHeader()->DataLength, 0u);
    command.SetData(long_data, 200, 0);  // longer than the cleared length: grows again
    EXPECT_EQ(command.GetByte(199), 199);
}

TEST(CmdFrame, IsOkChecksStatusAndLength) {
    // status, data length, minimum length, "at least", expected
    const std::tuple<DWORD, DWORD, DWORD, BOOL, BOOL> cases[] = {
        {0x15, 3, 2, FALSE, FALSE}, {0x15, 3, 2, TRUE, TRUE},   {0x00, 0, 0, FALSE, FALSE},
        {0x0F, 4, 0, FALSE, FALSE}, {0x16, 4, 0, FALSE, FALSE}, {0x01, 4, 4, TRUE, FALSE},
    };
    const char data[4] = {1, 2, 3, 4};
    for (const auto& [status, length, min_length, at_least, expected] : cases) {
        CSwitchCommand command;
        command.SetRequest(1, 0, 0, 0, 0x16);
        command.SetData(data, length, status);
        EXPECT_EQ(command.IsOk(min_length, at_least), expected)
            << "status " << status << " length " << length << " min " << min_length;
    }
}

TEST(CmdFrame, SetRequestAfterAReplyBuildsAWellFormedRequest) {
    CSwitchCommand command;
    CmdFrameHead reply;
    std::memset(&reply, 0x5A, sizeof(reply));
    command.SetHeader(&reply);
    EXPECT_EQ(command.GetHeader()->DataLength, 0u);
    command.SetRequest(0x0220, 0, 0, 0, 0x16);
    EXPECT_EQ(std::memcmp(command.GetHeader()->Magic, "$SIP", 4), 0);
    EXPECT_EQ(command.GetHeader()->HeaderLength, 48);
    EXPECT_EQ(command.GetHeader()->MidLow, 0);
    EXPECT_EQ(command.GetHeader()->DataLength, 0u);
}

}  // namespace
