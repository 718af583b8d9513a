// One variable binding in a form that neither net-snmp's nor the extension API's headers define,
// so that the two sides of the host meet without their clashing ASN macro names.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cx::host {

// BER tags shared by both sides (they are the same numbers in SNMP and in the extension API).
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

using Oid = std::vector<std::uint32_t>;

struct Binding {
    Oid name;
    std::uint8_t type = kTagNull;
    std::int64_t number = 0;  // INTEGER (signed), the unsigned 32-bit types, Counter64
    std::string octets;       // OCTET STRING, IpAddress, Opaque
    Oid object;               // OBJECT IDENTIFIER
};

// SNMP error statuses the host produces itself.
inline constexpr long kNoError = 0;
inline constexpr long kNoSuchName = 2;
inline constexpr long kBadValue = 3;
inline constexpr long kReadOnly = 4;
inline constexpr long kGenErr = 5;
inline constexpr long kNoAccess = 6;
inline constexpr long kWrongValue = 10;
inline constexpr long kNotWritable = 17;

// Request types, the PDU tags.
inline constexpr int kRequestGet = 0xA0;
inline constexpr int kRequestGetNext = 0xA1;
inline constexpr int kRequestSet = 0xA3;

// The outcome of one SnmpExtensionQuery call.
struct QueryOutcome {
    bool result = false;
    long error_status = kNoError;
    long error_index = 0;  // 1-based, as the agent reported it
};

// True when `prefix` is a prefix of (or equal to) `oid`.
bool OidStartsWith(const Oid& oid, const Oid& prefix);
// Dotted text ("1.3.6.1"), for log lines.
std::string OidText(const Oid& oid);

}  // namespace cx::host
