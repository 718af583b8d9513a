// One loaded extension agent: its library, its five entry points and the views it serves.
#include "extension_agent.h"

#include <dlfcn.h>

#include "log.h"
#include "platform/synch.h"
#include "platform/threads.h"
#include "varbind_convert.h"

namespace cx::host {
namespace {

using InitFn = BOOL (*)(DWORD, HANDLE*, AsnObjectIdentifier*);
using InitExFn = BOOL (*)(AsnObjectIdentifier*);
using QueryFn = BOOL (*)(BYTE, SnmpVarBindList*, AsnInteger32*, AsnInteger32*);
using TrapFn = BOOL (*)(AsnObjectIdentifier*, AsnInteger32*, AsnInteger32*, AsnTimeticks*,
                        SnmpVarBindList*);
using CloseFn = void (*)();
using LookupFn = DWORD (*)(AsnObjectIdentifier*);

// An agent that keeps handing out views would never finish its start.
constexpr int kMaxViews = 1024;

}  // namespace

struct ExtensionAgent::EntryPoints {
    InitFn init = nullptr;
    InitExFn init_ex = nullptr;
    QueryFn query = nullptr;
    TrapFn trap = nullptr;
    CloseFn close = nullptr;
    LookupFn lookup = nullptr;  // ours, beside the five; optional
};

ExtensionAgent::ExtensionAgent(std::string name, std::string library_path, void* library)
    : name_(std::move(name)),
      library_path_(std::move(library_path)),
      library_(library),
      entry_(std::make_unique<EntryPoints>()) {}

ExtensionAgent::~ExtensionAgent() { Unload(); }

std::unique_ptr<ExtensionAgent> ExtensionAgent::Load(const std::string& name,
                                                     const std::string& library_path,
                                                     std::uint32_t time_zero, std::string* reason) {
    void* library = dlopen(library_path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* error = dlerror();
        *reason = error != nullptr ? error : "the library could not be loaded";
        return nullptr;
    }
    std::unique_ptr<ExtensionAgent> agent(new ExtensionAgent(name, library_path, library));
    if (!agent->Initialise(time_zero, reason)) return nullptr;
    return agent;
}

bool ExtensionAgent::Initialise(std::uint32_t time_zero, std::string* reason) {
    auto resolve = [this](const char* symbol) { return dlsym(library_, symbol); };
    entry_->init = reinterpret_cast<InitFn>(resolve("SnmpExtensionInit"));
    entry_->query = reinterpret_cast<QueryFn>(resolve("SnmpExtensionQuery"));
    entry_->init_ex = reinterpret_cast<InitExFn>(resolve("SnmpExtensionInitEx"));
    entry_->trap = reinterpret_cast<TrapFn>(resolve("SnmpExtensionTrap"));
    entry_->close = reinterpret_cast<CloseFn>(resolve("SnmpExtensionClose"));
    entry_->lookup = reinterpret_cast<LookupFn>(resolve("CxExtensionLookup"));
    if (entry_->init == nullptr) {
        *reason = "no entry point SnmpExtensionInit";
        return false;
    }
    if (entry_->query == nullptr) {
        *reason = "no entry point SnmpExtensionQuery";
        return false;
    }

    // The agent owns the view OIDs it hands out (often static arrays): they are copied, never
    // freed here.
    AsnObjectIdentifier view{};
    HANDLE trap_event = nullptr;
    BOOL ok = FALSE;
    try {
        ok = entry_->init(time_zero, &trap_event, &view);
    } catch (...) {
        *reason = "SnmpExtensionInit threw an exception";
        Close();
        return false;
    }
    if (!ok) {
        *reason = "SnmpExtensionInit returned FALSE";
        // Its Close still runs so that threads it may have started end before the unload.
        Close();
        return false;
    }
    trap_event_ = trap_event;
    if (view.idLength > 0 && view.ids != nullptr) views_.push_back(OidFromAsn(view));
    while (entry_->init_ex != nullptr && views_.size() < kMaxViews) {
        AsnObjectIdentifier next{};
        try {
            if (!entry_->init_ex(&next)) break;
        } catch (...) {
            Log(LogLevel::kWarning, "%s: SnmpExtensionInitEx threw an exception",
                library_path_.c_str());
            break;
        }
        if (next.idLength > 0 && next.ids != nullptr) views_.push_back(OidFromAsn(next));
    }
    if (views_.empty()) {
        *reason = "the agent supports no view";
        Close();
        return false;
    }
    return true;
}

QueryOutcome ExtensionAgent::Query(int request_type, std::vector<Binding>& bindings) {
    QueryOutcome outcome;
    SnmpVarBindList list{};
    if (!VarBindListFromBindings(bindings, &list)) {
        outcome.error_status = SNMP_ERRORSTATUS_GENERR;
        outcome.error_index = 1;
        return outcome;
    }
    AsnInteger32 status = 0;
    AsnInteger32 index = 0;
    try {
        outcome.result = entry_->query(static_cast<BYTE>(request_type), &list, &status, &index);
        outcome.error_status = status;
        outcome.error_index = index;
        // The agent may have shortened or lengthened the list; the request keeps its size.
        std::vector<Binding> answer = BindingsFromVarBindList(list);
        if (answer.size() == bindings.size()) {
            bindings = std::move(answer);
        } else {
            outcome = QueryOutcome{false, SNMP_ERRORSTATUS_GENERR, 1};
        }
    } catch (...) {
        Log(LogLevel::kError, "%s: SnmpExtensionQuery threw an exception", library_path_.c_str());
        outcome = QueryOutcome{false, SNMP_ERRORSTATUS_GENERR, 1};
    }
    SnmpUtilVarBindListFree(&list);
    return outcome;
}

Holding ExtensionAgent::Lookup(const Oid& name) {
    if (entry_->lookup == nullptr) return Holding::kUnknown;
    std::vector<UINT> ids(name.begin(), name.end());
    AsnObjectIdentifier oid{static_cast<UINT>(ids.size()), ids.data()};
    DWORD holding = CX_LOOKUP_INSTANCE;
    try {
        holding = entry_->lookup(&oid);
    } catch (...) {
        Log(LogLevel::kError, "%s: CxExtensionLookup threw an exception", library_path_.c_str());
        return Holding::kUnknown;
    }
    switch (holding) {
        case CX_LOOKUP_NO_OBJECT_TYPE: return Holding::kNoObjectType;
        case CX_LOOKUP_NO_INSTANCE: return Holding::kNoInstance;
        case CX_LOOKUP_INSTANCE: return Holding::kInstance;
        default: return Holding::kUnknown;
    }
}

bool ExtensionAgent::TrapSignalled() {
    if (trap_event_ == nullptr || entry_->trap == nullptr || closed_) return false;
    return WaitForSingleObject(trap_event_, 0) == WAIT_OBJECT_0;
}

bool ExtensionAgent::NextTrap(Trap* trap) {
    AsnObjectIdentifier enterprise{};
    AsnInteger32 generic = 0;
    AsnInteger32 specific = 0;
    AsnTimeticks timestamp = 0;
    SnmpVarBindList list{};
    BOOL more = FALSE;
    try {
        more = entry_->trap(&enterprise, &generic, &specific, &timestamp, &list);
    } catch (...) {
        Log(LogLevel::kError, "%s: SnmpExtensionTrap threw an exception", library_path_.c_str());
        more = FALSE;
    }
    if (more) {
        trap->enterprise = OidFromAsn(enterprise);
        trap->generic = generic;
        trap->specific = specific;
        trap->timestamp = timestamp;
        trap->bindings = BindingsFromVarBindList(list);
    }
    // The binding list belongs to the service once handed over; the enterprise OID stays the
    // agent's (agents commonly hand out a static one).
    SnmpUtilVarBindListFree(&list);
    return more != FALSE;
}

bool ExtensionAgent::Close() {
    if (closed_) return !keep_loaded_;
    closed_ = true;
    if (entry_->close == nullptr) return true;
    const DWORD abandoned_before = CxAbandonedThreadCount();
    try {
        entry_->close();
    } catch (...) {
        Log(LogLevel::kError, "%s: SnmpExtensionClose threw an exception", library_path_.c_str());
    }
    keep_loaded_ = CxAbandonedThreadCount() != abandoned_before;
    return !keep_loaded_;
}

void ExtensionAgent::Unload() {
    if (library_ == nullptr) return;
    if (keep_loaded_) {
        Log(LogLevel::kWarning, "%s: a thread of the agent could not be stopped; kept loaded",
            library_path_.c_str());
    } else {
        dlclose(library_);
        ReportUnload();
    }
    library_ = nullptr;
}

void ExtensionAgent::ReportUnload() const {
    // A library still mapped has not run its unload hook yet: it would at process exit,
    // after the host's own objects are gone. Asking without loading tells whether it went.
    void* still = dlopen(library_path_.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (still == nullptr) {
        Log(LogLevel::kInfo, "%s: unloaded", library_path_.c_str());
        return;
    }
    dlclose(still);
    Log(LogLevel::kWarning,
        "%s: still loaded after its unload (another agent uses it, or it pins itself)",
        library_path_.c_str());
}

}  // namespace cx::host
