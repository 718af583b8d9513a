// FillMib over a "Catalix.sav" of random bytes: whatever the file holds, the build finishes,
// publishes at least the scalars, and every entry lies inside the Catalix subtree. The same
// file read by the public reader gives ENTITY_MIB a well-formed tree: every row contained in
// an earlier row or in none, and numbered among its siblings.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>

#include <unistd.h>

#include "base/oid_text.h"
#include "entity_table.h"
#include "inventory/cx_agent.h"
#include "inventory/profile_file.h"
#include "inventory/saved_inventory.h"
#include "platform/files.h"
#include "platform/registry_store.h"

namespace {

// One agent for the whole run; it lives until the process ends, as a loaded agent does.
struct Setting {
    std::string root;
    CCX_Agent* agent = nullptr;

    Setting() {
        char pattern[] = "/tmp/fuzz_fill_mib.XXXXXX";
        if (mkdtemp(pattern) == nullptr) std::abort();
        root = pattern;
        CxRegistrySetPath((root + "/registry.db").c_str());
        agent = new CCX_Agent(CollectorSteps{});
        std::snprintf(agent->CSnmpAgent::m_szDataRoot, MAX_PATH, "%s", root.c_str());
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Setting setting;
    // Dropping the file through the platform also drops its parsed copy.
    const std::string saved = setting.root + "/Catalix.sav";
    DeleteFileA(saved.c_str());
    std::ofstream(saved, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    setting.agent->FillMib();
    CCX_Agent& agent = *setting.agent;
    if (agent.MibEntryCount() < 7) std::abort();  // the scalars
    // Every entry, walked by GETNEXT, lies below the root; the walk ends.
    SnmpVarBind binding{};
    binding.value.asnType = ASN_NULL;
    StringToOid("1.3.6.1.4.1.7391.2.10.2.10", &binding.name);
    std::size_t seen = 0;
    AsnInteger32 status = 0;
    while (agent.MibGetVarbind(&binding, SNMP_PDU_GETNEXT, &status, nullptr)) {
        const std::string oid = OidToString(&binding.name, 0);
        if (!oid.starts_with("1.3.6.1.4.1.7391.2.10.2.10.") || ++seen > agent.MibEntryCount())
            std::abort();
    }
    SnmpUtilVarBindFree(&binding);
    if (seen != agent.MibEntryCount()) std::abort();
    ProfileFile file;
    file.SetPath(saved.c_str());
    file.Open(TRUE);
    cx::entity::IndexMap indexes;
    std::set<std::int32_t> rows;
    for (const cx::entity::EntityRow& row :
         cx::entity::BuildEntityTable(cx::inventory::ReadSavedInventory(file), indexes, 0).rows) {
        if ((row.contained_in != 0 && rows.count(row.contained_in) == 0) ||
            (row.contained_in == 0) != (row.parent_rel_pos == -1) || row.parent_rel_pos == 0 ||
            !rows.insert(row.index).second)
            std::abort();
    }
    // Nothing outlives the input: an empty string's stream is a block whose only pointer
    // lies just past its header, which the leak check would take for a leak.
    agent.DeleteMib();
    return 0;
}
