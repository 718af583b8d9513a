// The registration operations every MIB offers, whether it is the one being served
// (CSnmpMibTree, under its tree lock) or a complete new one being built beside it
// (CSnmpMibBuild, without any lock), and the entry map they both store into.
#pragma once

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "base/file_debug.h"
#include "framework/mib_entry.h"
#include "framework/mib_text.h"
#include "framework/mib_values.h"
#include "framework/oid_order.h"

template <class TAgent>
using MibMap = std::map<OidKey, MibEntry<TAgent>, OidOrder>;

// The names a MIB's entries are registered under, each kept once: a large MIB repeats a few
// dozen column names thousands of times. A name stays where it is until the MIB is cleared,
// also when the set is swapped with another MIB's.
class MibNames {
  public:
    const char* Intern(const char* name) {
        auto found = names_.find(std::string_view(name));
        if (found == names_.end()) found = names_.emplace(name).first;
        return found->c_str();
    }
    void clear() { names_.clear(); }
    void swap(MibNames& other) { names_.swap(other.names_); }

  private:
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const {
            return std::hash<std::string_view>{}(text);
        }
    };
    std::unordered_set<std::string, Hash, std::equal_to<>> names_;
};

// Stores `binding` (taking its SnmpUtilMem memory) under its own OID, replacing the value,
// callbacks, access and instance length of an entry already there; a NULL name keeps the
// entry's name. TRUE when the entry is new. Throws std::bad_alloc when memory runs out; whatever
// is then left in `binding` stays the caller's.
template <class TAgent>
bool StoreMibEntry(MibMap<TAgent>& mib, MibNames& names, SnmpVarBind& binding, const char* name,
                   BYTE access, MibCallbacks<TAgent>&& callbacks, BYTE instance_length) {
    auto [entry, added] = mib.try_emplace(OidKey(ViewOf(binding.name)));
    MibEntry<TAgent>& stored = entry->second;
    SnmpUtilAsnAnyFree(&stored.Binding.value);
    stored.Binding.value = binding.value;
    const OidView key = entry->first.View();
    stored.Binding.name = {static_cast<UINT>(key.length), const_cast<UINT*>(key.ids)};
    SnmpUtilOidFree(&binding.name);
    binding = SnmpVarBind{};
    if (callbacks.GetCallback || callbacks.SetCallback || callbacks.CheckSetCallback ||
        callbacks.PreGetCallback) {
        stored.Callbacks = std::make_unique<MibCallbacks<TAgent>>(std::move(callbacks));
    } else {
        stored.Callbacks.reset();
    }
    stored.Access = access;
    stored.InstanceLength = instance_length;
    if (name != nullptr) stored.Name = names.Intern(name);
    return added;
}

// Whether the object type of `entry` (its OID without the instance) is a prefix of `oid`. An
// entry whose OID is no longer than its instance has no type.
template <class TAgent>
bool TypeIsPrefixOf(const MibEntry<TAgent>& entry, OidView oid) {
    const AsnObjectIdentifier& name = entry.Binding.name;
    if (name.idLength <= entry.InstanceLength) return false;
    const std::size_t type_length = name.idLength - entry.InstanceLength;
    return type_length <= oid.length && std::equal(name.ids, name.ids + type_length, oid.ids);
}

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
