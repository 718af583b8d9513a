// An extension agent for the host's tests, written straight against the five entry points.
// What it does is set by "<library file>.conf" beside it, one setting per line:
//   root OID          a view (the first through SnmpExtensionInit, the others through InitEx)
//   objects N         objects ROOT.1.1 ... ROOT.1.N of every view, INTEGER = generation
//   init_fail         SnmpExtensionInit returns FALSE
//   faulty            ROOT.3.1 makes the query throw, ROOT.4.1 makes it return FALSE
//   rebuild_ms N      a thread rebuilds the tree (next generation) every N ms
//   stuck_thread      SnmpExtensionClose leaves a thread behind that cannot be stopped
//   traps N           SET ROOT.9.1 = 1 queues N traps and signals the trap event
//   big N             objects ROOT.5.1 ... ROOT.5.N, OCTET STRINGs of 1024 bytes
//   ask_self PORT     a thread GETs ROOT.1.1 from 127.0.0.1:PORT with the community "norbel"
//                     until answered, then serves ROOT.8.1 = 1 (its session stays open)
// ROOT.9.1 (read-write INTEGER): 1 queues traps, 2 rebuilds once. Everything else is read-only.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <deque>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/handles.h"
#include "platform/mgmtapi.h"
#include "platform/module.h"
#include "platform/snmp.h"
#include "platform/synch.h"
#include "platform/threads.h"

namespace {

using Oid = std::vector<UINT>;

struct Agent {
    std::vector<Oid> roots;  // per view; handed out and never freed by the host
    std::map<std::string, int> settings;
    std::string library;
    std::mutex lock;  // the MIB lock: queries and rebuilds take it
    std::map<Oid, LONG> tree;
    LONG generation = 1;
    std::deque<std::pair<UINT, LONG>> traps;  // specific trap number, value
    HANDLE trap_event = nullptr;
    std::size_t next_view = 1;
    std::thread rebuilder;
    std::thread asker;
    LPSNMP_MGR_SESSION asking = nullptr;
    std::atomic<bool> stop{false};
    HANDLE stuck = nullptr;

