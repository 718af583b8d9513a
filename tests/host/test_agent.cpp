// An extension agent for the host's tests, written straight against the five entry points.
// What it does is set by "<library file>.conf" beside it, one setting per line:
//   root OID          a view (the first through SnmpExtensionInit, the others through InitEx)
//   objects N         objects ROOT.1.1 ... ROOT.1.N of every view, INTEGER = generation
//   init_fail         SnmpExtensionInit returns FALSE
//   faulty            ROOT.3.1 makes the query throw, ROOT.4.1 makes it return FALSE
//   rebuild_ms N      a thread rebuilds the tree (next generation) every N ms
//   stuck_thread      SnmpExtensionClose leaves a thread behind that cannot be stopped
//   traps N           SET ROOT.9.1 = 1 queues N traps and signals the trap event
// ROOT.9.1 (read-write INTEGER): 1 queues traps, 2 rebuilds once. Everything else is read-only.
#include <cstdlib>
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
#include "platform/module.h"
#include "platform/snmp.h"
#include "platform/synch.h"
#include "platform/threads.h"

namespace {

using Oid = std::vector<UINT>;

struct Settings {
    std::vector<Oid> roots;
    UINT objects = 0;
    bool init_fail = false;
    bool faulty = false;
    int rebuild_ms = 0;
    bool stuck_thread = false;
    int traps = 0;
};

struct PendingTrap {
    UINT specific;
    LONG value;
};

struct Agent {
    Settings settings;
    std::mutex lock;  // the MIB lock: queries and rebuilds take it
    std::map<Oid, LONG> tree;
    LONG generation = 1;
    std::vector<Oid> enterprise;  // per view; handed out and never freed by the host
    std::deque<PendingTrap> traps;
    HANDLE trap_event = nullptr;
    std::size_t next_view = 1;
    std::thread rebuilder;
    bool stop = false;
    HANDLE stuck = nullptr;
};

Agent* g_agent = nullptr;

Oid ParseOid(const std::string& text) {
    Oid oid;
    std::stringstream stream(text);
    std::string part;
    while (std::getline(stream, part, '.')) {
        if (!part.empty()) oid.push_back(static_cast<UINT>(std::stoul(part)));
    }
    return oid;
}

Oid Child(const Oid& root, std::initializer_list<UINT> tail) {
    Oid oid = root;
    oid.insert(oid.end(), tail);
    return oid;
}

Settings ReadSettings() {
    Settings settings;
    char path[4096] = {};
    GetModuleFileNameA(CxModuleFromAddress(reinterpret_cast<const void*>(&ReadSettings)), path,
                       sizeof(path));
    std::ifstream file(std::string(path) + ".conf");
    std::string key;
    while (file >> key) {
        if (key == "root") {
            std::string oid;
            file >> oid;
            settings.roots.push_back(ParseOid(oid));
        } else if (key == "objects") {
            file >> settings.objects;
        } else if (key == "rebuild_ms") {
            file >> settings.rebuild_ms;
        } else if (key == "traps") {
            file >> settings.traps;
        } else if (key == "init_fail") {
            settings.init_fail = true;
        } else if (key == "faulty") {
            settings.faulty = true;
        } else if (key == "stuck_thread") {
            settings.stuck_thread = true;
        }
    }
    return settings;
}

// Called with the lock held.
void Build(Agent& agent) {
    agent.tree.clear();
    for (const Oid& root : agent.settings.roots) {
        for (UINT i = 1; i <= agent.settings.objects; ++i)
            agent.tree[Child(root, {1, i})] = agent.generation;
        if (agent.settings.faulty) {
            agent.tree[Child(root, {3, 1})] = 0;
            agent.tree[Child(root, {4, 1})] = 0;
        }
        agent.tree[Child(root, {9, 1})] = 0;
    }
}

void Rebuild(Agent& agent) {
    std::lock_guard<std::mutex> hold(agent.lock);
    ++agent.generation;
    Build(agent);
}

bool IsPrefix(const Oid& prefix, const Oid& oid) {
    return oid.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), oid.begin());
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

void CheckFault(const Agent& agent, const Oid& oid, bool* fail) {
    for (const Oid& root : agent.settings.roots) {
        if (!agent.settings.faulty) continue;
        if (oid == Child(root, {3, 1})) throw std::runtime_error("test fault");
        if (oid == Child(root, {4, 1})) *fail = true;
    }
}

BOOL Get(Agent& agent, SnmpVarBindList* list, AsnInteger32* status, AsnInteger32* index) {
    for (UINT i = 0; i < list->len; ++i) {
        const auto found = agent.tree.find(ToOid(list->list[i].name));
        if (found == agent.tree.end()) {
            *status = SNMP_ERRORSTATUS_NOSUCHNAME;
            *index = static_cast<AsnInteger32>(i + 1);
            return i == 0 ? FALSE : TRUE;
        }
        bool fail = false;
        CheckFault(agent, found->first, &fail);
        if (fail) return FALSE;
        SetInteger(list->list[i], found->second);
    }
    return TRUE;
}

