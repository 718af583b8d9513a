// CSnmpMibTree: the agent's MIB, one entry per object in OID order, with the registration
// operations, the swap of a whole new MIB built beside it, and the per-binding GET, GETNEXT and
// SET steps that the request dispatch uses.
//
// The agent class derives from CSnmpMibTree<Agent>; callbacks are called on that agent. Every
// operation takes the tree lock for its whole duration. The agent's MIB lock, when held, is
// always taken before the tree lock.
#pragma once

#include <iterator>
#include <string>
#include <type_traits>
#include <utility>

#include "framework/mib_build.h"
#include "framework/mib_registry.h"
#include "platform/synch.h"

template <class TAgent>
class CSnmpMibTree : public CSnmpMibRegistry<TAgent> {
  public:
    using Callback = MibCallback<TAgent>;

    CSnmpMibTree() { InitializeCriticalSection(&m_TreeLock); }
    virtual ~CSnmpMibTree() {
        DeleteMib();
        DeleteCriticalSection(&m_TreeLock);
    }
    CSnmpMibTree(const CSnmpMibTree&) = delete;
    CSnmpMibTree& operator=(const CSnmpMibTree&) = delete;

    // Serves the entries of `build` in place of the whole MIB, in one step under the tree
    // lock: a request sees all of the old MIB or all of the new one. `build` then holds the
    // old entries, to be freed (Clear, or its end) once the caller has dropped the MIB lock.
    // A build that failed is not served: FALSE, and the MIB stays as it was.
    BOOL ReplaceMib(CSnmpMibBuild<TAgent>& build) {
        if (build.Failed()) return FALSE;
        TreeLock lock(&m_TreeLock);
        m_Mib.swap(build.m_Mib);
        m_Names.swap(build.m_Names);
        m_WalkValid = false;
        return TRUE;
    }

    void DeleteMib() {
        TreeLock lock(&m_TreeLock);
        m_WalkValid = false;
        m_Mib.clear();
        m_Names.clear();
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

    // What the MIB holds at `oid` (CX_LOOKUP_*): an entry, or an object type that is a prefix
    // of it (RFC 3416 tells a missing instance from a missing object by that), or neither. The
    // entries of one type lie together in OID order and `oid` sorts among them or next to
    // them, so the entries on either side of its place tell.
    DWORD LookupObject(const AsnObjectIdentifier* oid) {
        if (oid == nullptr) return CX_LOOKUP_NO_OBJECT_TYPE;
        const OidView view = ViewOf(*oid);
        TreeLock lock(&m_TreeLock);
        auto after = m_Mib.lower_bound(view);
        if (after != m_Mib.end() && !OidOrder::Less(view, after->first.View()))
            return CX_LOOKUP_INSTANCE;
        if ((after != m_Mib.end() && TypeIsPrefixOf(after->second, view)) ||
            (after != m_Mib.begin() && TypeIsPrefixOf(std::prev(after)->second, view)))
            return CX_LOOKUP_NO_INSTANCE;
        return CX_LOOKUP_NO_OBJECT_TYPE;
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

    using MibMap = ::MibMap<TAgent>;

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

  protected:
    void StoreEntry(SnmpVarBind& binding, const char* name, BYTE access,
                    MibCallbacks<TAgent>&& callbacks, BYTE instance_length) override {
        TreeLock lock(&m_TreeLock);
        try {
            // A new neighbour may now follow the walk's entry.
            if (StoreMibEntry(m_Mib, m_Names, binding, name, access, std::move(callbacks),
                              instance_length)) {
                m_WalkValid = false;
            }
        } catch (...) {
            SnmpUtilVarBindFree(&binding);
            throw;
        }
    }

  private:
    CRITICAL_SECTION m_TreeLock;
    MibMap m_Mib;
    MibNames m_Names;
    // The entry the last GETNEXT answered with, while no entry was added or removed since.
    typename MibMap::iterator m_WalkLast;
    bool m_WalkValid = false;
};
