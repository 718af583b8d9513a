// Trace renderings of values and bindings.
#include "framework/mib_text.h"

#include <cstdio>
#include <cstring>

#include "base/oid_text.h"

namespace {

constexpr std::size_t kTextSize = 1024;
// Three characters per byte ("%02X "), and room for the terminating NUL.
constexpr UINT kMaxHexBytes = (kTextSize - 1) / 3;

const char* TypeName(BYTE asn_type) {
    switch (asn_type) {
        case ASN_INTEGER: return "INTEGER";
        case ASN_OCTETSTRING: return "STRING";
        case ASN_NULL: return "NULL";
        case ASN_OBJECTIDENTIFIER: return "OID";
        case ASN_IPADDRESS: return "IP ADDRESS";
        case ASN_COUNTER32: return "COUNTER";
        case ASN_GAUGE32: return "GAUGE";
        case ASN_TIMETICKS: return "TIMETICKS";
        case ASN_OPAQUE: return "OPAQUE";
        default: return "UNKNOWN TYPE";
    }
}

// Appends "%02X " per byte from `used` on, as many bytes as fit.
void AppendHex(char* text, std::size_t used, const BYTE* bytes, UINT length) {
    for (UINT i = 0; i < length && used + 3 < kTextSize; ++i, used += 3) {
        std::snprintf(text + used, kTextSize - used, "%02X ", bytes[i]);
    }
}

// A terminating zero in the last byte is allowed; the last byte is not tested at all.
bool IsPrintable(const AsnOctetString& octets) {
    for (UINT i = 0; i + 1 < octets.length; ++i) {
        if (octets.stream[i] < 0x20 || octets.stream[i] > 0x7F) return false;
    }
    return true;
}

void RenderOctets(char* text, const char* type_name, const AsnOctetString& octets) {
    if (octets.stream == nullptr) {
        std::snprintf(text, kTextSize, "%s: NULL", type_name);
        return;
    }
    if (!IsPrintable(octets)) {
        text[0] = '\0';
        AppendHex(text, 0, octets.stream,
                  octets.length < kMaxHexBytes ? octets.length : kMaxHexBytes);
        return;
    }
    const void* zero = std::memchr(octets.stream, 0, octets.length);
    std::size_t length =
        zero != nullptr ? static_cast<const BYTE*>(zero) - octets.stream : octets.length;
    // The whole rendering is cut to the buffer, closing quote included.
    int used = std::snprintf(text, kTextSize, "%s: \"", type_name);
    std::size_t room = kTextSize - 1 - static_cast<std::size_t>(used);
    if (length > room) length = room;
    std::memcpy(text + used, octets.stream, length);
    std::size_t end = static_cast<std::size_t>(used) + length;
    if (end < kTextSize - 1) text[end++] = '"';
    text[end] = '\0';
}

// An address of another length than four bytes shows its bytes in hexadecimal.
void RenderAddress(char* text, const AsnOctetString& address) {
    const char* type_name = TypeName(ASN_IPADDRESS);
    if (address.stream == nullptr) {
        std::snprintf(text, kTextSize, "%s: NULL", type_name);
    } else if (address.length == 4) {
        std::snprintf(text, kTextSize, "%s: %u.%u.%u.%u", type_name, address.stream[0],
                      address.stream[1], address.stream[2], address.stream[3]);
    } else {
        int used = std::snprintf(text, kTextSize, "%s: ", type_name);
        AppendHex(text, static_cast<std::size_t>(used), address.stream, address.length);
    }
}

}  // namespace

const char* VarBindValueText(const AsnAny* value) {
    thread_local char text[kTextSize];
    if (value == nullptr) {
        std::snprintf(text, kTextSize, "%s", TypeName(ASN_NULL));
        return text;
    }
    const char* type_name = TypeName(value->asnType);
    switch (value->asnType) {
        case ASN_INTEGER:
        case ASN_COUNTER32:
        case ASN_GAUGE32:
        case ASN_TIMETICKS:
            std::snprintf(text, kTextSize, "%s: %d (0x%X)", type_name,
                          static_cast<int>(value->asnValue.number), value->asnValue.unsigned32);
            break;
        case ASN_IPADDRESS: RenderAddress(text, value->asnValue.address); break;
        case ASN_OCTETSTRING:
        case ASN_OPAQUE: RenderOctets(text, type_name, value->asnValue.string); break;
        default: std::snprintf(text, kTextSize, "%s", type_name); break;
    }
    return text;
}

const char* VarBindText(const SnmpVarBind* binding) {
    thread_local char text[kTextSize];
    if (binding == nullptr) {
        text[0] = '\0';
        return text;
    }
    std::snprintf(text, kTextSize, "Oid=%s, Value=%s", OidToString(&binding->name, 0),
                  VarBindValueText(&binding->value));
    return text;
}
