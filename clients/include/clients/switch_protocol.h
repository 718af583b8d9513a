// What the agent's SWITCH client and the SWITCH server share of the server's COM face: its
// class and the registry key that locates it, its event interface and the names of its
// dispatch members. Header only, so that the server (cx-switchd) uses it without the client.
//
// The constants have internal linkage on purpose: an inline variable that is used by reference
// becomes a unique symbol, and a library holding one can no longer be unloaded.
#pragma once

#include "platform/guid.h"
#include "platform/windef.h"

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

// Operation codes of the command frames (OpCode), as the agent sends them and the server
// answers them; the reply layouts are the collectors' and the framework's.
namespace switch_op {
constexpr DWORD kSwitchItem = 0xE001;       // OpCodeExt: one of switch_ext
constexpr DWORD kPermissionEvent = 0xE002;  // event: a permission flag changed
constexpr DWORD kServerCabinet = 0xE204;
constexpr DWORD kCabinetList = 0x0220;
constexpr DWORD kBladeSystem = 0xE221;
constexpr DWORD kManagementBladeAddress = 0xE222;
constexpr DWORD kComponentItem = 0x0C00;   // OpCodeExt: an item code (switch_item)
constexpr DWORD kComponentCount = 0x0C21;  // OpCodeExt: a component class (ComponentType)
constexpr DWORD kScanEvent = 0x0C80;       // event: data byte 1 asks for a scan
constexpr DWORD kPowerSupplyCount = 0x0500;
constexpr DWORD kPowerSupplyStatus = 0x0501;
constexpr DWORD kProcessorCount = 0x0600;
constexpr DWORD kProcessorStatus = 0x0601;
constexpr DWORD kProcessorData = 0x0603;
constexpr DWORD kProcessorVendor = 0x0604;
constexpr DWORD kProcessorName = 0x0605;
constexpr DWORD kMemorySlotCount = 0x0700;
constexpr DWORD kMemorySlotStatus = 0x0701;
constexpr DWORD kMemoryModuleName = 0x0702;
constexpr DWORD kMemoryModuleData = 0x0703;
constexpr DWORD kPciConfig = 0x1401;
}  // namespace switch_op

// The sub-functions of switch_op::kSwitchItem.
namespace switch_ext {
constexpr DWORD kSetAllowed = 0x3810;
constexpr DWORD kShutdownAllowed = 0x3811;
constexpr DWORD kAccountCheck = 0x3812;
constexpr DWORD kUpsCount = 0x0100;
constexpr DWORD kServiceBoardAddress = 0x1200;      // a storage extension's board
constexpr DWORD kVexServiceBoardAddress = 0x14A0;   // a board named "Vex ..."
constexpr DWORD kVelmServiceBoardAddress = 0x14B0;  // the server's other boards
}  // namespace switch_ext

// Item codes of switch_op::kComponentItem: a section of components in the high byte, the
// field of the component entry in the low byte. The request table (CX_MIB.ini) names them for
// the agent; the server answers them.
namespace switch_item {
enum Section : DWORD {
    kCabinet = 0x20,
    kChassis = 0x21,
    kPowerBackplane = 0x22,
    kPowerSupply = 0x23,
    kManagementCtrl = 0x29,
    kManagementFirmware = 0x2A,
    kSdrVersion = 0x2B,
    kFan = 0x2C,
    kUps = 0x33,
    kBaseBoard = 0x34,
    kBios = 0x36,
    kMemoryModule = 0x37,
};
enum Field : DWORD {
    kVendor = 1,
    kProdName = 2,
    kProdNumber = 3,
    kProdDescript = 4,
    kVersion = 5,
    kManuDate = 6,
    kSerialNo = 7,
    kLanguage = 8,
    kCompId = 9,
};
constexpr DWORD Code(Section section, Field field) { return DWORD{section} << 8 | field; }
// A switch blade's firmware version text (ObjectId: the blade).
constexpr DWORD kSwitchBladeFirmware = 0x0D06;
}  // namespace switch_item
