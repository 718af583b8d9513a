// CSnmpMibTree: the agent's MIB, one entry per object in OID order, with the registration
// operations and the per-binding GET, GETNEXT and SET steps that the request dispatch uses.
//
// The agent class derives from CSnmpMibTree<Agent>; callbacks are called on that agent. Every
// operation takes the tree lock for its whole duration. The agent's MIB lock, when held, is
// always taken before the tree lock.
#pragma once

#include <iterator>
#include <map>
#include <string>
#include <type_traits>
#include <utility>

#include "base/file_debug.h"
#include "framework/mib_entry.h"
#include "framework/mib_text.h"
#include "framework/mib_values.h"
#include "framework/oid_order.h"
#include "platform/synch.h"

template <class TAgent>
class CSnmpMibTree {
  public:
    using Callback = MibCallback<TAgent>;

    CSnmpMibTree() { InitializeCriticalSection(&m_TreeLock); }
    ~CSnmpMibTree() {
        DeleteMib();
        DeleteCriticalSection(&m_TreeLock);
    }
    CSnmpMibTree(const CSnmpMibTree&) = delete;
    CSnmpMibTree& operator=(const CSnmpMibTree&) = delete;

    // Finds the entry of the binding's OID or adds one, and stores a copy of the binding, the
    // access and the four callbacks in it. A NULL name keeps the entry's earlier name, so
    // registering an OID again updates its value in place.
    void SetMibEntry(const SnmpVarBind* binding, const char* name, BYTE access,
                     Callback get_callback = {}, Callback set_callback = {},
                     Callback check_set_callback = {}, Callback pre_get_callback = {}) {
        if (binding == nullptr) return;
        SnmpVarBind copy;
        if (!SnmpUtilVarBindCpy(&copy, binding)) return;
        StoreEntry(copy, name, access, std::move(get_callback), std::move(set_callback),
                   std::move(check_set_callback), std::move(pre_get_callback));
    }

    // A constant object without callbacks; the value as a number (SetVarBindValue) or as text
    // (SetVarBindValueText). An OID text that does not parse registers the empty OID and an
    // unsupported type a NULL value, as the MIB builders have always relied on.
    void AddConstMibEntry(const char* oid_text, const char* name, LONG value, BYTE asn_type,
                          BYTE access) {
        SnmpVarBind binding = MakeConstBinding(oid_text);
        SetVarBindValue(&binding, value, asn_type);
        StoreConstMibEntry(binding, name, access);
    }
    void AddConstMibEntry(const char* oid_text, const char* name, const char* value, BYTE asn_type,
                          BYTE access) {
        SnmpVarBind binding = MakeConstBinding(oid_text);
        SetVarBindValueText(&binding, value, asn_type);
        StoreConstMibEntry(binding, name, access);
    }

    // A read-only table cell: the column OID's placeholders take the indexes
    // (AppendTableIndex; -1 is absent).
    void AddConstTableEntry(const char* oid_text, const char* name, LONG value, BYTE asn_type,
                            LONG index1, LONG index2 = -1, LONG index3 = -1, LONG index4 = -1,
                            LONG index5 = -1) {
        SnmpVarBind binding = MakeConstBinding(oid_text);
        SetVarBindValue(&binding, value, asn_type);
        AppendTableIndex(&binding.name, index1, index2, index3, index4, index5);
        StoreConstTableEntry(binding, name);
    }
    void AddConstTableEntry(const char* oid_text, const char* name, const char* value,
                            BYTE asn_type, LONG index1, LONG index2 = -1, LONG index3 = -1,
                            LONG index4 = -1, LONG index5 = -1) {
        SnmpVarBind binding = MakeConstBinding(oid_text);
        SetVarBindValueText(&binding, value, asn_type);
        AppendTableIndex(&binding.name, index1, index2, index3, index4, index5);
        StoreConstTableEntry(binding, name);
    }

    void DeleteMib() {
        TreeLock lock(&m_TreeLock);
        m_WalkValid = false;
        m_Mib.clear();
    }

    std::size_t MibEntryCount() {
        TreeLock lock(&m_TreeLock);
        return m_Mib.size();
    }

