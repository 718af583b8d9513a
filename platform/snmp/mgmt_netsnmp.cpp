// The manager side's exchange on net-snmp's single-session API: open, one request and its
// answer, close. Safe beside the host's own use of net-snmp in the same process (see below).
#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <random>
#include <set>
#include <utility>

#include "mgmt_wire.h"
#include "platform/mgmt_sessions.h"

// clang-format off
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
#include <net-snmp/library/snmpIPBaseDomain.h>
#include <net-snmp/library/snmpIPv4BaseDomain.h>
#include <net-snmp/library/snmpIPv6BaseDomain.h>
#include <net-snmp/library/snmpUDPDomain.h>
#include <net-snmp/library/snmpUDPIPv6Domain.h>
// clang-format on

namespace cx::platform::mgmt {

class WireSession {
  public:
    void* handle = nullptr;  // net-snmp's opaque single session
    // The loopback port the session sends from (0: not bound to loopback).
    std::pair<int, std::uint16_t> own_port{AF_UNSPEC, 0};
};

namespace {

// The library is built without its own locking, and opening or closing a session touches its
// unguarded session counter: the manager threads of this process take turns here. The lock is
// never held while waiting for an answer.
std::mutex& OpenCloseLock() {
    static std::mutex lock;
    return lock;
}

// The loopback ports of the open sessions, by address family: the host asks here whether a
// request is one of its own agents'.
std::mutex& OwnPortsLock() {
    static std::mutex lock;
    return lock;
}
std::set<std::pair<int, std::uint16_t>>& OwnPorts() {
    static std::set<std::pair<int, std::uint16_t>> ports;
    return ports;
}

// The family and port of a loopback socket address; AF_UNSPEC for any other.
std::pair<int, std::uint16_t> LoopbackPort(const sockaddr* address, std::size_t length) {
    if (address->sa_family == AF_INET && length >= sizeof(sockaddr_in)) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(address);
        if ((ntohl(v4->sin_addr.s_addr) >> 24) == 127) return {AF_INET, ntohs(v4->sin_port)};
    } else if (address->sa_family == AF_INET6 && length >= sizeof(sockaddr_in6)) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(address);
        if (IN6_IS_ADDR_LOOPBACK(&v6->sin6_addr)) return {AF_INET6, ntohs(v6->sin6_port)};
    }
    return {AF_UNSPEC, 0};
}

// The session's UDP transport. An agent on this machine is asked from the loopback address, so
// that the socket takes datagrams from this machine only; any other agent from the address the
// system chooses. NULL when the peer does not resolve or no socket can be had.
netsnmp_transport* OpenTransport(const std::string& peer) {
    const bool v6 = peer.rfind("udp6:", 0) == 0;
    const std::string target = peer.substr(peer.find(':') + 1);
    netsnmp_ep remote{};
    const int resolved = v6 ? netsnmp_sockaddr_in6_3(&remote, target.c_str(), nullptr)
                            : netsnmp_sockaddr_in3(&remote, target.c_str(), nullptr);
    if (resolved == 0) return nullptr;
    netsnmp_ep source{};
    const netsnmp_ep* bind_to = nullptr;
    if (LoopbackPort(reinterpret_cast<const sockaddr*>(&remote.a), sizeof(remote.a)).first !=
        AF_UNSPEC) {
        if (v6) {
            source.a.sin6.sin6_family = AF_INET6;
            source.a.sin6.sin6_addr = in6addr_loopback;
        } else {
            source.a.sin.sin_family = AF_INET;
            source.a.sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        }
        bind_to = &source;
    }
    return v6 ? netsnmp_udp6_transport_with_source(&remote, 0, bind_to)
              : netsnmp_udp_transport_with_source(&remote, 0, bind_to);
}

// Where a session's socket is bound, when that is a loopback address.
std::pair<int, std::uint16_t> OwnPortOf(int socket) {
    sockaddr_storage local{};
    socklen_t length = sizeof(local);
    if (getsockname(socket, reinterpret_cast<sockaddr*>(&local), &length) != 0) return {};
    return LoopbackPort(reinterpret_cast<const sockaddr*>(&local), length);
}

