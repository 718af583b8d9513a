// What the agent's SWITCH client and the SWITCH server share of the server's COM face: its
// class and the registry key that locates it, its event interface and the names of its
// dispatch members. Header only, so that the server (cx-switchd) uses it without the client.
//
// The constants have internal linkage on purpose: an inline variable that is used by reference
// becomes a unique symbol, and a library holding one can no longer be unloaded.
#pragma once

#include "platform/guid.h"

constexpr CLSID CLSID_SwitchServer = {
    0x5F0B7C21, 0x93D4, 0x4E6A, {0xB8, 0x12, 0x6C, 0x04, 0xA9, 0xE3, 0x7D, 0x15}};
// The class's key below HKEY_LOCAL_MACHINE; its LocalServer value says where the server is.
constexpr const char* kSwitchServerClassKey =
    "SOFTWARE\\Classes\\CLSID\\{5F0B7C21-93D4-4E6A-B812-6C04A9E37D15}";
constexpr IID DIID_SwitchEvents = {
    0xA7E3D940, 0x2B61, 0x4C8F, {0x9D, 0x05, 0x81, 0xF6, 0xC2, 0xB4, 0xE9, 0x73}};

// The server's dispatch members by name (compared without regard to case).
namespace switch_method {
constexpr const char* kSyncRequest = "SyncRequest";
constexpr const char* kDefaultTimeout = "DefaultTimeout";
constexpr const char* kVCRequest = "VCRequest";
constexpr const char* kServerCabinetNumber = "ServerCabinetNumber";
constexpr const char* kServerControlVersion = "ServerControlVersion";
constexpr const char* kVCRequestEx = "VCRequestEx";
constexpr const char* kClientName = "ClientName";
constexpr const char* kCmdRequest = "CmdRequest";
}  // namespace switch_method
