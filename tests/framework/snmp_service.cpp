// The in-process SNMP service of the framework tests.
#include "snmp_service.h"

#include <dlfcn.h>

#include <cstdlib>

#include "platform/synch.h"

namespace cx::test {

std::string OidText(const AsnObjectIdentifier& oid) {
    std::string text;
    for (UINT i = 0; i < oid.idLength; ++i) {
        if (i > 0) text += '.';
        text += std::to_string(oid.ids[i]);
    }
    return text;
}

SnmpVarBindList MakeBindings(const std::vector<std::string>& oids) {
    SnmpVarBindList list{};
    list.len = static_cast<UINT>(oids.size());
    list.list = static_cast<SnmpVarBind*>(SnmpUtilMemAlloc(list.len * sizeof(SnmpVarBind)));
    for (UINT i = 0; i < list.len; ++i) {
        SnmpVarBind& binding = list.list[i];
        binding = SnmpVarBind{};
        binding.value.asnType = ASN_NULL;
        std::vector<UINT> ids;
        const char* text = oids[i].c_str();
        while (*text != '\0') {
            char* end = nullptr;
            ids.push_back(static_cast<UINT>(std::strtoul(text, &end, 10)));
            text = *end == '.' ? end + 1 : end + (*end != '\0' ? 1 : 0);
        }
        binding.name.idLength = static_cast<UINT>(ids.size());
        binding.name.ids = static_cast<UINT*>(SnmpUtilMemAlloc(ids.size() * sizeof(UINT) + 1));
        for (std::size_t j = 0; j < ids.size(); ++j)
            binding.name.ids[j] = ids[j];
    }
    return list;
}

SnmpService::~SnmpService() { Unload(); }

void* SnmpService::FindSymbol(const char* name) const {
    return library_ != nullptr ? dlsym(library_, name) : nullptr;
}

bool SnmpService::Load(const std::string& library_path) {
    library_ = dlopen(library_path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library_ == nullptr) {
        const char* reason = dlerror();
        error_ = reason != nullptr ? reason : "dlopen failed";
        return false;
    }
    init_ = Symbol<InitFn>("SnmpExtensionInit");
    init_ex_ = Symbol<InitExFn>("SnmpExtensionInitEx");
    query_ = Symbol<QueryFn>("SnmpExtensionQuery");
    trap_ = Symbol<TrapFn>("SnmpExtensionTrap");
    close_ = Symbol<CloseFn>("SnmpExtensionClose");
    if (init_ == nullptr || query_ == nullptr) {
        error_ = "entry points missing";
        return false;
    }
    closed_ = false;
    return true;
}

BOOL SnmpService::Init(DWORD time_zero) {
    AsnObjectIdentifier view{};
    BOOL ok = init_(time_zero, &trap_event_, &view);
    if (!ok) return FALSE;
    views_.push_back(OidText(view));  // the view stays the agent's, as with the real service
    if (init_ex_ != nullptr) {
        // The service asks for further regions until the agent declines; bounded all the same.
        for (int i = 0; i < 64; ++i) {
            AsnObjectIdentifier more{};
            BOOL again = init_ex_(&more);
            if (!again) break;
            views_.push_back(OidText(more));
        }
    }
    return TRUE;
}

BOOL SnmpService::Query(BYTE request_type, SnmpVarBindList* list, AsnInteger32* error_status,
                        AsnInteger32* error_index) {
    return query_(request_type, list, error_status, error_index);
}

BOOL SnmpService::CallTrap(Trap* trap) {
    AsnObjectIdentifier enterprise{};
    AsnInteger32 generic_trap = 0;
    AsnInteger32 specific_trap = 0;
    AsnTimeticks time_stamp = 0;
    SnmpVarBindList bindings{};
    BOOL result = trap_(&enterprise, &generic_trap, &specific_trap, &time_stamp, &bindings);
    if (result && trap != nullptr) {
        trap->enterprise = OidText(enterprise);
        trap->generic_trap = generic_trap;
        trap->specific_trap = specific_trap;
        trap->binding_count = bindings.len;
    }
    // As the SNMP service: the bindings are the service's to free, the enterprise OID the agent's.
    SnmpUtilVarBindListFree(&bindings);
    return result;
}

std::vector<Trap> SnmpService::PollTraps() {
    std::vector<Trap> traps;
    if (trap_event_ == nullptr || WaitForSingleObject(trap_event_, 0) != WAIT_OBJECT_0) {
        return traps;
    }
    // The service sends what the agent hands out until it says there is no more.
    for (int i = 0; i < 1024; ++i) {
        Trap trap;
        if (!CallTrap(&trap)) break;
        traps.push_back(trap);
    }
    return traps;
}

void SnmpService::Close() {
    if (close_ != nullptr && !closed_) close_();
    closed_ = true;
}

void SnmpService::Unload() {
    if (library_ == nullptr) return;
    dlclose(library_);
    library_ = nullptr;
    init_ = nullptr;
    init_ex_ = nullptr;
    query_ = nullptr;
    trap_ = nullptr;
    close_ = nullptr;
    trap_event_ = nullptr;
}

}  // namespace cx::test