// Request ids come from here rather than from net-snmp's unguarded counter, which the host's
// own engine moves on the main thread. Each session matches answers against its own requests,
// so the two series never need to differ.
long NextRequestId() {
    static std::mutex lock;
    static std::mt19937 generator{std::random_device{}()};
    static long next = static_cast<long>(generator() & 0x3FFFFFFF) + 1;
    std::lock_guard<std::mutex> hold(lock);
    const long id = next;
    next = next >= 0x7FFFFFFF ? 1 : next + 1;
    return id;
}

// What snmp_pdu_create does, apart from taking the library's request id.
netsnmp_pdu* NewPdu(int command) {
    auto* pdu = static_cast<netsnmp_pdu*>(std::calloc(1, sizeof(netsnmp_pdu)));
    if (pdu == nullptr) return nullptr;
    pdu->version = SNMP_VERSION_1;
    pdu->command = command;
    pdu->errstat = SNMP_DEFAULT_ERRSTAT;
    pdu->errindex = SNMP_DEFAULT_ERRINDEX;
    pdu->reqid = NextRequestId();
    pdu->msgid = pdu->reqid;
    return pdu;
}

// Adds one binding; false when SNMPv1 cannot carry its value.
bool AddBinding(netsnmp_pdu* pdu, const WireBinding& binding) {
    if (binding.name.size() > kMaxOidLength) return false;
    std::vector<oid> name(binding.name.begin(), binding.name.end());
    long integer = 0;
    u_long unsigned32 = 0;
    std::vector<oid> object;
    const void* data = nullptr;
    size_t length = 0;
    u_char type = binding.type;
    switch (binding.type) {
        case kTagInteger:
            integer = static_cast<long>(static_cast<std::int32_t>(binding.number));
            data = &integer;
            length = sizeof(integer);
            break;
        case kTagCounter32:
        case kTagGauge32:
        case kTagTimeTicks:
        case kTagUnsigned32:
            unsigned32 = static_cast<u_long>(static_cast<std::uint32_t>(binding.number));
            data = &unsigned32;
            length = sizeof(unsigned32);
            break;
        case kTagIpAddress:
            if (binding.octets.size() != 4) return false;
            [[fallthrough]];
        case kTagOctetString:
        case kTagOpaque:
            data = binding.octets.data();
            length = binding.octets.size();
            break;
        case kTagObjectId:
            if (binding.object.size() > kMaxOidLength) return false;
            object.assign(binding.object.begin(), binding.object.end());
            data = object.data();
            length = object.size() * sizeof(oid);
            break;
        case kTagNull: type = ASN_NULL; break;
        default: return false;  // Counter64 and the exceptions do not exist in SNMPv1
    }
    // An empty name still goes out: the agent answers for it as it sees fit.
    static const oid kNoName[1] = {0};
    const oid* name_data = name.empty() ? kNoName : name.data();
    return snmp_pdu_add_variable(pdu, name_data, name.size(), type, data, length) != nullptr;
}

Oid OidOf(const oid* ids, size_t length) {
    Oid result;
    if (ids == nullptr) return result;
    result.reserve(length);
    for (size_t i = 0; i < length; ++i)
        result.push_back(static_cast<std::uint32_t>(ids[i]));
    return result;
}

WireBinding BindingOf(const netsnmp_variable_list& variable) {
    WireBinding binding;
    binding.name = OidOf(variable.name, variable.name_length);
    binding.type = variable.type;
    switch (variable.type) {
        case ASN_INTEGER:
            if (variable.val.integer != nullptr)
                binding.number = static_cast<std::int32_t>(*variable.val.integer);
            break;
        case ASN_COUNTER:
        case ASN_GAUGE:
        case ASN_TIMETICKS:
        case ASN_UINTEGER:
            if (variable.val.integer != nullptr)
                binding.number = static_cast<std::uint32_t>(*variable.val.integer);
            break;
        case ASN_COUNTER64:
            if (variable.val.counter64 != nullptr) {
                binding.number = static_cast<std::int64_t>(
                    (static_cast<std::uint64_t>(variable.val.counter64->high & 0xFFFFFFFFu) << 32) |
                    (variable.val.counter64->low & 0xFFFFFFFFu));
            }
            break;
        case ASN_OCTET_STR:
        case ASN_IPADDRESS:
        case ASN_OPAQUE:
            if (variable.val.string != nullptr)
                binding.octets.assign(reinterpret_cast<const char*>(variable.val.string),
                                      variable.val_len);
            break;
        case ASN_OBJECT_ID:
            binding.object = OidOf(variable.val.objid, variable.val_len / sizeof(oid));
            break;
        case SNMP_NOSUCHOBJECT:
        case SNMP_NOSUCHINSTANCE:
        case SNMP_ENDOFMIBVIEW: break;
        default: binding.type = kTagNull; break;
    }
    return binding;
}

}  // namespace