    int Setting(const char* name) const {
        const auto found = settings.find(name);
        return found == settings.end() ? 0 : found->second;
    }
};

Agent* g_agent = nullptr;
constexpr LONG kBig = -1;  // stands for the value of ROOT.5.N, the large objects

Oid Child(const Oid& root, std::initializer_list<UINT> tail) {
    Oid oid = root;
    oid.insert(oid.end(), tail);
    return oid;
}

// "root" lines make views; a key alone counts as 1; any other key takes the number after it.
void ReadSettings(Agent& agent) {
    char path[4096] = {};
    GetModuleFileNameA(CxModuleFromAddress(reinterpret_cast<const void*>(&ReadSettings)), path,
                       sizeof(path));
    agent.library = path;
    std::ifstream file(agent.library + ".conf");
    for (std::string line; std::getline(file, line);) {
        std::istringstream words(line);
        std::string key, value;
        words >> key >> value;
        if (key != "root") {
            agent.settings[key] = value.empty() ? 1 : std::stoi(value);
            continue;
        }
        Oid& root = agent.roots.emplace_back();
        std::istringstream parts(value);
        for (std::string part; std::getline(parts, part, '.');)
            if (!part.empty()) root.push_back(static_cast<UINT>(std::stoul(part)));
    }
}

// Called with the lock held.
void Build(Agent& agent) {
    agent.tree.clear();
    for (const Oid& root : agent.roots) {
        for (int i = 1; i <= agent.Setting("objects"); ++i)
            agent.tree[Child(root, {1, static_cast<UINT>(i)})] = agent.generation;
        if (agent.Setting("faulty") != 0) agent.tree[Child(root, {3, 1})] = 0;
        if (agent.Setting("faulty") != 0) agent.tree[Child(root, {4, 1})] = 0;
        for (int i = 1; i <= agent.Setting("big"); ++i)
            agent.tree[Child(root, {5, static_cast<UINT>(i)})] = kBig;
        agent.tree[Child(root, {9, 1})] = 0;
    }
}

Oid ToOid(const AsnObjectIdentifier& oid) { return Oid(oid.ids, oid.ids + oid.idLength); }

void SetName(SnmpVarBind& binding, const Oid& oid) {
    SnmpUtilOidFree(&binding.name);
    binding.name.ids =
        static_cast<UINT*>(SnmpUtilMemAlloc(static_cast<UINT>(oid.size() * sizeof(UINT))));
    binding.name.idLength = static_cast<UINT>(oid.size());
    std::copy(oid.begin(), oid.end(), binding.name.ids);
}

void SetInteger(SnmpVarBind& binding, LONG value) {
    SnmpUtilAsnAnyFree(&binding.value);
    binding.value.asnType = ASN_INTEGER;
    binding.value.asnValue.number = value;
}

// The large objects' value is 1024 bytes of text.
void SetValue(SnmpVarBind& binding, LONG value) {
    if (value != kBig) return SetInteger(binding, value);
    SnmpUtilAsnAnyFree(&binding.value);
    binding.value.asnType = ASN_OCTETSTRING;
    binding.value.asnValue.string.stream = static_cast<BYTE*>(SnmpUtilMemAlloc(1024));
    std::fill_n(binding.value.asnValue.string.stream, 1024, 'x');
    binding.value.asnValue.string.length = 1024;
    binding.value.asnValue.string.dynamic = TRUE;
}

// The agent asking the host it runs in, as the inventory asks the other agents, until the host
// answers; the session that got the answer stays open until the agent closes.
void AskSelf(Agent* agent) {
    const std::string address = "127.0.0.1:" + std::to_string(agent->Setting("ask_self"));
    while (!agent->stop) {
        LPSNMP_MGR_SESSION session = SnmpMgrOpen(address.c_str(), "norbel", 200, 0);
        SnmpVarBindList list = {};
        list.list = static_cast<SnmpVarBind*>(SnmpUtilMemAlloc(sizeof(SnmpVarBind)));
        list.len = 1;
        SetName(list.list[0], Child(agent->roots[0], {1, 1}));
        AsnInteger status = 0, index = 0;
        const bool answered =
            session != nullptr &&
            SnmpMgrRequest(session, SNMP_PDU_GET, &list, &status, &index) == SNMPAPI_NOERROR &&
            status == SNMP_ERRORSTATUS_NOERROR;
        SnmpUtilVarBindListFree(&list);
        std::lock_guard<std::mutex> hold(agent->lock);
        if (answered) {
            agent->tree[Child(agent->roots[0], {8, 1})] = 1;
            agent->asking = session;
            return;
        }
        if (session != nullptr) SnmpMgrClose(session);
    }
}

// Whether `oid` makes the query fail (ROOT.4.1); ROOT.3.1 throws.
bool Faulty(const Agent& agent, const Oid& oid) {
    for (const Oid& root : agent.roots) {
        if (agent.Setting("faulty") != 0 && oid == Child(root, {3, 1}))
            throw std::runtime_error("test fault");
        if (agent.Setting("faulty") != 0 && oid == Child(root, {4, 1})) return true;
    }
    return false;
}

BOOL Query(Agent& agent, BYTE type, SnmpVarBindList* list, AsnInteger32* status,
           AsnInteger32* index) {
    for (UINT i = 0; i < list->len; ++i) {
        const Oid asked = ToOid(list->list[i].name);
        const bool command =
            std::any_of(agent.roots.begin(), agent.roots.end(), [&](const Oid& root) {
                return asked == Child(root, {9, 1});
            });
        const auto found =
            type == SNMP_PDU_GETNEXT ? agent.tree.upper_bound(asked) : agent.tree.find(asked);
        if (type == SNMP_PDU_SET && !command) {
            *status =
                found != agent.tree.end() ? SNMP_ERRORSTATUS_READONLY : SNMP_ERRORSTATUS_NOSUCHNAME;
            *index = static_cast<AsnInteger32>(i + 1);
            return TRUE;
        }
        if (type == SNMP_PDU_GET && found == agent.tree.end()) {
            *status = SNMP_ERRORSTATUS_NOSUCHNAME;
            *index = static_cast<AsnInteger32>(i + 1);
            return i == 0 ? FALSE : TRUE;
        }
        if (type == SNMP_PDU_GETNEXT && found == agent.tree.end()) {
            // Past the last object: the root of the asked view plus one, as the framework does.
            for (const Oid& root : agent.roots) {
                if (asked.size() < root.size() ||
                    !std::equal(root.begin(), root.end(), asked.begin()))
                    continue;
                Oid beyond = root;
                ++beyond.back();
                SetName(list->list[i], beyond);
                break;
            }
            continue;
        }
        if (type == SNMP_PDU_SET) continue;
        if (Faulty(agent, found->first)) return FALSE;
        SetName(list->list[i], found->first);
        SetValue(list->list[i], found->second);
    }
    for (UINT i = 0; type == SNMP_PDU_SET && i < list->len; ++i) {
        const LONG value = list->list[i].value.asnValue.number;
        for (int n = 1; value == 1 && n <= agent.Setting("traps"); ++n)
            agent.traps.emplace_back(static_cast<UINT>(n), agent.generation);
        if (value == 1) SetEvent(agent.trap_event);
        if (value == 2) ++agent.generation;
        if (value == 2) Build(agent);
    }
    return TRUE;
}

DWORD StuckThread(LPVOID) {
    for (;;)
        Sleep(1000);
}

}  // namespace

