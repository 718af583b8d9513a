// GUID constants of the runtime and the braced text form used in registry paths.
#include <cctype>
#include <cstdio>
#include <cstring>

#include "platform/guid.h"
#include "platform/objbase.h"

const IID IID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
const CLSID CLSID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IGlobalInterfaceTable = {0x00000146, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IConnectionPoint = {
    0xB196B286, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
const IID IID_IConnectionPointContainer = {
    0xB196B284, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
const IID IID_ICancelMethodCalls = {0x00000029, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const CLSID CLSID_StdGlobalInterfaceTable = {
    0x00000323, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

namespace cx::com {

void FormatGuid(REFGUID guid, char (&text)[39]) {
    std::snprintf(text, sizeof(text), "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0],
                  guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
                  guid.Data4[6], guid.Data4[7]);
}

namespace {

bool ReadHex(const char* text, int digits, unsigned long* value) {
    *value = 0;
    for (int i = 0; i < digits; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (!std::isxdigit(c)) return false;
        int digit = std::isdigit(c) ? c - '0' : std::toupper(c) - 'A' + 10;
        *value = (*value << 4) | static_cast<unsigned long>(digit);
    }
    return true;
}

}  // namespace

bool ParseGuid(const char* text, GUID* guid) {
    if (text == nullptr || std::strlen(text) != 38 || text[0] != '{' || text[37] != '}' ||
        text[9] != '-' || text[14] != '-' || text[19] != '-' || text[24] != '-') {
        return false;
    }
    unsigned long value;
    if (!ReadHex(text + 1, 8, &value)) return false;
    guid->Data1 = static_cast<DWORD>(value);
    if (!ReadHex(text + 10, 4, &value)) return false;
    guid->Data2 = static_cast<WORD>(value);
    if (!ReadHex(text + 15, 4, &value)) return false;
    guid->Data3 = static_cast<WORD>(value);
    static constexpr int kByteOffsets[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        if (!ReadHex(text + kByteOffsets[i], 2, &value)) return false;
        guid->Data4[i] = static_cast<BYTE>(value);
    }
    return true;
}

}  // namespace cx::com

int StringFromGUID2(REFGUID guid, WCHAR* text, int size) {
    if (text == nullptr || size < 39) return 0;
    char narrow[39];
    cx::com::FormatGuid(guid, narrow);
    for (int i = 0; i < 39; ++i)
        text[i] = static_cast<WCHAR>(narrow[i]);
    return 39;
}
