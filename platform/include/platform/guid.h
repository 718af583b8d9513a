// GUIDs (class, interface and connection identifiers) with their Windows layout and text form.
#pragma once

#include "platform/windef.h"

struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;
using LPGUID = GUID*;
using LPIID = IID*;
using LPCLSID = CLSID*;

inline bool IsEqualGUID(REFGUID a, REFGUID b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i) {
        if (a.Data4[i] != b.Data4[i]) return false;
    }
    return true;
}
inline bool IsEqualIID(REFIID a, REFIID b) { return IsEqualGUID(a, b); }
inline bool IsEqualCLSID(REFCLSID a, REFCLSID b) { return IsEqualGUID(a, b); }
inline bool operator==(REFGUID a, REFGUID b) { return IsEqualGUID(a, b); }

extern const IID IID_NULL;
extern const CLSID CLSID_NULL;
#define GUID_NULL IID_NULL

// Writes "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (upper case, 39 characters with the NUL).
// Returns the characters written including the NUL, or 0 when `size` is below 39.
int StringFromGUID2(REFGUID guid, WCHAR* text, int size);

namespace cx::com {
// The same text in 8-bit characters (registry paths, traces, command lines).
void FormatGuid(REFGUID guid, char (&text)[39]);
}  // namespace cx::com
