// ENTITY_MIB: the saved inventory served as ENTITY-MIB's entPhysicalTable, for management
// systems that read hardware inventory there. It follows the inventory file: a new one is
// served once it stayed unchanged for one look, and a changed table moves entLastChangeTime
// and, when "ConfigChangeTraps" (REG_DWORD, Parameters key) is 1, sends entConfigChange.
// "IndexGraceScans" and "IndexGraceHours" (REG_DWORD, same key) say how long the index of a
// part missing from the inventory waits for it to come back.
#include <algorithm>
#include <ctime>
#include <filesystem>
#include <string>

#include "base/file_debug.h"
#include "base/reg_key.h"
#include "change_throttle.h"
#include "entity_table.h"
#include "framework/agent_globals.h"
#include "framework/mib_values.h"
#include "framework/snmp_agent.h"
#include "index_map.h"
#include "inventory/cx_agent.h"
#include "inventory/profile_file.h"
#include "inventory/saved_inventory.h"
#include "platform/synch.h"
#include "platform/timing.h"

namespace {

using namespace cx::entity;

constexpr char kIndexFileName[] = "ENTITY_MIB.idx";
constexpr DWORD kLookIntervalMs = 2000;
constexpr DWORD kTrapIntervalMs = 5000;  // entConfigChange at most this often
constexpr DWORD kStopWaitMs = 10000;
constexpr DWORD kDefaultGraceScans = 3;
constexpr DWORD kDefaultGraceHours = 24;
constexpr UINT kConfigChangeEnterprise[] = {1, 3, 6, 1, 2, 1, 47, 2};
constexpr AsnInteger32 kConfigChange = 1;

// What identifies one version of a file: its size and time of last change; empty when absent.
std::string FileSignature(const std::string& path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    if (error) return {};
    const auto time = std::filesystem::last_write_time(path, error);
    if (error) return {};
    return std::to_string(size) + "@" + std::to_string(time.time_since_epoch().count());
}

SnmpVarBind BindingOf(const EntityValue& value) {
    SnmpVarBind binding{};
    auto* ids =
        static_cast<UINT*>(SnmpUtilMemAlloc(static_cast<UINT>(value.oid.size() * sizeof(UINT))));
    if (ids == nullptr) return binding;
    std::copy(value.oid.begin(), value.oid.end(), ids);
    binding.name.ids = ids;
    binding.name.idLength = static_cast<UINT>(value.oid.size());
    AsnAny& any = binding.value;
    switch (value.type) {
        case EntityValue::Type::kInteger:
            any.asnType = ASN_INTEGER;
            any.asnValue.number = static_cast<AsnInteger32>(value.number);
            break;
        case EntityValue::Type::kTimeTicks:
            any.asnType = ASN_TIMETICKS;
            any.asnValue.ticks = static_cast<AsnTimeticks>(value.number);
            break;
        case EntityValue::Type::kObjectId: {
            any.asnType = ASN_OBJECTIDENTIFIER;
            UINT zero_dot_zero[] = {0, 0};
            AsnObjectIdentifier oid{2, zero_dot_zero};
            SnmpUtilOidCpy(&any.asnValue.object, &oid);
            break;
        }
        case EntityValue::Type::kOctets:
            SetVarBindOctets(&binding, value.octets.data(), value.octets.size());
            break;
    }
    return binding;
}

class EntityAgent : public CSnmpAgent {
  public:
    // The table comes from the inventory file, not from SWITCH.
    EntityAgent() { m_bSwitchRequired = false; }
    ~EntityAgent() override {
        StopWatch();
        if (stop_ != nullptr) CloseHandle(stop_);
    }

    BOOL InitSupportedRegions() override {
        AddMibRegion(kEntityMibRoot);
        return TRUE;
    }

    void InitializeMib() override {
        std::vector<std::string> problems;
        indexes_.Load(DataPath(kIndexFileName), &problems);
        for (const std::string& problem : problems)
            CX_TRACE(1, "\n%-20s: %s", g_szModuleName, problem.c_str());
        served_ = FileSignature(DataPath(kSavedFileName));
        Rebuild(false);
        stop_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (stop_ == nullptr || !watch_.Start(&EntityAgent::WatchThread, this)) {
            CX_TRACE(1,
                     "\n%-20s: ERROR! Cannot start the inventory watch; the table stays as it is",
                     g_szModuleName);
        }
    }

    void CloseMib() override { StopWatch(); }

  private:
    static DWORD WINAPI WatchThread(LPVOID self) {
        static_cast<EntityAgent*>(self)->Watch();
        return 0;
    }

