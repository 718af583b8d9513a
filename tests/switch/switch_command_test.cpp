// CSwitchCommand: accessors without a frame, growth by SetData, the status checks and a request
// built over a reply (the frame fields are checked through the server's journal).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>

#include "clients/switch_command.h"

namespace {

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