WireSession* OpenWireSession(const WireSessionSettings& settings) {
    std::vector<char> peer(settings.peer.begin(), settings.peer.end());
    peer.push_back('\0');
    std::vector<u_char> community(settings.community.begin(), settings.community.end());
    community.push_back('\0');

    std::lock_guard<std::mutex> hold(OpenCloseLock());
    // The first call prepares the library's internals once (no MIB file is read); in the host,
    // which started net-snmp itself, it only fills the structure.
    netsnmp_session wanted;
    snmp_sess_init(&wanted);
    wanted.version = SNMP_VERSION_1;
    wanted.peername = peer.data();
    wanted.community = community.data();
    wanted.community_len = settings.community.size();
    wanted.timeout = static_cast<long>(settings.timeout.count()) * 1000;
    wanted.retries = settings.retries;
    wanted.flags |= SNMP_FLAGS_DONT_PROBE;
    netsnmp_transport* transport = OpenTransport(settings.peer);
    if (transport == nullptr) return nullptr;
    const auto own_port = OwnPortOf(transport->sock);
    // The transport belongs to the session from here on, whatever the outcome.
    void* handle = snmp_sess_add(&wanted, transport, nullptr, nullptr);
    if (handle == nullptr) return nullptr;
    auto* session = new (std::nothrow) WireSession;
    if (session == nullptr) {
        snmp_sess_close(handle);
        return nullptr;
    }
    session->handle = handle;
    session->own_port = own_port;
    if (own_port.first != AF_UNSPEC) {
        std::lock_guard<std::mutex> hold_ports(OwnPortsLock());
        OwnPorts().insert(own_port);
    }
    return session;
}

void CloseWireSession(WireSession* session) {
    if (session == nullptr) return;
    {
        std::lock_guard<std::mutex> hold(OpenCloseLock());
        if (session->own_port.first != AF_UNSPEC) {
            std::lock_guard<std::mutex> hold_ports(OwnPortsLock());
            OwnPorts().erase(session->own_port);
        }
        snmp_sess_close(session->handle);
    }
    delete session;
}

WireAnswer ExchangeWire(WireSession* session, int pdu_type,
                        const std::vector<WireBinding>& request) {
    WireAnswer answer;
    netsnmp_pdu* pdu = NewPdu(pdu_type);
    if (pdu == nullptr) return answer;
    for (const WireBinding& binding : request) {
        if (!AddBinding(pdu, binding)) {
            snmp_free_pdu(pdu);
            answer.result = WireResult::kUnusable;
            return answer;
        }
    }
    netsnmp_pdu* response = nullptr;
    // The request PDU belongs to the library from here on, whatever the outcome.
    const int status = snmp_sess_synch_response(session->handle, pdu, &response);
    if (status == STAT_TIMEOUT) {
        answer.result = WireResult::kTimedOut;
    } else if (status == STAT_SUCCESS && response != nullptr &&
               response->command == SNMP_MSG_RESPONSE) {
        answer.result = WireResult::kAnswered;
        answer.error_status = response->errstat;
        answer.error_index = response->errindex;
        for (netsnmp_variable_list* variable = response->variables; variable != nullptr;
             variable = variable->next_variable)
            answer.bindings.push_back(BindingOf(*variable));
    }
    if (response != nullptr) snmp_free_pdu(response);
    return answer;
}

}  // namespace cx::platform::mgmt

bool CxIsOwnManagerSession(const sockaddr* source, std::size_t length) {
    using namespace cx::platform::mgmt;
    if (source == nullptr) return false;
    const auto port = LoopbackPort(source, length);
    if (port.first == AF_UNSPEC) return false;
    std::lock_guard<std::mutex> hold(OwnPortsLock());
    return OwnPorts().count(port) != 0;
}
