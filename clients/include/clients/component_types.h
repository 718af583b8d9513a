// The component types of the inventory: the CompType of a component row, the "Class" of a
// request-table section and the class the SWITCH count request (0x0C21) asks for are the same
// numbers. Named after the table file's [Component Type] section.
#pragma once

#include "platform/windef.h"

enum ComponentType : DWORD {
    kCompBusDevice = 0x00,
    kCompCabinet = 0x01,
    kCompChassis = 0x02,
    kCompPowerBackplane = 0x03,
    kCompPowerSupply = 0x04,
    kCompManagementCtrl = 0x05,
    kCompEnvironmentCtrl = 0x06,
    kCompFan = 0x07,
    kCompFrontPanel = 0x08,
    kCompScsiBackplane = 0x09,
    kCompProcessor = 0x0A,
    kCompSystemDevice = 0x0B,
    kCompStorageController = 0x0C,
    kCompNetworkController = 0x0D,
    kCompScsiTerminator = 0x0E,
    kCompLvdExtender = 0x0F,
    kCompGraphicsController = 0x10,
    kCompFibreBackplane = 0x11,
    kCompFibreLinkAdapter = 0x12,
    kCompUps = 0x13,
    kCompBaseBoard = 0x14,
    kCompComputerName = 0x15,
    kCompMemoryModule = 0x16,
    kCompMemoryExpansion = 0x17,
    kCompStorageDevice = 0x19,
    kCompOtherBusDevice = 0x1A,
    kCompRemoteServiceBoard = 0x1B,
    kCompMicroCtrl = 0x1C,
    kCompManagementBlade = 0x1F,
    kCompBios = 0xA0,
    kCompFirmware = 0xA1,
    kCompDeviceDriver = 0xA2,
    kCompManagementAgent = 0xA3,
    kCompManagementTool = 0xA4,
    kCompOperatingSystem = 0xA7,
    kCompSdrVersion = 0xA9,
};
