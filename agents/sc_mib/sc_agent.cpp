// SC_MIB: the server-control agent on Linux. Serves the bus, I/O range, memory range and
// interrupt tables of the machine's PCI functions and the hard-disk adapter and device tables
// of its storage controllers under 1.3.6.1.4.1.7391.2.10.2.2, built once at start, and reports
// itself ready where the inventory's scan looks for it. "SysRoot" and "PciIds" (REG_SZ, Parameters
// key) point it at another system root and ID database.
#include <algorithm>
#include <string>
#include <vector>

#include "base/reg_key.h"
#include "block_reader.h"
#include "disk_tables.h"
#include "framework/agent_globals.h"
#include "framework/agent_status.h"
#include "framework/mib_values.h"
#include "framework/snmp_agent.h"
#include "pci_tables.h"
#include "platform/reg_publish.h"
#include "sc_mib/sc_mib_oids.h"
#include "sysfs_reader.h"

namespace {

// The subsystem whose readiness the inventory's scan waits for, below the common root.
constexpr char kEnvironmentParameters[] = "SC_MIB\\Subsystems\\Environment\\Parameters";
constexpr char kVolatileKey[] = "VolatileParameters";
constexpr DWORD kMaxSettingBytes = 4096;

SnmpVarBind BindingOf(const cx::scmib::TableValue& value) {
    SnmpVarBind binding{};
    binding.name.idLength = static_cast<UINT>(value.oid.size());
    binding.name.ids =
        static_cast<UINT*>(SnmpUtilMemAlloc(static_cast<UINT>(value.oid.size() * sizeof(UINT))));
    if (binding.name.ids == nullptr) {
        binding.name.idLength = 0;
        return binding;
    }
    std::copy(value.oid.begin(), value.oid.end(), binding.name.ids);
    AsnAny& any = binding.value;
    switch (value.type) {
        case cx::scmib::TableValue::Type::kInteger:
            any.asnType = ASN_INTEGER;
            any.asnValue.number = static_cast<AsnInteger32>(value.number);
            break;
        case cx::scmib::TableValue::Type::kGauge:
            any.asnType = ASN_GAUGE32;
            any.asnValue.gauge = value.number;
            break;
        case cx::scmib::TableValue::Type::kOctets:
            SetVarBindOctets(&binding, value.octets.data(), value.octets.size());
            break;
    }
    return binding;
}

class ServerControlAgent : public CSnmpAgent {
  public:
    BOOL InitSupportedRegions() override {
        AddMibRegion(cx::scmib::kHdRegion);
        AddMibRegion(cx::scmib::kPciRegion);
        return TRUE;
    }

    // The tables come from the machine, not from SWITCH.
    ServerControlAgent() { m_bSwitchRequired = false; }

    void InitializeMib() override {
        SetReadiness(kAgentStatusInitializing);
        cx::scmib::ReaderOptions options{Setting("SysRoot"), Setting("PciIds")};
        const cx::scmib::ReadResult read = cx::scmib::ReadPciFunctions(options);
        cx::scmib::BlockReadResult storage = cx::scmib::ReadStorageDevices(options.sys_root);
        auto values = cx::scmib::BuildTables(read.functions);
        const auto disk_values =
            cx::scmib::BuildDiskTables(read.functions, storage.devices, &storage.problems);
        for (const std::string& problem : read.problems)
            CX_TRACE(1, "\n%-20s: %s", g_szModuleName, problem.c_str());
        for (const std::string& problem : storage.problems)
            CX_TRACE(1, "\n%-20s: %s", g_szModuleName, problem.c_str());
        values.insert(values.end(), disk_values.begin(), disk_values.end());
        CSnmpMibBuild<CSnmpAgent> build;
        for (const cx::scmib::TableValue& value : values) {
            SnmpVarBind binding = BindingOf(value);
            if (binding.name.idLength != 0) build.SetMibEntry(&binding, "sc", 0);
            SnmpUtilVarBindFree(&binding);
        }
        if (!PublishMib(build)) {
            CX_TRACE(1, "\n%-20s: ERROR! Out of memory - no MIB served", g_szModuleName);
        }
        CX_TRACE(2, "\n%-20s: %u PCI functions, %u storage devices, %u objects served",
                 g_szModuleName, static_cast<unsigned>(read.functions.size()),
                 static_cast<unsigned>(storage.devices.size()),
                 static_cast<unsigned>(values.size()));
        SetAgentStatus(kAgentStatusInitialized);
        SetAgentLastError("");
        SetReadiness(kAgentStatusInitialized);
    }

    // Stopped, the agent is no longer ready: the next scan must not take it for serving.
    void CloseMib() override { SetReadiness(kAgentStatusInitializing); }

  private:
    // A string of the Parameters key; empty when absent.
    std::string Setting(const char* name) const {
        char value[kMaxSettingBytes] = {};
        const std::string key = std::string(m_szAgentRoot) + "\\Parameters";
        if (!ReadRegString(key.c_str(), name, value, sizeof(value) - 1)) return {};
        CX_TRACE(3, "\n%-20s: %s = \"%s\"", g_szModuleName, name, value);
        return value;
    }

    // A publication, as the agent's own states are: a busy registry never holds up the start.
    void SetReadiness(DWORD status) {
        const std::string path = std::string(m_szCommonRoot) + "\\" + kEnvironmentParameters;
        if (CxRegPublishValue(
                {{path, REG_OPTION_NON_VOLATILE}, {kVolatileKey, REG_OPTION_VOLATILE}},
                "AgentStatus", REG_DWORD, &status, sizeof(status)) != ERROR_SUCCESS) {
            CX_TRACE(1, "\n%-20s: ERROR! Could not write AgentStatus %u under \"%s\"!",
                     g_szModuleName, static_cast<unsigned>(status), path.c_str());
        }
    }
};

}  // namespace

CSnmpAgent* CreateSnmpAgent() { return new ServerControlAgent; }