    // GET: the entry of exactly the binding's OID; GETNEXT: the first entry greater than it
    // (any other request type finds nothing). Without an entry: FALSE, status 2, the binding
    // untouched. With one: its name, status 0, then PreGetCallback (mode 3) and, while the
    // status is 0, GetCallback (mode 0) on a copy of the entry's binding, which then replaces
    // the request's binding, OID and value, even when a callback failed: a GETNEXT that
    // retries goes on after the failed entry.
    BOOL MibGetVarbind(SnmpVarBind* binding, BYTE request_type, AsnInteger32* error_status,
                       std::string* name) {
        AsnInteger32 status_sink;
        if (error_status == nullptr) error_status = &status_sink;
        *error_status = SNMP_ERRORSTATUS_NOSUCHNAME;
        if (binding == nullptr) return FALSE;

        TreeLock lock(&m_TreeLock);
        auto entry = m_Mib.end();
        if (request_type == SNMP_PDU_GET) {
            entry = m_Mib.find(ViewOf(binding->name));
        } else if (request_type == SNMP_PDU_GETNEXT) {
            entry = FindNext(ViewOf(binding->name));
        }
        if (entry == m_Mib.end()) return FALSE;

        SnmpVarBind answer;
        if (!SnmpUtilVarBindCpy(&answer, &entry->second.Binding)) {
            *error_status = SNMP_ERRORSTATUS_GENERR;
            return FALSE;
        }
        *error_status = SNMP_ERRORSTATUS_NOERROR;
        if (name != nullptr) *name = entry->second.Name;
        if (entry->second.Callbacks) {
            // Copies: a callback may change the tree and take the entry with it.
            Callback pre_get = entry->second.Callbacks->PreGetCallback;
            Callback get = entry->second.Callbacks->GetCallback;
            if (pre_get) *error_status = CallCallback(pre_get, &answer, kMibModePreGet);
            if (get && *error_status == SNMP_ERRORSTATUS_NOERROR) {
                *error_status = CallCallback(get, &answer, kMibModeGet);
            }
        }
        SnmpUtilVarBindFree(binding);
        *binding = answer;
        return TRUE;
    }

    // SET, first phase: TRUE when the entry exists. Status 4 when it is read-only, else the
    // result of CheckSetCallback (mode 2) on the request's binding; the stored value stays.
    BOOL MibCheckSetVarbind(SnmpVarBind* binding, AsnInteger32* error_status, std::string* name) {
        AsnInteger32 status_sink;
        if (error_status == nullptr) error_status = &status_sink;
        *error_status = SNMP_ERRORSTATUS_NOSUCHNAME;
        if (binding == nullptr) return FALSE;

        TreeLock lock(&m_TreeLock);
        auto entry = m_Mib.find(ViewOf(binding->name));
        if (entry == m_Mib.end()) return FALSE;
        *error_status = SNMP_ERRORSTATUS_NOERROR;
        if (name != nullptr) *name = entry->second.Name;
        if (entry->second.Access != kMibAccessReadWrite) {
            *error_status = SNMP_ERRORSTATUS_READONLY;
        } else if (entry->second.Callbacks && entry->second.Callbacks->CheckSetCallback) {
            Callback check_set = entry->second.Callbacks->CheckSetCallback;
            *error_status = CallCallback(check_set, binding, kMibModeCheckSet);
        }
        return TRUE;
    }

    // SET, second phase: TRUE when the entry exists. Status 4 when it is read-only; otherwise
    // SetCallback (mode 1) on the request's binding and, when that leaves status 0, a copy of
    // the request's binding, of whatever type, becomes the stored one.
    BOOL MibSetVarbind(SnmpVarBind* binding, AsnInteger32* error_status) {
        AsnInteger32 status_sink;
        if (error_status == nullptr) error_status = &status_sink;
        *error_status = SNMP_ERRORSTATUS_NOSUCHNAME;
        if (binding == nullptr) return FALSE;

        TreeLock lock(&m_TreeLock);
        auto entry = m_Mib.find(ViewOf(binding->name));
        if (entry == m_Mib.end()) return FALSE;
        *error_status = SNMP_ERRORSTATUS_NOERROR;
        if (entry->second.Access != kMibAccessReadWrite) {
            *error_status = SNMP_ERRORSTATUS_READONLY;
            return TRUE;
        }
        if (entry->second.Callbacks && entry->second.Callbacks->SetCallback) {
            // The callback may change the tree and the request's OID: find the entry again
            // by its own key afterwards.
            OidKey key = entry->first;
            Callback set = entry->second.Callbacks->SetCallback;
            *error_status = CallCallback(set, binding, kMibModeSet);
            entry = m_Mib.find(key.View());
            if (entry == m_Mib.end()) return TRUE;
        }
        if (*error_status != SNMP_ERRORSTATUS_NOERROR) return TRUE;
        // The entry keeps its own OID, so that its key and its binding never part.
        AsnAny value;
        if (!SnmpUtilAsnAnyCpy(&value, &binding->value)) {
            *error_status = SNMP_ERRORSTATUS_GENERR;
            return TRUE;
        }
        SnmpUtilAsnAnyFree(&entry->second.Binding.value);
        entry->second.Binding.value = value;
        return TRUE;
    }

