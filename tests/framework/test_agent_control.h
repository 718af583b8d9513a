// What the framework tests and their agent library agree on: the MIB root, the switches the
// library exports, and the variable that makes its factory register no region.
#pragma once

#include "platform/snmp.h"

#define kTestRoot "1.3.6.1.4.1.7391.2.10.2.10"

constexpr const char* kNoRegionVariable = "CX_FWTEST_NO_REGION";

extern "C" {
using FwTestSwitchFn = void (*)(int);
using FwTestCountFn = int (*)();
using FwTestActionFn = void (*)();
using FwTestPendingTrapFn = void (*)(DWORD);
using FwTestQueueTrapFn = BOOL (*)(AsnInteger32);
using FwTestRegParamFn = BOOL (*)(const char*, DWORD*);
using FwTestFilePathFn = BOOL (*)(const char*, char*, DWORD);
}
