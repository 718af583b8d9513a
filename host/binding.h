// Where the two sides of the host meet: the neutral binding of platform/snmp_value.h, the
// statuses and request types the host produces, and the outcome of one query.
#pragma once

#include "platform/snmp_value.h"

#include <cstdint>
#include <string>
#include <vector>

namespace cx::host {

using namespace cx::snmp;  // Oid, Binding and the BER tags

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
