// An in-process stand-in for the SNMP service: loads an agent library, calls its entry points
// in the order and manner the service does, and owns what the calls hand back.
#pragma once

#include <string>
#include <vector>

#include "platform/snmp.h"

namespace cx::test {

struct Trap {
    std::string enterprise;
    AsnInteger32 generic_trap = 0;
    AsnInteger32 specific_trap = 0;
    UINT binding_count = 0;
};

class SnmpService {
  public:
    SnmpService() = default;
    ~SnmpService();  // closes and unloads what is still open
    SnmpService(const SnmpService&) = delete;
    SnmpService& operator=(const SnmpService&) = delete;

    // dlopen and the five entry points; false with the reason in error().
    bool Load(const std::string& library_path);
    // SnmpExtensionInit, then SnmpExtensionInitEx until it declines; the views land in views().
    BOOL Init(DWORD time_zero = 0);
    // One request; the bindings are OIDs as dotted text with NULL values (for SET, the values
    // the caller placed in `list`).
    BOOL Query(BYTE request_type, SnmpVarBindList* list, AsnInteger32* error_status,
               AsnInteger32* error_index);
    // One SnmpExtensionTrap call; the outputs are kept in *trap when it returns TRUE.
    BOOL CallTrap(Trap* trap);
    // As the service: when the trap event is set, SnmpExtensionTrap until it returns FALSE.
    std::vector<Trap> PollTraps();
    void Close();
    void Unload();

    template <class Fn>
    Fn Symbol(const char* name) const {
        return reinterpret_cast<Fn>(FindSymbol(name));
    }

    HANDLE trap_event() const { return trap_event_; }
    const std::vector<std::string>& views() const { return views_; }
    const std::string& error() const { return error_; }

  private:
    void* FindSymbol(const char* name) const;

    using InitFn = BOOL (*)(DWORD, HANDLE*, AsnObjectIdentifier*);
    using InitExFn = BOOL (*)(AsnObjectIdentifier*);
    using QueryFn = BOOL (*)(BYTE, SnmpVarBindList*, AsnInteger32*, AsnInteger32*);
    using TrapFn = BOOL (*)(AsnObjectIdentifier*, AsnInteger32*, AsnInteger32*, AsnTimeticks*,
                            SnmpVarBindList*);
    using CloseFn = void (*)();

    void* library_ = nullptr;
    InitFn init_ = nullptr;
    InitExFn init_ex_ = nullptr;
    QueryFn query_ = nullptr;
    TrapFn trap_ = nullptr;
    CloseFn close_ = nullptr;
    bool closed_ = false;
    HANDLE trap_event_ = nullptr;
    std::vector<std::string> views_;
    std::string error_;
};

// Dotted text of an OID, without a leading dot.
std::string OidText(const AsnObjectIdentifier& oid);
// A list of bindings with the OIDs of `oids` and NULL values (SnmpUtilMem memory).
SnmpVarBindList MakeBindings(const std::vector<std::string>& oids);

}  // namespace cx::test
