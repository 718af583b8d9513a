// SnmpMgrOpen, SnmpMgrRequest, SnmpMgrClose: the Management API on the manager exchange of
// mgmt_netsnmp.cpp. Sessions are handles of the process's handle table, so a closed or forged
// session fails cleanly instead of reaching freed memory.
#include <atomic>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "core/handle_table.h"
#include "mgmt_address.h"
#include "mgmt_wire.h"
#include "platform/errors.h"
#include "platform/mgmtapi.h"
#include "platform/snmp_value_asn.h"
#include "platform/winreg.h"

namespace {

using namespace cx::platform::mgmt;

constexpr const char* kParametersKey = "SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters";
constexpr std::uint16_t kDefaultPort = 161;
// Longer communities than this are not something the SNMP service would accept either.
constexpr std::size_t kMaxCommunity = 255;

class ManagerSession : public cx::platform::KernelObject {
  public:
    explicit ManagerSession(WireSession* wire) : wire_(wire) {}
    ~ManagerSession() override { CloseWireSession(wire_); }
    ManagerSession(const ManagerSession&) = delete;
    ManagerSession& operator=(const ManagerSession&) = delete;

    WireSession* Wire() const { return wire_; }
    // One request at a time per session: a second thread is turned away instead of waiting,
    // so that no lock is ever held across the wait for an answer.
    bool TryBegin() { return !busy_.exchange(true); }
    void End() { busy_.store(false); }

  private:
    WireSession* wire_;
    std::atomic<bool> busy_{false};
};

std::uint16_t RegistryPort() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kParametersKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return kDefaultPort;
    DWORD port = 0;
    DWORD type = REG_NONE;
    DWORD size = sizeof(port);
    const LSTATUS status =
        RegQueryValueExA(key, "UdpPort", nullptr, &type, reinterpret_cast<BYTE*>(&port), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof(port) || port == 0 ||
        port > 65535)
        return kDefaultPort;
    return static_cast<std::uint16_t>(port);
}

std::string OctetsOf(const AsnOctetString& octets) {
    if (octets.stream == nullptr) return {};
    return std::string(reinterpret_cast<const char*>(octets.stream), octets.length);
}

WireBinding WireOf(const SnmpVarBind& from) {
    WireBinding to;
    to.name = cx::snmp::OidFromAsn(from.name);
    to.type = from.value.asnType;
    const auto& value = from.value.asnValue;
    switch (from.value.asnType) {
        case ASN_INTEGER: to.number = value.number; break;
        case ASN_COUNTER32:
        case ASN_GAUGE32:
        case ASN_TIMETICKS:
        case ASN_UNSIGNED32: to.number = value.unsigned32; break;
        case ASN_OCTETSTRING:
        case ASN_IPADDRESS:
        case ASN_OPAQUE: to.octets = OctetsOf(value.string); break;
        case ASN_OBJECTIDENTIFIER: to.object = cx::snmp::OidFromAsn(value.object); break;
        default: break;  // NULL, and the types SNMPv1 cannot carry (refused when encoding)
    }
    return to;
}

// Replaces the caller's bindings with the answer's: all or nothing, so that running out of
// memory half-way leaves the list as it was sent.
bool ReplaceBindings(const std::vector<WireBinding>& answer, RFC1157VarBindList* list) {
    if (answer.empty()) return true;
    std::vector<SnmpVarBind> fresh(answer.size());
    for (std::size_t i = 0; i < answer.size(); ++i) {
        if (!cx::snmp::StoreBinding(answer[i], &fresh[i])) {
            for (std::size_t j = 0; j < i; ++j)
                SnmpUtilVarBindFree(&fresh[j]);
            return false;
        }
    }
    for (std::size_t i = 0; i < answer.size(); ++i) {
        SnmpUtilVarBindFree(&list->list[i]);
        list->list[i] = fresh[i];
    }
    return true;
}

bool IsRequestType(BYTE type) {
    return type == SNMP_PDU_GET || type == SNMP_PDU_GETNEXT || type == SNMP_PDU_SET;
}

SNMPAPI Fail(DWORD error) {
    SetLastError(error);
    return SNMPAPI_ERROR;
}