extern "C" BOOL SnmpExtensionInit(DWORD, HANDLE* trap_event, AsnObjectIdentifier* view) {
    view->idLength = 0;
    view->ids = nullptr;
    auto* agent = new Agent;
    ReadSettings(*agent);
    if (agent->Setting("init_fail") != 0 || agent->roots.empty()) {
        delete agent;
        return FALSE;
    }
    Build(*agent);
    agent->trap_event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    *trap_event = agent->trap_event;
    view->ids = agent->roots[0].data();
    view->idLength = static_cast<UINT>(agent->roots[0].size());
    if (agent->Setting("rebuild_ms") > 0) {
        agent->rebuilder = std::thread([agent] {
            while (!agent->stop) {
                {
                    std::lock_guard<std::mutex> hold(agent->lock);
                    ++agent->generation;
                    Build(*agent);
                }
                std::this_thread::sleep_for(
                    std::chrono::milliseconds(agent->Setting("rebuild_ms")));
            }
        });
    }
    if (agent->Setting("ask_self") != 0) agent->asker = std::thread(AskSelf, agent);
    if (agent->Setting("stuck_thread") != 0)
        agent->stuck = CreateThread(nullptr, 0, StuckThread, nullptr, 0, nullptr);
    g_agent = agent;
    return TRUE;
}

extern "C" BOOL SnmpExtensionInitEx(AsnObjectIdentifier* view) {
    view->idLength = 0;
    view->ids = nullptr;
    if (g_agent == nullptr || g_agent->next_view >= g_agent->roots.size()) return FALSE;
    Oid& root = g_agent->roots[g_agent->next_view++];
    view->ids = root.data();
    view->idLength = static_cast<UINT>(root.size());
    return TRUE;
}

extern "C" BOOL SnmpExtensionQuery(BYTE type, SnmpVarBindList* list, AsnInteger32* status,
                                   AsnInteger32* index) {
    *status = SNMP_ERRORSTATUS_NOERROR;
    *index = 0;
    std::lock_guard<std::mutex> hold(g_agent->lock);
    if (type == SNMP_PDU_GET || type == SNMP_PDU_GETNEXT || type == SNMP_PDU_SET)
        return Query(*g_agent, type, list, status, index);
    *status = SNMP_ERRORSTATUS_GENERR;
    *index = 1;
    return FALSE;
}

extern "C" BOOL SnmpExtensionTrap(AsnObjectIdentifier* enterprise, AsnInteger32* generic,
                                  AsnInteger32* specific, AsnTimeticks* timestamp,
                                  SnmpVarBindList* list) {
    std::lock_guard<std::mutex> hold(g_agent->lock);
    if (g_agent->traps.empty()) return FALSE;
    const auto [number, value] = g_agent->traps.front();
    g_agent->traps.pop_front();
    enterprise->ids = g_agent->roots[0].data();
    enterprise->idLength = static_cast<UINT>(g_agent->roots[0].size());
    *generic = SNMP_GENERICTRAP_ENTERSPECIFIC;
    *specific = static_cast<AsnInteger32>(number);
    *timestamp = 0;
    list->len = 1;
    list->list = static_cast<SnmpVarBind*>(SnmpUtilMemAlloc(sizeof(SnmpVarBind)));
    SetName(list->list[0], Child(g_agent->roots[0], {1, 1}));
    SetInteger(list->list[0], value);
    return TRUE;
}

extern "C" void SnmpExtensionClose() {
    if (g_agent == nullptr) return;
    g_agent->stop = true;
    if (g_agent->rebuilder.joinable()) g_agent->rebuilder.join();
    if (g_agent->asker.joinable()) g_agent->asker.join();
    if (g_agent->asking != nullptr) SnmpMgrClose(g_agent->asking);
    if (g_agent->stuck != nullptr) TerminateThread(g_agent->stuck, 0);
    CloseHandle(g_agent->trap_event);
    delete g_agent;
    g_agent = nullptr;
}
