// REPLAY_MIB: an extension agent that serves captured walks read-only. "Regions" names the views
// it registers, "WalkFiles" the files whose objects inside those views it serves, both
// REG_MULTI_SZ under the agent's Parameters key. It asks nothing of the SWITCH server, so it
// serves its walks whether or not one runs.
#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "framework/agent_globals.h"
#include "framework/agent_status.h"
#include "framework/snmp_agent.h"
#include "platform/winreg.h"
#include "walk_file.h"
#include "walk_values.h"

namespace {

// Bounds for what the registry and the files may hand us.
constexpr DWORD kMaxListBytes = 64 * 1024;
constexpr std::streamoff kMaxWalkFileBytes = 256LL * 1024 * 1024;

// The strings of a REG_MULTI_SZ (or a plain REG_SZ) value of our Parameters key; empty when the
// value is absent, of another type or too long.
std::vector<std::string> ReadStringList(const char* agent_root, const char* name) {
    std::vector<std::string> strings;
    const std::string path = std::string(agent_root) + "\\Parameters";
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        CX_TRACE(1, "\n%-20s: ERROR! Could not open \"%s\"!", g_szModuleName, path.c_str());
        return strings;
    }
    DWORD type = REG_NONE;
    DWORD size = 0;
    std::vector<char> buffer;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        (type == REG_MULTI_SZ || type == REG_SZ) && size <= kMaxListBytes) {
        buffer.resize(size);
        if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                             &size) != ERROR_SUCCESS)
            buffer.clear();
        buffer.resize(std::min<std::size_t>(size, buffer.size()));
    } else {
        CX_TRACE(1, "\n%-20s: ERROR! Could not read agent param \"%s\"!", g_szModuleName, name);
    }
    RegCloseKey(key);
    // The strings end at NULs; a last string without its NUL still counts.
    std::string current;
    for (char c : buffer) {
        if (c != '\0') {
            current += c;
        } else if (!current.empty()) {
            strings.push_back(std::move(current));
            current.clear();
        }
    }
    if (!current.empty()) strings.push_back(std::move(current));
    return strings;
}

bool Within(const cx::replay::Oid& root, const cx::replay::Oid& name) {
    return name.size() > root.size() && std::equal(root.begin(), root.end(), name.begin());
}

void CopyOid(AsnObjectIdentifier& target, const cx::replay::Oid& source) {
    target.idLength = static_cast<UINT>(source.size());
    target.ids = static_cast<UINT*>(SnmpUtilMemAlloc(
        static_cast<UINT>(std::max<std::size_t>(source.size(), 1) * sizeof(UINT))));
    if (target.ids == nullptr) {
        target.idLength = 0;
        return;
    }
    std::copy(source.begin(), source.end(), target.ids);
}

// The binding the MIB tree stores for one record: its name and its parsed type and value.
SnmpVarBind BindingOf(const cx::replay::WalkRecord& record) {
    SnmpVarBind binding{};
    CopyOid(binding.name, record.name);
    AsnAny& value = binding.value;
    value.asnType = record.type;
    switch (record.type) {
        case ASN_INTEGER: value.asnValue.number = static_cast<AsnInteger32>(record.number); break;
        case ASN_COUNTER64:
            value.asnValue.counter64.QuadPart = static_cast<ULONGLONG>(record.number);
            break;
        case ASN_OCTETSTRING:
        case ASN_IPADDRESS:
        case ASN_OPAQUE: {
            AsnOctetString octets{reinterpret_cast<BYTE*>(const_cast<char*>(record.octets.data())),
                                  static_cast<UINT>(record.octets.size()), FALSE};
            SnmpUtilOctetsCpy(&value.asnValue.string, &octets);
            break;
        }
        case ASN_OBJECTIDENTIFIER: CopyOid(value.asnValue.object, record.object); break;
        case ASN_NULL: break;
        default: value.asnValue.unsigned32 = static_cast<AsnUnsigned32>(record.number); break;
    }
    return binding;
}

class ReplayAgent : public CSnmpAgent {
  public:
    ReplayAgent() { m_bSwitchRequired = false; }

    BOOL InitSupportedRegions() override {
        for (const std::string& text : ReadStringList(m_szAgentRoot, "Regions")) {
            auto root = cx::replay::ParseOid(cx::replay::Trim(text), 2);
            if (!root) {
                CX_TRACE(1, "\n%-20s: ERROR! Region \"%s\" is no OID - ignored", g_szModuleName,
                         text.c_str());
                continue;
            }
            std::string dotted;
            for (std::uint32_t id : *root)
                dotted += (dotted.empty() ? "" : ".") + std::to_string(id);
            AddMibRegion(dotted.c_str());
            regions_.push_back(std::move(*root));
        }
        return regions_.empty() ? FALSE : TRUE;
    }

    void InitializeMib() override {
        std::size_t served = 0;
        CSnmpMibBuild<CSnmpAgent> build;
        for (const std::string& file : ReadStringList(m_szAgentRoot, "WalkFiles"))
            served += ServeFile(ResolvePath(file), build);
        if (!PublishMib(build)) {
            CX_TRACE(1, "\n%-20s: ERROR! Out of memory - no MIB served", g_szModuleName);
            served = 0;
        }
        CX_TRACE(2, "\n%-20s: %u objects served", g_szModuleName, static_cast<unsigned>(served));
        SetAgentStatus(kAgentStatusInitialized);
        SetAgentLastError("");
    }

  private:
    // A relative name is taken from the data root.
    std::string ResolvePath(const std::string& file) const {
        if (file.empty() || file[0] == '/' || m_szDataRoot[0] == '\0') return file;
        return std::string(m_szDataRoot) + "/" + file;
    }

    std::size_t ServeFile(const std::string& path, CSnmpMibBuild<CSnmpAgent>& build) {
        std::ifstream stream(path, std::ios::binary | std::ios::ate);
        if (!stream) {
            CX_TRACE(1, "\n%-20s: ERROR! Could not open walk file \"%s\"!", g_szModuleName,
                     path.c_str());
            return 0;
        }
        const std::streamoff size = stream.tellg();
        if (size < 0 || size > kMaxWalkFileBytes) {
            CX_TRACE(1, "\n%-20s: ERROR! Walk file \"%s\" too large - ignored", g_szModuleName,
                     path.c_str());
            return 0;
        }
        std::string text(static_cast<std::size_t>(size), '\0');
        stream.seekg(0);
        stream.read(text.data(), size);
        text.resize(static_cast<std::size_t>(stream.gcount()));

        const cx::replay::WalkContents contents = cx::replay::ParseWalkFile(text);
        for (const cx::replay::WalkProblem& problem : contents.problems) {
            CX_TRACE(1, "\n%-20s: %s:%u: %s - line skipped", g_szModuleName, path.c_str(),
                     static_cast<unsigned>(problem.line), problem.what.c_str());
        }
        std::size_t served = 0;
        for (const cx::replay::WalkRecord& record : contents.records) {
            if (!InRegions(record.name)) continue;
            SnmpVarBind binding = BindingOf(record);
            build.SetMibEntry(&binding, "replay", 0);
            SnmpUtilVarBindFree(&binding);
            ++served;
        }
        return served;
    }

    bool InRegions(const cx::replay::Oid& name) const {
        for (const cx::replay::Oid& root : regions_)
            if (Within(root, name)) return true;
        return false;
    }

    std::vector<cx::replay::Oid> regions_;
};

}  // namespace

CSnmpAgent* CreateSnmpAgent() { return new ReplayAgent; }