LPSNMP_MGR_SESSION OpenSession(LPCSTR agent_address, LPCSTR community, INT timeout_ms,
                               INT retries) {
    if (agent_address == nullptr || community == nullptr || timeout_ms < 0 || retries < 0 ||
        std::strlen(community) > kMaxCommunity) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const std::optional<std::string> peer = PeerOfAddress(agent_address, RegistryPort);
    if (!peer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    WireSessionSettings settings;
    settings.peer = *peer;
    settings.community = community;
    // A zero time-out would send and give up at once: one millisecond is the least wait.
    settings.timeout = std::chrono::milliseconds(timeout_ms == 0 ? 1 : timeout_ms);
    settings.retries = retries;
    WireSession* wire = OpenWireSession(settings);
    if (wire == nullptr) {
        SetLastError(SNMP_MGMTAPI_SELECT_FDERRORS);
        return nullptr;
    }
    std::shared_ptr<ManagerSession> object;
    try {
        object = std::make_shared<ManagerSession>(wire);
    } catch (const std::bad_alloc&) {
        CloseWireSession(wire);
        throw;
    }
    HANDLE handle = cx::platform::InsertHandle(std::move(object));
    if (handle == nullptr) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return handle;
}

// Clears the session's busy mark however the request ends.
class RequestTurn {
  public:
    explicit RequestTurn(ManagerSession& session) : session_(session) {}
    ~RequestTurn() { session_.End(); }
    RequestTurn(const RequestTurn&) = delete;
    RequestTurn& operator=(const RequestTurn&) = delete;

  private:
    ManagerSession& session_;
};

SNMPAPI Request(LPSNMP_MGR_SESSION session, BYTE request_type, RFC1157VarBindList* bindings,
                AsnInteger* error_status, AsnInteger* error_index) {
    const auto manager = cx::platform::LookupHandleAs<ManagerSession>(static_cast<HANDLE>(session));
    if (manager == nullptr) return Fail(SNMP_MGMTAPI_INVALID_SESSION);
    if (!IsRequestType(request_type) || bindings == nullptr || error_status == nullptr ||
        error_index == nullptr || (bindings->len != 0 && bindings->list == nullptr))
        return Fail(ERROR_INVALID_PARAMETER);

    std::vector<WireBinding> request;
    request.reserve(bindings->len);
    for (UINT i = 0; i < bindings->len; ++i) {
        // Only a SET carries values; GET and GETNEXT send NULL whatever the list holds.
        if (request_type == SNMP_PDU_SET) {
            request.push_back(WireOf(bindings->list[i]));
        } else {
            request.emplace_back();
            request.back().name = cx::snmp::OidFromAsn(bindings->list[i].name);
        }
    }

    if (!manager->TryBegin()) return Fail(SNMP_MGMTAPI_AGAIN);
    WireAnswer answer;
    {
        RequestTurn turn(*manager);
        answer = ExchangeWire(manager->Wire(), request_type, request);
    }

    switch (answer.result) {
        case WireResult::kTimedOut: return Fail(SNMP_MGMTAPI_TIMEOUT);
        case WireResult::kTransportError: return Fail(SNMP_MGMTAPI_SELECT_FDERRORS);
        case WireResult::kUnusable: return Fail(ERROR_INVALID_PARAMETER);
        case WireResult::kAnswered: break;
    }
    // An answer that does not match the request binding for binding cannot be handed back.
    if (answer.error_status == SNMP_ERRORSTATUS_NOERROR && answer.bindings.size() != request.size())
        return Fail(ERROR_INVALID_DATA);
    if (answer.error_status == SNMP_ERRORSTATUS_NOERROR &&
        !ReplaceBindings(answer.bindings, bindings))
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    *error_status = static_cast<AsnInteger>(answer.error_status);
    *error_index = static_cast<AsnInteger>(answer.error_index);
    return SNMPAPI_NOERROR;
}

}  // namespace

// No exception leaves the calls: running out of memory is reported as Windows does.
LPSNMP_MGR_SESSION SnmpMgrOpen(LPCSTR agent_address, LPCSTR community, INT timeout_ms,
                               INT retries) {
    try {
        return OpenSession(agent_address, community, timeout_ms, retries);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

BOOL SnmpMgrClose(LPSNMP_MGR_SESSION session) {
    if (session == nullptr ||
        cx::platform::LookupHandleAs<ManagerSession>(static_cast<HANDLE>(session)) == nullptr ||
        !cx::platform::RemoveHandle(static_cast<HANDLE>(session))) {
        SetLastError(SNMP_MGMTAPI_INVALID_SESSION);
        return FALSE;
    }
    return TRUE;
}

SNMPAPI SnmpMgrRequest(LPSNMP_MGR_SESSION session, BYTE request_type, RFC1157VarBindList* bindings,
                       AsnInteger* error_status, AsnInteger* error_index) {
    try {
        return Request(session, request_type, bindings, error_status, error_index);
    } catch (const std::bad_alloc&) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
}
