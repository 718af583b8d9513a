// SnmpQuery: one SNMP request answered from the MIB tree under the MIB lock, with the request
// and reply traces and the GETNEXT answer past the end of the tree.
#include <string>
#include <vector>

#include "base/oid_text.h"
#include "framework/snmp_agent.h"

namespace {

class MibLock {
  public:
    explicit MibLock(LPCRITICAL_SECTION lock) : lock_(lock) { EnterCriticalSection(lock_); }
    ~MibLock() { LeaveCriticalSection(lock_); }
    MibLock(const MibLock&) = delete;
    MibLock& operator=(const MibLock&) = delete;

  private:
    LPCRITICAL_SECTION lock_;
};

bool IsPrefix(const AsnObjectIdentifier& root, const AsnObjectIdentifier& oid) {
    if (root.idLength == 0 || root.idLength > oid.idLength) return false;
    return SnmpUtilOidNCmp(&root, &oid, root.idLength) == 0;
}

void TraceRequest(BYTE request_type, const SnmpVarBindList* bindings) {
    const char* type_line = nullptr;
    switch (request_type) {
        case SNMP_PDU_GET: type_line = "\n%-20s:   RequestType: GET"; break;
        case SNMP_PDU_GETNEXT: type_line = "\n%-20s:   RequestType: GETNEXT"; break;
        case SNMP_PDU_SET: type_line = "\n%-20s:   RequestType: SET"; break;
        default: return;
    }
    CX_TRACE(2, type_line, g_szModuleName);
    for (UINT i = 0; i < bindings->len; ++i) {
        const SnmpVarBind& binding = bindings->list[i];
        if (request_type == SNMP_PDU_SET) {
            CX_TRACE(2, "\n%-20s:   Set[%d] Oid:  %s", g_szModuleName, static_cast<int>(i + 1),
                     OidToString(&binding.name, 0));
            CX_TRACE(2, "\n%-20s:     Value:     %s", g_szModuleName,
                     VarBindValueText(&binding.value));
        } else {
            CX_TRACE(2, "\n%-20s:   Req[%d] Oid:  %s", g_szModuleName, static_cast<int>(i + 1),
                     OidToString(&binding.name, 0));
        }
    }
}

void TraceReply(BYTE request_type, const SnmpVarBindList* bindings,
                const std::vector<std::string>& names, AsnInteger32 error_status,
                AsnInteger32 error_index) {
    for (UINT i = 0; i < bindings->len; ++i) {
        const SnmpVarBind& binding = bindings->list[i];
        CX_TRACE(2, "\n%-20s:   Ret[%d] Oid:  %s", g_szModuleName, static_cast<int>(i + 1),
                 OidToString(&binding.name, 0));
        CX_TRACE(2, "\n%-20s:   Ret Value: %s", g_szModuleName, VarBindValueText(&binding.value));
        if (i < names.size()) {
            CX_TRACE(2, "\n%-20s:   Object:      %s", g_szModuleName, names[i].c_str());
        }
    }
    if (error_status == SNMP_ERRORSTATUS_NOERROR) {
        if (request_type == SNMP_PDU_SET) {
            CX_TRACE(2, "\n%-20s: SNMP Set done, no errors", g_szModuleName);
        }
    } else {
        CX_TRACE(1, "\n%-20s: ## SNMP error status: <<%s>> at varbind [%d]", g_szModuleName,
                 ErrorStatusText(error_status), static_cast<int>(error_index));
    }
    CX_TRACE(2, "\n");
}

}  // namespace

