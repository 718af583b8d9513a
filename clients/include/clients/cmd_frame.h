// The command frame exchanged with the SWITCH server: a 48-byte little-endian header ("$SIP",
// version 2), then the data.
#pragma once

#include "platform/windef.h"

#define CMD_MAGIC "$SIP"
#define CMD_VERSION 2
#define CMD_HEADER_LENGTH 48

// Status values with a fixed meaning to the agent.
#define CMD_STATUS_OK 0x00u
#define CMD_STATUS_OK_0C 0x0Cu
#define CMD_STATUS_OK_15 0x15u
#define CMD_STATUS_OK_FF 0xFFu
#define CMD_STATUS_BUSY 0x0Fu
#define CMD_STATUS_REQUEST 0x16u  // the status every request of the agent is sent with
#define CMD_STATUS_NOT_DELIVERED 6u
#define CMD_STATUS_NO_FRAME 23u
// What the SWITCH server answers where it has nothing to tell: an answer, not a failure.
#define CMD_STATUS_NOT_AVAILABLE 0x01u

// CabinetId of the server's own cabinet: the agent's SwitchRequest puts the server's number in
// its place once the cabinet collector has found it.
#define CMD_CABINET_SERVER 0xFFFFFFFFu

struct CmdHeader {
    char Magic[4];
    WORD Version;
    WORD HeaderLength;
    DWORD DataLength;
    DWORD OpCode;
    DWORD OpCodeExt;
    DWORD ObjectId;
    DWORD CabinetId;
    DWORD Status;
    DWORD Reserved1;
    WORD MidLow;
    WORD MidHigh;
    DWORD Reserved2[2];
};
static_assert(sizeof(CmdHeader) == CMD_HEADER_LENGTH, "the frame header is 48 bytes");

// The first block of every frame: the header and the four data bytes that are always there.
struct CmdFrameHead {
    CmdHeader Header;
    BYTE Data[4];
};
static_assert(sizeof(CmdFrameHead) == 52, "a frame starts with 52 bytes");

// A header with magic, version and length set and every other field 0.
void InitCmdHeader(CmdFrameHead* head);
