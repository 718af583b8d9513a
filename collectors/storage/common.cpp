// The storage collectors' shared pieces: sessions, stop checks, traces and the small text
// helpers.
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "base/file_debug.h"
#include "framework/agent_globals.h"
#include "storage_steps.h"

namespace cx::storage {

bool StopRequested(const CCX_Agent& agent) {
    return AgentShutdown.load() != 0 || agent.m_bAbortRequest.load() != 0;
}

void TraceAborts(const CCX_Agent& agent, const char* prefix) {
    if (AgentShutdown.load() != 0) CX_TRACE(2, "\n%sABORTED (AgentShutdown)", prefix);
    if (agent.m_bAbortRequest.load() != 0) CX_TRACE(2, "\n%sABORTED (m_bAbortRequest)", prefix);
}

void TraceFatal(const char* operation, const char* bar) {
    CX_TRACE(1, "\n%s", bar);
    CX_TRACE(1, "\n FATAL ERROR! Exception in %s", operation);
    CX_TRACE(1, "\n%s", bar);
}

bool Session::Open() {
    open_ = manager_.OpenSession(nullptr, nullptr, kSessionTimeoutMs, kSessionRetries) != FALSE;
    return open_;
}

void Session::Close() {
    if (open_) manager_.CloseSession();
    open_ = false;
}

void AppendText(char* field, const char* text) {
    const std::size_t used = std::strlen(field);
    if (used + 1 >= kEntryTextSize) return;
    std::snprintf(field + used, kEntryTextSize - used, "%s", text);
}

bool ContainsNoCase(const char* text, const char* part) {
    const std::size_t length = std::strlen(part);
    for (; *text != '\0'; ++text)
        if (StartsWithNoCase(text, part)) return true;
    return length == 0;
}

bool StartsWithNoCase(const char* text, const char* prefix) {
    for (; *prefix != '\0'; ++text, ++prefix) {
        if (std::tolower(static_cast<unsigned char>(*text)) !=
            std::tolower(static_cast<unsigned char>(*prefix)))
            return false;
    }
    return true;
}

void InsertObject(CCX_Agent& agent, const char* format, ...) {
    FwUpdateObject object;
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(object.ObjectName, sizeof(object.ObjectName), format, arguments);
    va_end(arguments);
    agent.InsertFwUpdateObject(&object);
}

void TraceDevice(const ComponentEntry& device) {
    CX_TRACE(5, "\n   Vendor      : %s", device.Vendor);
    CX_TRACE(5, "\n   Device      : %s", device.ProdName);
    CX_TRACE(5, "\n   Version     : %s", device.Version);
    CX_TRACE(5, "\n   SCSI Device : %s", device.ProdDescript);
}

WalkResult RunMember(CCX_Agent& agent, const MemberNames& names,
                     const std::function<WalkResult(CSnmpMgr&)>& body) {
    try {
        Session session;
        if (!session.Open()) {
            CX_TRACE(1, "\n!!! %s.OpenSession() failed!!!", names.session);
            return {};
        }
        CX_TRACE(1, "\n--> CONNECTED TO SNMP (%s)", names.connected);
        const WalkResult result = body(session.manager());
        TraceAborts(agent, names.abort_prefix);
        if (names.table != nullptr && result.failed) {
            CX_TRACE(1, "\n!!! CANNOT GET %s ENTRIES", names.table);
        } else if (names.table != nullptr) {
            CX_TRACE(5, "\n   End of %s entries", names.table);
        }
        session.Close();
        CX_TRACE(1, "\n--> SNMP DISCONNECTED (%s)", names.connected);
        return result;
    } catch (...) {
        TraceFatal(names.member, "####################################");
        return {};
    }
}

void RecordController(CCX_Agent& agent, ComponentEntry* component, ScsiCtrl* ctrl) {
    agent.InsertScsiSystem(component, agent.SubsystemContainerNr, ctrl);
    agent.InsertComponent(component);
    InsertObject(agent, "ScsiController:PCI%d.%d.%d", ctrl->BusNo, ctrl->DevNo, ctrl->FuncNo);
}

void InsertPart(CCX_Agent& agent, const ComponentEntry& controller, DWORD type,
                const char* descript, const char* version) {
    ComponentEntry part = controller;
    part.CompType = type;
    CopyEntryText(part.ProdDescript, descript);
    CopyEntryText(part.Version, version);
    agent.InsertComponent(&part);
}

void RevisionVersion(ComponentEntry* component, const ScsiCtrl& ctrl) {
    std::snprintf(component->Version, sizeof(component->Version), "%u", ctrl.Revision);
}

}  // namespace cx::storage

void AicAssocList::Append(const AicAssocEntry& entry) {
    index_[{entry.T1, entry.I1, entry.T2}].push_back(entries_.size());
    entries_.push_back(entry);
}

const std::vector<std::size_t>* AicAssocList::Matches(DWORD t1, DWORD i1, DWORD t2) const {
    const auto found = index_.find({t1, i1, t2});
    return found != index_.end() ? &found->second : nullptr;
}
