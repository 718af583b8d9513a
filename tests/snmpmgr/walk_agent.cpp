// An extension agent for the manager's tests, loaded by extagentd: it serves the objects of a
// walk file under one view and, when asked, walks the host's whole MIB from a thread of its own
// through a manager session while the host serves (its own view included).
// "<library file>.conf" beside it, one setting per line:
//   root OID          the view
//   walk PATH         the walk file whose objects under the view are served
//   self_walks N      the thread walks the host's MIB N times, then writes "<library>.result"
#include <atomic>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/mgmtapi.h"
#include "platform/module.h"
#include "platform/snmp.h"
#include "walk_file.h"

namespace {

using Oid = std::vector<UINT>;

struct Agent {
    Oid root;
    std::map<Oid, cx::replay::WalkRecord> objects;
    int self_walks = 0;
    std::string result_path;
    std::thread walker;
    std::atomic<bool> stop{false};
};

Agent* g_agent = nullptr;

std::string LibraryPath() {
    char path[4096] = {};
    GetModuleFileNameA(CxModuleFromAddress(reinterpret_cast<const void*>(&LibraryPath)), path,
                       sizeof(path));
    return path;
}

Oid ParseOid(const std::string& text) {
    Oid oid;
    std::stringstream stream(text);
    std::string part;
    while (std::getline(stream, part, '.')) {
        if (!part.empty()) oid.push_back(static_cast<UINT>(std::stoul(part)));
    }
    return oid;
}

bool Under(const Oid& root, const Oid& oid) {
    return oid.size() > root.size() && std::equal(root.begin(), root.end(), oid.begin());
}

void Configure(Agent& agent) {
    const std::string library = LibraryPath();
    agent.result_path = library + ".result";
    std::ifstream conf(library + ".conf");
    std::string key;
    std::string walk_path;
    while (conf >> key) {
        std::string value;
        conf >> value;
        if (key == "root") agent.root = ParseOid(value);
        if (key == "walk") walk_path = value;
        if (key == "self_walks") agent.self_walks = std::stoi(value);
    }
    std::ifstream walk(walk_path);
    std::stringstream text;
    text << walk.rdbuf();
    for (cx::replay::WalkRecord& record : cx::replay::ParseWalkFile(text.str()).records) {
        Oid name(record.name.begin(), record.name.end());
        if (Under(agent.root, name)) agent.objects[name] = std::move(record);
    }
}

void SetName(SnmpVarBind& binding, const Oid& oid) {
    SnmpUtilOidFree(&binding.name);
    binding.name.ids =
        static_cast<UINT*>(SnmpUtilMemAlloc(static_cast<UINT>(oid.size() * sizeof(UINT))));
    binding.name.idLength = static_cast<UINT>(oid.size());
    std::copy(oid.begin(), oid.end(), binding.name.ids);
}

void SetValue(SnmpVarBind& binding, const cx::replay::WalkRecord& record) {
    SnmpUtilAsnAnyFree(&binding.value);
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
            AsnOctetString octets{nullptr, static_cast<UINT>(record.octets.size()), FALSE};
            octets.stream = reinterpret_cast<BYTE*>(const_cast<char*>(record.octets.data()));
            SnmpUtilOctetsCpy(&value.asnValue.string, &octets);
            break;
        }
        case ASN_OBJECTIDENTIFIER: {
            Oid object(record.object.begin(), record.object.end());
            AsnObjectIdentifier source{static_cast<UINT>(object.size()), object.data()};
            SnmpUtilOidCpy(&value.asnValue.object, &source);
            break;
        }
        case ASN_NULL: break;
        default: value.asnValue.unsigned32 = static_cast<AsnUnsigned32>(record.number); break;
    }
}

Oid NameOf(const AsnObjectIdentifier& oid) { return Oid(oid.ids, oid.ids + oid.idLength); }

