// The community a manager session uses when none is given: the first usable entry of the SNMP
// service's ValidCommunities.
#pragma once

#include "platform/windef.h"

// The default community of CSnmpMgr::OpenSession when no usable entry exists.
inline constexpr const char* kDefaultCommunity = "norbel";

// Copies the first usable community (at most size - 1 characters, terminated) into buffer.
// FALSE when there is none.
BOOL FindFirstCommunity(char* buffer, DWORD size);
