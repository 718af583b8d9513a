// The message format that carries COM calls between a client process and an out-of-process
// server over one Unix-socket connection. Both sides decode with these functions, which accept
// any bytes and refuse what does not fit; see docs/platform/com.md for the layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/guid.h"
#include "platform/oleauto.h"

namespace cx::com {

// The largest message body either side accepts; a peer announcing more is cut off.
constexpr std::uint32_t kMaxMessageBytes = 4u << 20;
// The most arguments of one call or event.
constexpr std::uint32_t kMaxArguments = 64;
// The longest member name, in characters.
constexpr std::uint32_t kMaxNameChars = 256;

enum class MessageKind : std::uint8_t {
    kCreate = 1,               // client: clsid, iid
    kResult = 2,               // server: hr (answers Create, FindConnectionPoint, Unadvise)
    kGetIdOfName = 3,          // client: name
    kDispId = 4,               // server: hr, dispid
    kInvoke = 5,               // client: dispid, flags, want_result, args, named
    kInvokeResult = 6,         // server: hr, arg_error, by_ref (index, value), result
    kFindConnectionPoint = 7,  // client: iid
    kAdvise = 8,               // client: iid
    kAdviseResult = 9,         // server: hr, cookie
    kUnadvise = 10,            // client: iid, cookie
    kCancel = 11,              // client: call_id of the call to give up (no answer)
    kEvent = 12,               // server: cookie, dispid, args
    kEventResult = 13,         // client: hr
};

// One argument or result as it travels: the variant type and its value. By-reference types
// travel with the referenced value; BSTRs travel as their bytes (a NULL BSTR is is_null).
struct WireValue {
    VARTYPE vt = VT_EMPTY;
    std::int64_t number = 0;
    std::string bytes;
    bool is_null = false;
};

struct Message {
    MessageKind kind = MessageKind::kResult;
    std::uint32_t call_id = 0;
    HRESULT hr = 0;
    GUID guid1{};
    GUID guid2{};
    DISPID dispid = 0;
    std::uint16_t flags = 0;
    bool want_result = false;
    std::uint32_t cookie = 0;
    std::uint32_t arg_error = 0;
    std::u16string name;
    std::vector<WireValue> args;  // first argument first (not the reversed DISPPARAMS order)
    std::vector<DISPID> named;
    std::vector<std::pair<std::uint32_t, WireValue>> by_ref;  // argument index, new value
    WireValue result;
};

// The whole frame: a 32-bit little-endian body length, then the body.
std::string EncodeMessage(const Message& message);
// Decodes one body (without the length prefix). False for anything malformed: unknown kind,
// truncated or trailing bytes, counts over the limits, unsupported variant types.
bool DecodeMessage(const std::uint8_t* body, std::size_t size, Message* message);
// The body length announced by a 4-byte prefix; false when it exceeds kMaxMessageBytes.
bool DecodeLength(const std::uint8_t (&prefix)[4], std::uint32_t* length);

// True for the variant types the transport carries (with or without VT_BYREF): VT_EMPTY,
// VT_I2, VT_I4, VT_BSTR, VT_BOOL, VT_UI1, VT_UI2, VT_UI4.
bool IsWireType(VARTYPE vt);
// Reads a variant (dereferencing VT_BYREF) into its wire form; DISP_E_BADVARTYPE otherwise.
HRESULT WireFromVariant(const VARIANT& variant, WireValue* value);
// Builds an owned variant (never by-reference) from a wire value; the caller clears it.
HRESULT VariantFromWire(const WireValue& value, VARIANT* variant);
// Writes a returned by-reference value through `target`, which must be a VT_BYREF variant of
// the same base type; a BSTR target gets a fresh string and its old one is freed.
HRESULT StoreByRef(const WireValue& value, VARIANT* target);

}  // namespace cx::com
