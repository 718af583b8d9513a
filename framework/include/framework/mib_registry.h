// The registration operations every MIB offers, whether it is the one being served
// (CSnmpMibTree, under its tree lock) or a complete new one being built beside it
// (CSnmpMibBuild, without any lock); both store into a MibStore.
#pragma once

#include <algorithm>
#include <initializer_list>
#include <utility>

#include "base/file_debug.h"
#include "framework/mib_entry.h"
#include "framework/mib_store.h"
#include "framework/mib_text.h"
#include "framework/mib_values.h"

template <class TAgent>
class CSnmpMibRegistry {
  public:
    using Callback = MibCallback<TAgent>;

    // Finds the entry of the binding's OID or adds one, and stores a copy of the binding, the
    // access and the four callbacks in it. A NULL name keeps the entry's earlier name, so
    // registering an OID again updates its value in place.
    void SetMibEntry(const SnmpVarBind* binding, const char* name, BYTE access,
                     Callback get_callback = {}, Callback set_callback = {},
                     Callback check_set_callback = {}, Callback pre_get_callback = {}) {
        if (binding == nullptr) return;
        SnmpVarBind copy;
        if (!SnmpUtilVarBindCpy(&copy, binding)) {
            StoreFailed();
            return;
        }
        StoreEntry(
            copy, name, access,
            MibCallbacks<TAgent>{std::move(get_callback), std::move(set_callback),
                                 std::move(check_set_callback), std::move(pre_get_callback)});
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
    // (AppendTableIndex; -1 is absent), which make its instance.
    void AddConstTableEntry(const char* oid_text, const char* name, LONG value, BYTE asn_type,
                            LONG index1, LONG index2 = -1, LONG index3 = -1, LONG index4 = -1,
                            LONG index5 = -1) {
        SnmpVarBind binding = MakeConstBinding(oid_text);
        SetVarBindValue(&binding, value, asn_type);
        AppendTableIndex(&binding.name, index1, index2, index3, index4, index5);
        StoreConstTableEntry(binding, name, IndexCount({index1, index2, index3, index4, index5}));
    }
    void AddConstTableEntry(const char* oid_text, const char* name, const char* value,
                            BYTE asn_type, LONG index1, LONG index2 = -1, LONG index3 = -1,
                            LONG index4 = -1, LONG index5 = -1) {
        SnmpVarBind binding = MakeConstBinding(oid_text);
        SetVarBindValueText(&binding, value, asn_type);
        AppendTableIndex(&binding.name, index1, index2, index3, index4, index5);
        StoreConstTableEntry(binding, name, IndexCount({index1, index2, index3, index4, index5}));
    }

  protected:
    CSnmpMibRegistry() = default;
    ~CSnmpMibRegistry() = default;
    CSnmpMibRegistry(const CSnmpMibRegistry&) = delete;
    CSnmpMibRegistry& operator=(const CSnmpMibRegistry&) = delete;

    // Takes ownership of `binding` (SnmpUtilMem memory), also when the entry is not stored.
    virtual void StoreEntry(SnmpVarBind& binding, const char* name, BYTE access,
                            MibCallbacks<TAgent>&& callbacks, BYTE instance_length = 1) = 0;
    // A registration lost its binding for want of memory.
    virtual void StoreFailed() {}

  private:
    void StoreConstMibEntry(SnmpVarBind& binding, const char* name, BYTE access) {
        CX_TRACE(1, "\n## Const MIB entry:   %-30s%s %s", name != nullptr ? name : "",
                 access == kMibAccessReadWrite ? " (RW) -" : " -", VarBindText(&binding));
        StoreEntry(binding, name, access, {});
    }

    void StoreConstTableEntry(SnmpVarBind& binding, const char* name, BYTE index_count) {
        CX_TRACE(1, "\n## Const table entry: %-30s - %s", name != nullptr ? name : "",
                 VarBindText(&binding));
        StoreEntry(binding, name, 0, {}, index_count);
    }

    static BYTE IndexCount(std::initializer_list<LONG> indexes) {
        return static_cast<BYTE>(
            std::count_if(indexes.begin(), indexes.end(), [](LONG index) { return index != -1; }));
    }
};