// One walk of the host's MIB from 1.3: names must rise until the v1 end ("no such name").
// Returns the number of objects, or -1 when the walk went wrong.
int WalkHostOnce(LPSNMP_MGR_SESSION session) {
    SnmpVarBindList list{};
    list.len = 1;
    list.list = static_cast<SnmpVarBind*>(SnmpUtilMemAlloc(sizeof(SnmpVarBind)));
    SetName(list.list[0], {1, 3});
    list.list[0].value.asnType = ASN_NULL;
    int objects = 0;
    Oid previous = {1, 3};
    for (;;) {
        AsnInteger status = 0;
        AsnInteger index = 0;
        if (!SnmpMgrRequest(session, SNMP_PDU_GETNEXT, &list, &status, &index)) {
            objects = -1;
            break;
        }
        if (status == SNMP_ERRORSTATUS_NOSUCHNAME) break;
        const Oid name = NameOf(list.list[0].name);
        if (status != 0 || !(previous < name)) {
            objects = -1;
            break;
        }
        previous = name;
        ++objects;
    }
    SnmpUtilVarBindListFree(&list);
    return objects;
}

void SelfWalk(Agent* agent) {
    // The address without a port: the host's own UdpPort from the registry.
    LPSNMP_MGR_SESSION session = SnmpMgrOpen("127.0.0.1", "public", 1000, 2);
    int walks = 0;
    int errors = session == nullptr ? 1 : 0;
    long objects = 0;
    // The host answers once it has finished starting; until then requests go unanswered.
    bool serving = false;
    for (int attempt = 0; session != nullptr && attempt < 20 && !serving && !agent->stop; ++attempt)
        serving = WalkHostOnce(session) > 0;
    for (; serving && walks < agent->self_walks && !agent->stop; ++walks) {
        const int walked = WalkHostOnce(session);
        if (walked < 0) ++errors;
        if (walked > 0) objects += walked;
    }
    if (session != nullptr) SnmpMgrClose(session);
    std::ofstream(agent->result_path + ".part")
        << "walks=" << walks << " objects=" << objects << " errors=" << errors << "\n";
    std::rename((agent->result_path + ".part").c_str(), agent->result_path.c_str());
}

}  // namespace

extern "C" BOOL SnmpExtensionInit(DWORD, HANDLE* trap_event, AsnObjectIdentifier* view) {
    *trap_event = nullptr;
    auto* agent = new Agent;
    Configure(*agent);
    if (agent->root.empty()) {
        delete agent;
        return FALSE;
    }
    view->ids = agent->root.data();
    view->idLength = static_cast<UINT>(agent->root.size());
    if (agent->self_walks > 0) agent->walker = std::thread(SelfWalk, agent);
    g_agent = agent;
    return TRUE;
}

extern "C" BOOL SnmpExtensionQuery(BYTE type, SnmpVarBindList* list, AsnInteger32* status,
                                   AsnInteger32* index) {
    *status = SNMP_ERRORSTATUS_NOERROR;
    *index = 0;
    for (UINT i = 0; i < list->len; ++i) {
        const Oid asked = NameOf(list->list[i].name);
        auto found = type == SNMP_PDU_GETNEXT ? g_agent->objects.upper_bound(asked)
                                              : g_agent->objects.find(asked);
        if (type == SNMP_PDU_GETNEXT && found == g_agent->objects.end()) {
            Oid beyond = g_agent->root;  // past the last object, as the framework answers
            ++beyond.back();
            SetName(list->list[i], beyond);
            continue;
        }
        if (type != SNMP_PDU_GET && type != SNMP_PDU_GETNEXT) {
            *status = SNMP_ERRORSTATUS_READONLY;
            *index = static_cast<AsnInteger32>(i + 1);
            return TRUE;
        }
        if (found == g_agent->objects.end()) {
            *status = SNMP_ERRORSTATUS_NOSUCHNAME;
            *index = static_cast<AsnInteger32>(i + 1);
            return i == 0 ? FALSE : TRUE;
        }
        SetName(list->list[i], found->first);
        SetValue(list->list[i], found->second);
    }
    return TRUE;
}

extern "C" void SnmpExtensionClose() {
    if (g_agent == nullptr) return;
    g_agent->stop = true;
    if (g_agent->walker.joinable()) g_agent->walker.join();
    delete g_agent;
    g_agent = nullptr;
}
