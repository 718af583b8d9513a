// CSnmpMibTree: the agent's MIB, one entry per object in OID order, with the registration
// operations, the swap of a whole new MIB built beside it, and the per-binding GET, GETNEXT and
// SET steps that the request dispatch uses.
//
// The agent class derives from CSnmpMibTree<Agent>; callbacks are called on that agent. Every
// operation takes the tree lock for its whole duration. The agent's MIB lock, when held, is
// always taken before the tree lock.
#pragma once

#include <new>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

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
        build.Seal();
        if (build.Failed()) return FALSE;
        TreeLock lock(&m_TreeLock);
        m_Mib.swap(build.m_Mib);
        m_WalkValid = false;
        return TRUE;
    }

    // Sizes `build` for a MIB as large as this one (MibStore::ReserveLike); without the room
    // the build only grows as it goes.
    void PrepareBuild(CSnmpMibBuild<TAgent>& build) {
        TreeLock lock(&m_TreeLock);
        try {
            build.m_Mib.ReserveLike(m_Mib);
        } catch (const std::bad_alloc&) {
        }
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
        std::size_t entry = Store::npos;
        if (request_type == SNMP_PDU_GET) {
            entry = m_Mib.Find(ViewOf(binding->name));
        } else if (request_type == SNMP_PDU_GETNEXT) {
            entry = FindNext(ViewOf(binding->name));
        }
        if (entry == Store::npos) return FALSE;

        SnmpVarBind answer;
        if (!m_Mib.CopyBinding(entry, &answer)) {
            *error_status = SNMP_ERRORSTATUS_GENERR;
            return FALSE;
        }
        *error_status = SNMP_ERRORSTATUS_NOERROR;
        if (name != nullptr) *name = m_Mib.Name(entry);
        if (const MibCallbacks<TAgent>* callbacks = m_Mib.Callbacks(entry)) {
            // Copies: a callback may change the tree and take the entry with it.
            Callback pre_get = callbacks->PreGetCallback;
            Callback get = callbacks->GetCallback;
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
        const std::size_t entry = m_Mib.Find(ViewOf(binding->name));
        if (entry == Store::npos) return FALSE;
        *error_status = SNMP_ERRORSTATUS_NOERROR;
        if (name != nullptr) *name = m_Mib.Name(entry);
        const MibCallbacks<TAgent>* callbacks = m_Mib.Callbacks(entry);
        if (m_Mib.Access(entry) != kMibAccessReadWrite) {
            *error_status = SNMP_ERRORSTATUS_READONLY;
        } else if (callbacks != nullptr && callbacks->CheckSetCallback) {
            Callback check_set = callbacks->CheckSetCallback;
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
        std::size_t entry = m_Mib.Find(ViewOf(binding->name));
        if (entry == Store::npos) return FALSE;
        *error_status = SNMP_ERRORSTATUS_NOERROR;
        if (m_Mib.Access(entry) != kMibAccessReadWrite) {
            *error_status = SNMP_ERRORSTATUS_READONLY;
            return TRUE;
        }
        const MibCallbacks<TAgent>* callbacks = m_Mib.Callbacks(entry);
        if (callbacks != nullptr && callbacks->SetCallback) {
            // The callback may change the tree and the request's OID: find the entry again
            // by its own OID afterwards.
            const OidView oid = m_Mib.Oid(entry);
            const std::vector<UINT> key(oid.ids, oid.ids + oid.length);
            Callback set = callbacks->SetCallback;
            *error_status = CallCallback(set, binding, kMibModeSet);
            entry = m_Mib.Find({key.data(), key.size()});
            if (entry == Store::npos) return TRUE;
        }
        if (*error_status != SNMP_ERRORSTATUS_NOERROR) return TRUE;
        // The entry keeps its own OID; a value that cannot be stored leaves the old one.
        try {
            m_Mib.SetValue(entry, binding->value);
        } catch (const std::bad_alloc&) {
            *error_status = SNMP_ERRORSTATUS_GENERR;
        }
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
        const std::size_t after = m_Mib.LowerBound(view);
        if (after < m_Mib.size() && OidOrder::Equal(view, m_Mib.Oid(after)))
            return CX_LOOKUP_INSTANCE;
        if ((after < m_Mib.size() && m_Mib.TypeIsPrefixOf(after, view)) ||
            (after > 0 && m_Mib.TypeIsPrefixOf(after - 1, view)))
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

    using Store = MibStore<TAgent>;

    // The first entry greater than `oid`. A manager's walk asks for the entry after the one
    // it was just given; that entry's neighbour answers without a search.
    std::size_t FindNext(OidView oid) {
        std::size_t next;
        if (m_WalkValid && OidOrder::Equal(oid, m_Mib.Oid(m_WalkLast))) {
            next = m_WalkLast + 1;
        } else {
            next = m_Mib.UpperBound(oid);
        }
        m_WalkValid = next < m_Mib.size();
        if (!m_WalkValid) return Store::npos;
        m_WalkLast = next;
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
            if (m_Mib.Store(binding, name, access, std::move(callbacks), instance_length, true)) {
                m_WalkValid = false;
            }
        } catch (...) {
            SnmpUtilVarBindFree(&binding);
            throw;
        }
        SnmpUtilVarBindFree(&binding);
    }

  private:
    CRITICAL_SECTION m_TreeLock;
    Store m_Mib;
    // The entry the last GETNEXT answered with, while no entry was added or removed since.
    std::size_t m_WalkLast = 0;
    bool m_WalkValid = false;
};
