// The manager side's exchange with net-snmp, in types that neither net-snmp's nor snmpapi's
// headers define: their ASN macro names clash, so the two sides meet only here.
#pragma once

#include "platform/snmp_value.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace cx::platform::mgmt {

using namespace cx::snmp;  // Oid, the BER tags, kMaxOidLength
using WireBinding = cx::snmp::Binding;

enum class WireResult {
    kAnswered,        // error status, index and bindings are the agent's
    kTimedOut,        // no answer within timeout x (retries + 1)
    kTransportError,  // the request could not be sent or the wait failed
    kUnusable,        // the request cannot be encoded (a value SNMPv1 cannot carry)
};

struct WireAnswer {
    WireResult result = WireResult::kTransportError;
    long error_status = 0;
    long error_index = 0;
    std::vector<WireBinding> bindings;
};

struct WireSessionSettings {
    std::string peer;  // net-snmp's transport text: "udp:HOST:PORT" or "udp6:[HOST]:PORT"
    std::string community;
    std::chrono::milliseconds timeout{0};
    int retries = 0;
};

class WireSession;

// NULL when the transport cannot be opened (name not resolved, no socket).
WireSession* OpenWireSession(const WireSessionSettings& settings);
void CloseWireSession(WireSession* session);
// One SNMPv1 request (pdu_type: 0xA0 GET, 0xA1 GETNEXT, 0xA3 SET) and its answer. No lock is
// held while waiting: the agent that answers may be served by this very process.
WireAnswer ExchangeWire(WireSession* session, int pdu_type,
                        const std::vector<WireBinding>& request);

}  // namespace cx::platform::mgmt
