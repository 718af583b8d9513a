// The host's checks in front of net-snmp's request handling: malformed v1 messages, requests
// over the binding limit, GETBULKs over the answer bounds, and the host's own agents asking.
#include "request_guard.h"

// clang-format off
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
#include <net-snmp/agent/net-snmp-agent-includes.h>
// clang-format on

#include "platform/mgmt_sessions.h"
#include "request_limits.h"

// net-snmp's list of open sessions; the library exports it without declaring it.
extern "C" struct session_list* Sessions;

namespace cx::host {
namespace {

// Set once before the first request; the engine's thread alone reads it afterwards.
std::uint32_t g_max_bindings = 0;

RequestLimits CurrentLimits() {
    RequestLimits limits;
    limits.max_bindings = g_max_bindings;
    limits.bulk_repetitions = static_cast<std::uint32_t>(
        netsnmp_ds_get_int(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_MAX_GETBULKREPEATS));
    limits.bulk_bindings = static_cast<std::uint32_t>(
        netsnmp_ds_get_int(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_MAX_GETBULKRESPONSES));
    return limits;
}

// Drops the bindings after the first `keep`.
void KeepBindings(netsnmp_pdu* pdu, std::size_t keep) {
    netsnmp_variable_list** next = &pdu->variables;
    for (std::size_t i = 0; i < keep && *next != nullptr; ++i)
        next = &(*next)->next_variable;
    snmp_free_varbind(*next);
    *next = nullptr;
}

// RFC 3416 section 4.2.1: tooBig, error-index 0 and no bindings. An SNMPv1 manager gets its
// request's bindings back instead (RFC 1157 section 4.1.2).
void AnswerTooBig(netsnmp_session* session, const netsnmp_pdu* request) {
    netsnmp_pdu* answer = snmp_clone_pdu(const_cast<netsnmp_pdu*>(request));
    if (answer == nullptr) return;
    if (answer->version != SNMP_VERSION_1) {
        snmp_free_varbind(answer->variables);
        answer->variables = nullptr;
    }
    answer->command = SNMP_MSG_RESPONSE;
    answer->errstat = SNMP_ERR_TOOBIG;
    answer->errindex = 0;
    snmp_increment_statistic(STAT_SNMPOUTTOOBIGS);
    snmp_increment_statistic(STAT_SNMPOUTPKTS);
    snmp_increment_statistic(STAT_SNMPOUTGETRESPONSES);
    if (snmp_send(session, answer) == 0) snmp_free_pdu(answer);
}

// The agents' own manager sessions (the inventory scan asking SC_MIB and the others in this
// process) read without a community: they are sockets of this process, bound to loopback.
bool FromOwnAgents(const netsnmp_pdu* pdu) {
    if (pdu->command != SNMP_MSG_GET && pdu->command != SNMP_MSG_GETNEXT &&
        pdu->command != SNMP_MSG_GETBULK)
        return false;
    return CxIsOwnManagerSession(static_cast<const sockaddr*>(pdu->transport_data),
                                 pdu->transport_data_length);
}

int Guard(int operation, netsnmp_session* session, int request_id, netsnmp_pdu* pdu, void* magic) {
    if (operation != NETSNMP_CALLBACK_OP_RECEIVED_MESSAGE || magic != nullptr || pdu == nullptr)
        return handle_snmp_packet(operation, session, request_id, pdu, magic);
    if (pdu->version == SNMP_VERSION_1 && !PduExistsInVersion1(pdu->command)) {
        snmp_increment_statistic(STAT_SNMPINASNPARSEERRS);
        return 1;
    }
    if (FromOwnAgents(pdu)) pdu->flags |= UCD_MSG_FLAG_ALWAYS_IN_VIEW;
    const RequestLimits limits = CurrentLimits();
    const auto bindings = static_cast<std::size_t>(count_varbinds(pdu->variables));
    if (pdu->command == SNMP_MSG_GETBULK) {
        const BulkShape shape = BoundBulk(pdu->errstat, pdu->errindex, bindings, limits);
        pdu->errstat = shape.non_repeaters;
        pdu->errindex = shape.max_repetitions;
        KeepBindings(pdu, shape.keep);
    } else if (OverBindingLimit(pdu->command, bindings, limits) && check_access(pdu) == 0) {
        // Only a manager that may ask learns that it asked too much; the others are refused
        // by net-snmp as usual.
        AnswerTooBig(session, pdu);
        return 1;
    }
    return handle_snmp_packet(operation, session, request_id, pdu, magic);
}

}  // namespace

void GuardRequests(const RequestLimits& limits) {
    g_max_bindings = limits.max_bindings;
    for (session_list* entry = Sessions; entry != nullptr; entry = entry->next) {
        if (entry->session != nullptr && entry->session->callback == handle_snmp_packet)
            entry->session->callback = Guard;
    }
}

}  // namespace cx::host
