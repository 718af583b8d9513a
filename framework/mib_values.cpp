// Binding values from numbers and text, table indexes, and constant bindings from OID text.
#include "framework/mib_values.h"

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <limits>

#include "base/oid_text.h"
#include "platform/errors.h"

namespace {

bool IsUnsignedNumberType(BYTE asn_type) {
    return asn_type == ASN_COUNTER32 || asn_type == ASN_GAUGE32 || asn_type == ASN_TIMETICKS ||
           asn_type == ASN_UNSIGNED32;
}

// Decimal text as atol reads it: leading blanks, a sign, digits up to the first other
// character. Saturates instead of overflowing.
std::int64_t ReadDecimal(const char* text) {
    while (*text == ' ' || *text == '\t' || *text == '\n' || *text == '\r' || *text == '\v' ||
           *text == '\f') {
        ++text;
    }
    bool negative = *text == '-';
    if (*text == '-' || *text == '+') ++text;
    constexpr std::int64_t kLimit = std::int64_t{1} << 40;
    std::int64_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        if (value < kLimit) value = value * 10 + (*text - '0');
    }
    return negative ? -value : value;
}

// INTEGER keeps the signed range; the unsigned types take the full unsigned range, and a
// negative number its two's complement, as a 32-bit wrap of the signed value gives it.
LONG NumberOf(std::int64_t value, BYTE asn_type) {
    constexpr std::int64_t kMinSigned = std::numeric_limits<LONG>::min();
    constexpr std::int64_t kMaxSigned = std::numeric_limits<LONG>::max();
    constexpr std::int64_t kMaxUnsigned = std::numeric_limits<DWORD>::max();
    if (value < kMinSigned) value = kMinSigned;
    if (asn_type == ASN_INTEGER) {
        if (value > kMaxSigned) value = kMaxSigned;
        return static_cast<LONG>(value);
    }
    if (value > kMaxUnsigned) value = kMaxUnsigned;
    return static_cast<LONG>(static_cast<DWORD>(value));
}

BOOL StoreOctets(SnmpVarBind* binding, BYTE asn_type, const void* bytes, std::size_t length) {
    if (length > std::numeric_limits<UINT>::max()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Even an empty string gets a stream: the trace tells "" from a missing value.
    auto* stream = static_cast<BYTE*>(SnmpUtilMemAlloc(static_cast<UINT>(length)));
    if (stream == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    if (length != 0) std::memcpy(stream, bytes, length);
    binding->value.asnType = asn_type;
    binding->value.asnValue.string = {stream, static_cast<UINT>(length), TRUE};
    return TRUE;
}

BOOL StoreIpAddressText(SnmpVarBind* binding, const char* text) {
    AsnObjectIdentifier numbers{};
    if (!StringToOid(text, &numbers) || numbers.idLength < 4) {
        SnmpUtilOidFree(&numbers);
        return FALSE;
    }
    BYTE address[4];
    for (int i = 0; i < 4; ++i)
        address[i] = static_cast<BYTE>(numbers.ids[i] & 0xFFu);
    SnmpUtilOidFree(&numbers);
    return StoreOctets(binding, ASN_IPADDRESS, address, sizeof(address));
}

}  // namespace

BOOL SetVarBindValue(SnmpVarBind* binding, LONG value, BYTE asn_type) {
    if (binding == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    SnmpUtilAsnAnyFree(&binding->value);
    if (asn_type == ASN_INTEGER) {
        binding->value.asnType = ASN_INTEGER;
        binding->value.asnValue.number = value;
        return TRUE;
    }
    if (IsUnsignedNumberType(asn_type)) {
        binding->value.asnType = asn_type;
        binding->value.asnValue.unsigned32 = static_cast<AsnUnsigned32>(value);
        return TRUE;
    }
    if (asn_type == ASN_IPADDRESS) return StoreOctets(binding, ASN_IPADDRESS, &value, 4);
    return FALSE;
}

BOOL SetVarBindOctets(SnmpVarBind* binding, const void* bytes, std::size_t length) {
    if (binding == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    SnmpUtilAsnAnyFree(&binding->value);
    return StoreOctets(binding, ASN_OCTETSTRING, bytes, length);
}

BOOL SetVarBindValueText(SnmpVarBind* binding, const char* text, BYTE asn_type) {
    if (binding == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (text == nullptr) text = "";
    if (asn_type == ASN_INTEGER || IsUnsignedNumberType(asn_type)) {
        return SetVarBindValue(binding, NumberOf(ReadDecimal(text), asn_type), asn_type);
    }
    SnmpUtilAsnAnyFree(&binding->value);
    switch (asn_type) {
        case ASN_OCTETSTRING: return StoreOctets(binding, ASN_OCTETSTRING, text, std::strlen(text));
        case ASN_IPADDRESS: return StoreIpAddressText(binding, text);
        case ASN_OBJECTIDENTIFIER: {
            AsnObjectIdentifier oid{};
            if (!StringToOid(text, &oid)) return FALSE;
            binding->value.asnType = ASN_OBJECTIDENTIFIER;
            binding->value.asnValue.object = oid;
            return TRUE;
        }
        default: return FALSE;
    }
}

void AppendTableIndex(AsnObjectIdentifier* oid, LONG index1, LONG index2, LONG index3, LONG index4,
                      LONG index5) {
    if (oid == nullptr || oid->ids == nullptr) return;
    LONG given[5];
    std::size_t count = 0;
    for (LONG index : {index1, index2, index3, index4, index5}) {
        if (index != -1) given[count++] = index;
    }
    // The last given index takes the last position; earlier ones step back from there.
    for (std::size_t i = 0; i < count; ++i) {
        std::size_t from_end = count - i;
        if (from_end > oid->idLength) continue;
        oid->ids[oid->idLength - from_end] = static_cast<UINT>(given[i]);
    }
}

SnmpVarBind MakeConstBinding(const char* oid_text) {
    SnmpVarBind binding{};
    binding.value.asnType = ASN_NULL;
    if (!StringToOid(oid_text, &binding.name)) SnmpUtilOidFree(&binding.name);
    return binding;
}