BOOL CSnmpAgent::SnmpQuery(BYTE request_type, SnmpVarBindList* bindings, AsnInteger32* error_status,
                           AsnInteger32* error_index) {
    AsnInteger32 status_sink = 0;
    AsnInteger32 index_sink = 0;
    if (error_status == nullptr) error_status = &status_sink;
    if (error_index == nullptr) error_index = &index_sink;
    SnmpVarBindList empty{};
    // A list that claims bindings it does not have is treated as empty.
    if (bindings == nullptr || (bindings->len > 0 && bindings->list == nullptr)) {
        bindings = &empty;
    }
    const UINT count = bindings->len;

    BOOL result = TRUE;
    const bool tracing = g_pFileDebugActive->load(std::memory_order_relaxed) != 0;
    std::vector<std::string> names;
    if (tracing) {
        CX_TRACE(2, "\n\n%-20s: SNMP query: number queries=%d", g_szModuleName,
                 static_cast<int>(count));
        TraceRequest(request_type, bindings);
        names.resize(count);
    }
    std::string* const no_name = nullptr;
    auto name_of = [&](UINT i) { return tracing ? &names[i] : no_name; };

    if (m_InitDone == 0 || AgentShutdown != 0) {
        CX_TRACE(2,
                 "\n%-20s: ## Init not completed or agent shutdown; request refused; ERROR "
                 "status: <<no such name>>",
                 g_szModuleName);
        *error_status = SNMP_ERRORSTATUS_NOSUCHNAME;
        *error_index = 1;
        if (tracing) TraceReply(request_type, bindings, names, *error_status, *error_index);
        return result;
    }

    if (!QueryPrologue(request_type, bindings, error_status, error_index)) {
        CX_TRACE(4, "\n%-20s: SnmpQuery() skipped!", g_szModuleName);
    } else {
        *error_status = SNMP_ERRORSTATUS_NOERROR;
        *error_index = 0;
        UINT stopped_at = 0;  // 0-based binding at which the walk stopped
        {
            MibLock lock(&m_MibLock);
            switch (request_type) {
                case SNMP_PDU_GET:
                    result = FALSE;
                    for (UINT i = 0; i < count && *error_status == SNMP_ERRORSTATUS_NOERROR; ++i) {
                        stopped_at = i;
                        if (MibGetVarbind(&bindings->list[i], request_type, error_status,
                                          name_of(i))) {
                            result = TRUE;
                        } else {
                            CX_TRACE(1, "\n%-20s: Execution of  MibGetVarbind FAILED!",
                                     g_szModuleName);
                        }
                    }
                    break;
                case SNMP_PDU_GETNEXT:
                    for (UINT i = 0; i < count && *error_status == SNMP_ERRORSTATUS_NOERROR; ++i) {
                        stopped_at = i;
                        SnmpVarBind& binding = bindings->list[i];
                        // A callback may hand back an OID that is not past its own entry; the
                        // search then gives up after as many tries as there are entries.
                        std::size_t tries = MibEntryCount() + 1;
                        for (; tries > 0; --tries) {
                            if (AgentShutdown != 0) break;
                            BOOL found =
                                MibGetVarbind(&binding, request_type, error_status, name_of(i));
                            if (found && *error_status != SNMP_ERRORSTATUS_NOERROR) {
                                CX_TRACE(2,
                                         "\n%-20s:   Ret[%d] Oid:  %s - GETNEXT SNMP Error %d "
                                         "(callback failed) -> find next object",
                                         g_szModuleName, static_cast<int>(i + 1),
                                         OidToString(&binding.name, 0),
                                         static_cast<int>(*error_status));
                                continue;
                            }
                            if (!found && AgentShutdown == 0) {
                                CX_TRACE(2,
                                         "\n%-20s:   Ret[%d] - End of MIB tree -> reply OID "
                                         "outside of this MIB",
                                         g_szModuleName, static_cast<int>(i + 1));
                                for (UINT r = 0; r < m_Regions.len; ++r) {
                                    const AsnObjectIdentifier& root = m_Regions.list[r].name;
                                    if (!IsPrefix(root, binding.name)) continue;
                                    AsnObjectIdentifier past{};
                                    if (SnmpUtilOidCpy(&past, &root)) {
                                        ++past.ids[past.idLength - 1];
                                        SnmpUtilOidFree(&binding.name);
                                        binding.name = past;
                                    }
                                    break;
                                }
                                *error_status = SNMP_ERRORSTATUS_NOERROR;
                            }
                            break;
                        }
                    }
                    break;
                case SNMP_PDU_SET: {
                    result = FALSE;
                    for (UINT i = 0; i < count && *error_status == SNMP_ERRORSTATUS_NOERROR; ++i) {
                        stopped_at = i;
                        if (MibCheckSetVarbind(&bindings->list[i], error_status, name_of(i))) {
                            result = TRUE;
                            CX_TRACE(3, "\n%-20s: MibCheckSetVarbind returned %d (%s)",
                                     g_szModuleName, static_cast<int>(*error_status),
                                     ErrorStatusText(*error_status));
                        } else {
                            CX_TRACE(1, "\n%-20s: Execution of MibCheckSetVarbind FAILED!",
                                     g_szModuleName);
                        }
                    }
                    if (*error_status != SNMP_ERRORSTATUS_NOERROR) break;
                    for (UINT i = 0; i < count && *error_status == SNMP_ERRORSTATUS_NOERROR; ++i) {
                        stopped_at = i;
                        if (MibSetVarbind(&bindings->list[i], error_status)) {
                            result = TRUE;
                            CX_TRACE(3, "\n%-20s: MibSetVarbind returned %d (%s)", g_szModuleName,
                                     static_cast<int>(*error_status),
                                     ErrorStatusText(*error_status));
                        } else {
                            CX_TRACE(1, "\n%-20s: Execution of MibSetVarbind FAILED!",
                                     g_szModuleName);
                        }
                    }
                    break;
                }
                default: result = FALSE; break;
            }
        }
        if (result && *error_status != SNMP_ERRORSTATUS_NOERROR) {
            *error_index = static_cast<AsnInteger32>(stopped_at + 1);
        }
        if (!result) {
            CX_TRACE(1, "\n%-20s: ## ERROR: SnmpQuery() failed!!\n", g_szModuleName);
            *error_index = 1;
        }
    }
    QueryEpilogue(request_type, bindings, error_status, error_index);
    if (tracing) TraceReply(request_type, bindings, names, *error_status, *error_index);
    return result;
}
