// One SNMP variable binding in plain C++ types. Neither net-snmp's headers nor the extension
// API's (platform/snmp.h) define it, so code on either side of their clashing ASN macro names
// can share it: the host, the manager calls and the walk-file reader all carry bindings in it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace cx::snmp {

// BER tags (the same numbers in SNMP and in the extension API).
inline constexpr std::uint8_t kTagInteger = 0x02;
inline constexpr std::uint8_t kTagOctetString = 0x04;
inline constexpr std::uint8_t kTagNull = 0x05;
inline constexpr std::uint8_t kTagObjectId = 0x06;
inline constexpr std::uint8_t kTagIpAddress = 0x40;
inline constexpr std::uint8_t kTagCounter32 = 0x41;
inline constexpr std::uint8_t kTagGauge32 = 0x42;
inline constexpr std::uint8_t kTagTimeTicks = 0x43;
inline constexpr std::uint8_t kTagOpaque = 0x44;
inline constexpr std::uint8_t kTagCounter64 = 0x46;
inline constexpr std::uint8_t kTagUnsigned32 = 0x47;
inline constexpr std::uint8_t kTagNoSuchObject = 0x80;
inline constexpr std::uint8_t kTagNoSuchInstance = 0x81;
inline constexpr std::uint8_t kTagEndOfMibView = 0x82;

// The longest name or OID value SNMP carries.
inline constexpr std::size_t kMaxOidLength = 128;

using Oid = std::vector<std::uint32_t>;

struct Binding {
    Oid name;
    std::uint8_t type = kTagNull;
    std::int64_t number = 0;  // INTEGER (signed), the unsigned 32-bit types, Counter64
    std::string octets;       // OCTET STRING, IpAddress, Opaque
    Oid object;               // OBJECT IDENTIFIER
};

}  // namespace cx::snmp