BOOL GetNext(Agent& agent, SnmpVarBindList* list) {
    for (UINT i = 0; i < list->len; ++i) {
        const Oid asked = ToOid(list->list[i].name);
        const auto found = agent.tree.upper_bound(asked);
        if (found != agent.tree.end()) {
            bool fail = false;
            CheckFault(agent, found->first, &fail);
            if (fail) return FALSE;
            SetName(list->list[i], found->first);
            SetInteger(list->list[i], found->second);
            continue;
        }
        // Past the last object: the root of the asked view plus one, as the framework answers.
        for (const Oid& root : agent.settings.roots) {
            if (!IsPrefix(root, asked)) continue;
            Oid beyond = root;
            ++beyond.back();
            SetName(list->list[i], beyond);
            break;
        }
    }
    return TRUE;
}

BOOL Set(Agent& agent, SnmpVarBindList* list, AsnInteger32* status, AsnInteger32* index) {
    for (UINT i = 0; i < list->len; ++i) {
        const Oid oid = ToOid(list->list[i].name);
        bool command = false;
        for (const Oid& root : agent.settings.roots)
            command |= oid == Child(root, {9, 1});
        if (!command) {
            *status = agent.tree.count(oid) != 0 ? SNMP_ERRORSTATUS_READONLY
                                                 : SNMP_ERRORSTATUS_NOSUCHNAME;
            *index = static_cast<AsnInteger32>(i + 1);
            return TRUE;
        }
    }
    for (UINT i = 0; i < list->len; ++i) {
        const LONG value = list->list[i].value.asnValue.number;
        if (value == 1) {
            for (int n = 1; n <= agent.settings.traps; ++n)
                agent.traps.push_back(PendingTrap{static_cast<UINT>(n), agent.generation});
            SetEvent(agent.trap_event);
        } else if (value == 2) {
            ++agent.generation;
            Build(agent);
        }
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
    agent->settings = ReadSettings();
    if (agent->settings.init_fail || agent->settings.roots.empty()) {
        delete agent;
        return FALSE;
    }
    for (const Oid& root : agent->settings.roots)
        agent->enterprise.push_back(root);
    Build(*agent);
    agent->trap_event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    *trap_event = agent->trap_event;
    view->ids = agent->enterprise[0].data();
    view->idLength = static_cast<UINT>(agent->enterprise[0].size());
    if (agent->settings.rebuild_ms > 0) {
        agent->rebuilder = std::thread([agent] {
            for (;;) {
                {
                    std::lock_guard<std::mutex> hold(agent->lock);
                    if (agent->stop) return;
                }
                Rebuild(*agent);
                std::this_thread::sleep_for(std::chrono::milliseconds(agent->settings.rebuild_ms));
            }
        });
    }
    if (agent->settings.stuck_thread)
        agent->stuck = CreateThread(nullptr, 0, StuckThread, nullptr, 0, nullptr);
    g_agent = agent;
    return TRUE;
}

extern "C" BOOL SnmpExtensionInitEx(AsnObjectIdentifier* view) {
    view->idLength = 0;
    view->ids = nullptr;
    if (g_agent == nullptr || g_agent->next_view >= g_agent->enterprise.size()) return FALSE;
    Oid& root = g_agent->enterprise[g_agent->next_view++];
    view->ids = root.data();
    view->idLength = static_cast<UINT>(root.size());
    return TRUE;
}

extern "C" BOOL SnmpExtensionQuery(BYTE type, SnmpVarBindList* list, AsnInteger32* status,
                                   AsnInteger32* index) {
    *status = SNMP_ERRORSTATUS_NOERROR;
    *index = 0;
    std::lock_guard<std::mutex> hold(g_agent->lock);
    switch (type) {
        case SNMP_PDU_GET: return Get(*g_agent, list, status, index);
        case SNMP_PDU_GETNEXT: return GetNext(*g_agent, list);
        case SNMP_PDU_SET: return Set(*g_agent, list, status, index);
        default:
            *status = SNMP_ERRORSTATUS_GENERR;
            *index = 1;
            return FALSE;
    }
}

extern "C" BOOL SnmpExtensionTrap(AsnObjectIdentifier* enterprise, AsnInteger32* generic,
                                  AsnInteger32* specific, AsnTimeticks* timestamp,
                                  SnmpVarBindList* list) {
    std::lock_guard<std::mutex> hold(g_agent->lock);
    if (g_agent->traps.empty()) return FALSE;
    const PendingTrap trap = g_agent->traps.front();
    g_agent->traps.pop_front();
    enterprise->ids = g_agent->enterprise[0].data();
    enterprise->idLength = static_cast<UINT>(g_agent->enterprise[0].size());
    *generic = SNMP_GENERICTRAP_ENTERSPECIFIC;
    *specific = static_cast<AsnInteger32>(trap.specific);
    *timestamp = 0;
    list->len = 1;
    list->list = static_cast<SnmpVarBind*>(SnmpUtilMemAlloc(sizeof(SnmpVarBind)));
    SetName(list->list[0], Child(g_agent->settings.roots[0], {1, 1}));
    SetInteger(list->list[0], trap.value);
    return TRUE;
}

extern "C" void SnmpExtensionClose() {
    if (g_agent == nullptr) return;
    {
        std::lock_guard<std::mutex> hold(g_agent->lock);
        g_agent->stop = true;
    }
    if (g_agent->rebuilder.joinable()) g_agent->rebuilder.join();
    if (g_agent->stuck != nullptr) TerminateThread(g_agent->stuck, 0);
    CloseHandle(g_agent->trap_event);
    delete g_agent;
    g_agent = nullptr;
}