  private:
    class TreeLock {
      public:
        explicit TreeLock(LPCRITICAL_SECTION lock) : lock_(lock) { EnterCriticalSection(lock_); }
        ~TreeLock() { LeaveCriticalSection(lock_); }
        TreeLock(const TreeLock&) = delete;
        TreeLock& operator=(const TreeLock&) = delete;

      private:
        LPCRITICAL_SECTION lock_;
    };

    using MibMap = std::map<OidKey, MibEntry<TAgent>, OidOrder>;

    // The first entry greater than `oid`. A manager's walk asks for the entry after the one
    // it was just given; that entry's neighbour answers without a search from the root.
    typename MibMap::iterator FindNext(OidView oid) {
        typename MibMap::iterator next;
        if (m_WalkValid && !OidOrder::Less(oid, m_WalkLast->first.View()) &&
            !OidOrder::Less(m_WalkLast->first.View(), oid)) {
            next = std::next(m_WalkLast);
        } else {
            next = m_Mib.upper_bound(oid);
        }
        m_WalkValid = next != m_Mib.end();
        if (m_WalkValid) m_WalkLast = next;
        return next;
    }

    // A callback that throws answers "generic error"; the request goes on.
    AsnInteger32 CallCallback(const Callback& callback, SnmpVarBind* binding, UINT mode) {
        static_assert(std::is_base_of_v<CSnmpMibTree<TAgent>, TAgent>,
                      "the agent class derives from CSnmpMibTree<agent class>");
        try {
            return callback(static_cast<TAgent&>(*this), binding, mode);
        } catch (...) {
            return SNMP_ERRORSTATUS_GENERR;
        }
    }

    // Takes ownership of `binding` (SnmpUtilMem memory).
    void StoreEntry(SnmpVarBind& binding, const char* name, BYTE access, Callback get_callback,
                    Callback set_callback, Callback check_set_callback, Callback pre_get_callback) {
        OidView oid = ViewOf(binding.name);
        TreeLock lock(&m_TreeLock);
        auto [entry, added] = m_Mib.try_emplace(OidKey(oid));
        if (added) m_WalkValid = false;  // a new neighbour may now follow the walk's entry
        MibEntry<TAgent>& stored = entry->second;
        SnmpUtilVarBindFree(&stored.Binding);
        stored.Binding = binding;
        binding = SnmpVarBind{};
        if (get_callback || set_callback || check_set_callback || pre_get_callback) {
            stored.Callbacks.reset(new MibCallbacks<TAgent>{
                std::move(get_callback), std::move(set_callback), std::move(check_set_callback),
                std::move(pre_get_callback)});
        } else {
            stored.Callbacks.reset();
        }
        stored.Access = access;
        if (name != nullptr) stored.Name = name;
    }

    void StoreConstMibEntry(SnmpVarBind& binding, const char* name, BYTE access) {
        CX_TRACE(1, "\n## Const MIB entry:   %-30s%s %s", name != nullptr ? name : "",
                 access == kMibAccessReadWrite ? " (RW) -" : " -", VarBindText(&binding));
        StoreEntry(binding, name, access, {}, {}, {}, {});
    }

    void StoreConstTableEntry(SnmpVarBind& binding, const char* name) {
        CX_TRACE(1, "\n## Const table entry: %-30s - %s", name != nullptr ? name : "",
                 VarBindText(&binding));
        StoreEntry(binding, name, 0, {}, {}, {}, {});
    }

    CRITICAL_SECTION m_TreeLock;
    MibMap m_Mib;
    // The entry the last GETNEXT answered with, while no entry was added or removed since.
    typename MibMap::iterator m_WalkLast;
    bool m_WalkValid = false;
};