    // A file seen changed is read once it looks the same twice: the inventory agent may be
    // writing it in between.
    void Watch() {
        std::string last_look = served_;
        while (WaitForSingleObject(stop_, kLookIntervalMs) == WAIT_TIMEOUT) {
            const std::string look = FileSignature(DataPath(kSavedFileName));
            if (look != served_ && look == last_look) {
                served_ = look;
                Rebuild(true);
            }
            last_look = look;
            if (throttle_.Due(GetTickCount())) SendConfigChange();
        }
    }

    void StopWatch() {
        if (stop_ != nullptr) SetEvent(stop_);
        if (watch_.IsRunning() && !watch_.WaitForEnd(kStopWaitMs))
            CX_TRACE(1, "\n%-20s: ERROR! The inventory watch did not stop", g_szModuleName);
    }

    std::string DataPath(const char* name) const { return std::string(m_szDataRoot) + "/" + name; }

    void Rebuild(bool announce) {
        ProfileFile saved;
        const std::string path = DataPath(kSavedFileName);
        saved.SetPath(path.c_str());
        cx::inventory::SavedInventory inventory;
        if (m_szDataRoot[0] != '\0' && saved.Open(TRUE)) {
            inventory = cx::inventory::ReadSavedInventory(saved);
        } else {
            CX_TRACE(2, "\n%-20s: no saved inventory \"%s\", the table is empty", g_szModuleName,
                     path.c_str());
        }
        if (inventory.aborted) return;  // cut short by the shutdown: not the inventory
        indexes_.SetGrace({Parameter("IndexGraceScans", kDefaultGraceScans),
                           Parameter("IndexGraceHours", kDefaultGraceHours) * 3600ll});
        EntityTable table = BuildEntityTable(inventory, indexes_, std::time(nullptr));
        for (const std::string& problem : table.problems)
            CX_TRACE(1, "\n%-20s: %s: %s", g_szModuleName, path.c_str(), problem.c_str());
        if (m_szDataRoot[0] != '\0' && !indexes_.Save(DataPath(kIndexFileName)))
            CX_TRACE(1, "\n%-20s: ERROR! Cannot write \"%s\"; indexes may change on restart",
                     g_szModuleName, DataPath(kIndexFileName).c_str());
        const bool changed = !built_ || table.rows != rows_;
        if (changed) {
            rows_ = std::move(table.rows);
            last_change_ = GetTickCount() / 10 - m_dwStartTime;
        }
        CX_TRACE(2, "\n%-20s: %u entities%s", g_szModuleName, static_cast<unsigned>(rows_.size()),
                 changed ? ", table changed" : ", no change");
        if (changed) Publish();
        built_ = true;
        if (changed && announce && throttle_.Changed(GetTickCount())) SendConfigChange();
    }

    // The table is built beside the served one and swapped in: a walk sees the old table or
    // the new one, and requests do not wait while it is built.
    void Publish() {
        CSnmpMibBuild<CSnmpAgent> build;
        for (const EntityValue& value : EntityValues(rows_, last_change_)) {
            SnmpVarBind binding = BindingOf(value);
            if (binding.name.idLength != 0) build.SetMibEntry(&binding, "entity", 0);
            SnmpUtilVarBindFree(&binding);
        }
        if (!PublishMib(build))
            CX_TRACE(1, "\n%-20s: ERROR! Out of memory - the old table is kept", g_szModuleName);
    }

    // A DWORD of the Parameters key; `fallback` when it is absent.
    DWORD Parameter(const char* name, DWORD fallback) const {
        const std::string key = std::string(m_szAgentRoot) + "\\Parameters";
        RegKey parameters;
        DWORD value = 0;
        if (parameters.Open(key.c_str(), HKEY_LOCAL_MACHINE, KEY_READ) != ERROR_SUCCESS ||
            parameters.QueryDword(name, &value) != ERROR_SUCCESS)
            return fallback;
        return value;
    }

    void SendConfigChange() {
        if (Parameter("ConfigChangeTraps", 0) != 1) return;
        AsnObjectIdentifier enterprise{static_cast<UINT>(std::size(kConfigChangeEnterprise)),
                                       const_cast<UINT*>(kConfigChangeEnterprise)};
        SnmpVarBindList none{};
        if (QueueTrap(&enterprise, kConfigChange, &none))
            CX_TRACE(2, "\n%-20s: entConfigChange sent", g_szModuleName);
    }

    IndexMap indexes_;
    std::vector<EntityRow> rows_;
    DWORD last_change_ = 0;
    bool built_ = false;
    std::string served_;  // signature of the file the table was built from
    ChangeThrottle throttle_{kTrapIntervalMs};
    HANDLE stop_ = nullptr;
    CThread watch_;
};

}  // namespace

CSnmpAgent* CreateSnmpAgent() { return new EntityAgent; }
