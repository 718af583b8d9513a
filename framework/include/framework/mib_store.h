// MibStore: the entries of one MIB in OID order, kept compact. A large MIB has tens of thousands
// of entries of about fifteen sub-identifiers and a short value each; one node and one heap
// block per entry would cost more than the entries themselves. So an entry is a fixed-size slot
// in one array sorted by OID; the sub-identifiers of all OIDs lie in one array of the store, the
// octets of all string values in another, and the trace names are indexes into the store's
// table of names. A number is held in the slot itself.
//
// A MIB is built whole (CSnmpMibBuild) in the order its builder registers the entries, which is
// OID order in every builder we have: such entries are appended. Entries out of order are
// appended too and put in order once, when the build is sealed. The MIB being served keeps its
// order at every registration (an entry that is new there is inserted in its place).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "framework/mib_entry.h"
#include "framework/oid_order.h"

template <class TAgent>
class MibStore {
  public:
    static constexpr std::size_t npos = std::numeric_limits<std::size_t>::max();

    MibStore() { names_.push_back(""); }

    std::size_t size() const { return slots_.size(); }

    void clear() {
        MibStore empty;
        swap(empty);
    }
    void swap(MibStore& other) noexcept {
        slots_.swap(other.slots_);
        ids_.swap(other.ids_);
        octets_.swap(other.octets_);
        callbacks_.swap(other.callbacks_);
        name_index_.swap(other.name_index_);
        names_.swap(other.names_);
        std::swap(sorted_, other.sorted_);
        std::swap(next_seq_, other.next_seq_);
        std::swap(unused_, other.unused_);
    }

    // The entry at `index`: its OID, name, access and callbacks (null when it has none).
    OidView Oid(std::size_t index) const {
        return {ids_.data() + slots_[index].oid_at, slots_[index].oid_length};
    }
    const char* Name(std::size_t index) const { return names_[slots_[index].name]; }
    DWORD Access(std::size_t index) const { return slots_[index].access; }
    const MibCallbacks<TAgent>* Callbacks(std::size_t index) const {
        const std::uint32_t at = slots_[index].callbacks;
        return at == 0 ? nullptr : callbacks_[at - 1].get();
    }

    // Whether the object type of the entry at `index` (its OID without the instance) is a
    // prefix of `oid`. An entry whose OID is no longer than its instance has no type.
    bool TypeIsPrefixOf(std::size_t index, OidView oid) const {
        const Slot& slot = slots_[index];
        if (slot.oid_length <= slot.instance_length) return false;
        const std::size_t type_length = slot.oid_length - slot.instance_length;
        const UINT* ids = ids_.data() + slot.oid_at;
        return type_length <= oid.length && std::equal(ids, ids + type_length, oid.ids);
    }

    // The first entry not less than `oid` (LowerBound), greater than it (UpperBound), equal to
    // it (Find); size() or npos when there is none.
    std::size_t LowerBound(OidView oid) const {
        return static_cast<std::size_t>(
            std::partition_point(
                slots_.begin(), slots_.end(),
                [&](const Slot& slot) { return OidOrder::Less(View(slot), oid); }) -
            slots_.begin());
    }
    std::size_t UpperBound(OidView oid) const {
        return static_cast<std::size_t>(
            std::partition_point(
                slots_.begin(), slots_.end(),
                [&](const Slot& slot) { return !OidOrder::Less(oid, View(slot)); }) -
            slots_.begin());
    }
    std::size_t Find(OidView oid) const {
        const std::size_t at = LowerBound(oid);
        return at < slots_.size() && !OidOrder::Less(oid, Oid(at)) ? at : npos;
    }

    // A copy of the entry's binding in SnmpUtilMem memory, as SnmpUtilVarBindCpy makes it of
    // the binding that was registered. FALSE when memory runs out (nothing is then left).
    BOOL CopyBinding(std::size_t index, SnmpVarBind* copy) const {
        const Slot& slot = slots_[index];
        AsnObjectIdentifier name{slot.oid_length, const_cast<UINT*>(ids_.data() + slot.oid_at)};
        SnmpVarBind stored{name, StoredValue(slot)};
        return SnmpUtilVarBindCpy(copy, &stored);
    }

    // Stores `binding` (its OID and value; the binding stays the caller's) with its name,
    // access, callbacks and instance length under its OID: a new entry, or in place of the
    // value, access, callbacks and instance length of the entry that has the OID already. A
    // null name keeps that entry's name. In a store that keeps its order (`keep_order`) a new
    // entry goes to its place; otherwise it is appended and Seal puts it in order. TRUE when
    // the entry is new. Throws std::bad_alloc when memory runs out.
    bool Store(const SnmpVarBind& binding, const char* name, BYTE access,
               MibCallbacks<TAgent>&& callbacks, BYTE instance_length, bool keep_order) {
        const OidView oid = ViewOf(binding.name);
        std::size_t at = slots_.size();
        bool added = true;
        if (!slots_.empty() && sorted_ && !OidOrder::Less(View(slots_.back()), oid)) {
            // Not after the last entry: the place in order, or (while building) the end.
            const std::size_t place = LowerBound(oid);
            if (!OidOrder::Less(oid, Oid(place))) {
                at = place;
                added = false;
            } else if (keep_order) {
                at = place;
            } else {
                sorted_ = false;
            }
        }
        if (added) {
            Slot slot{};
            slot.oid_at = AppendIds(oid.ids, oid.length);
            slot.oid_length = static_cast<std::uint16_t>(oid.length);
            slot.name = kNoName;
            slot.seq = next_seq_++;
            slots_.insert(slots_.begin() + static_cast<std::ptrdiff_t>(at), slot);
        }
        Slot& slot = slots_[at];
        SetValue(slot, binding.value);
        slot.access = access;
        slot.instance_length = instance_length;
        SetCallbacks(slot, std::move(callbacks));
        if (name != nullptr) slot.name = Intern(name);
        if (added && name == nullptr && sorted_) slot.name = 0;
        return added;
    }

    // The value of the entry at `index` becomes a copy of `value`, of any type. Throws
    // std::bad_alloc when memory runs out; the entry then keeps its value.
    void SetValue(std::size_t index, const AsnAny& value) { SetValue(slots_[index], value); }

    // Room for as many entries, sub-identifiers and octets as `like` holds: a MIB built again
    // is mostly as large as the one it replaces, and its arrays then grow no copies.
    void ReserveLike(const MibStore& like) {
        slots_.reserve(like.slots_.size());
        ids_.reserve(like.ids_.size());
        octets_.reserve(like.octets_.size());
    }

    // Puts entries registered out of order in their places: of the registrations of one OID the
    // last one counts, with the last name given. Frees what the building kept in reserve.
    void Seal() {
        if (!sorted_) {
            // The entries of one MIB share a long prefix (the region's root): the comparisons
            // start after it. Of equal OIDs the later registration sorts last.
            const std::size_t shared = SharedPrefix();
            auto rest = [&](const Slot& slot) {
                return OidView{ids_.data() + slot.oid_at + shared, slot.oid_length - shared};
            };
            std::sort(slots_.begin(), slots_.end(), [&](const Slot& a, const Slot& b) {
                const OidView first = rest(a), second = rest(b);
                if (OidOrder::Less(first, second)) return true;
                return a.seq < b.seq && !OidOrder::Less(second, first);
            });
            std::size_t kept = 0;
            for (const Slot& slot : slots_) {
                Slot* last = kept > 0 ? &slots_[kept - 1] : nullptr;
                if (last == nullptr || !OidOrder::Equal(View(*last), View(slot))) {
                    slots_[kept++] = slot;
                    continue;
                }
                const std::uint32_t name = last->name;
                unused_ += Footprint(*last) + last->oid_length * sizeof(UINT);
                *last = slot;
                if (last->name == kNoName) last->name = name;
            }
            slots_.resize(kept);
            for (Slot& slot : slots_)
                if (slot.name == kNoName) slot.name = 0;
            sorted_ = true;
        }
        if (unused_ > 0) Compact();
        ShrinkToFit(slots_);
        ShrinkToFit(ids_);
        ShrinkToFit(octets_);
    }

  private:
    static constexpr std::uint32_t kNoName = std::numeric_limits<std::uint32_t>::max();

    // One entry. A value of a type that SnmpUtilAsnAnyCpy copies deeply (an OID, octets) lies
    // in the store's arrays; any other is held here as the first eight bytes of its union.
    struct Slot {
        std::uint32_t oid_at;
        std::uint16_t oid_length;
        BYTE type;
        BYTE access;
        std::uint32_t name;
        std::uint32_t callbacks;  // 1 + its index in callbacks_; 0: none
        BYTE instance_length;
        std::uint32_t seq;  // registration order, while a build is not in order
        union {
            std::uint64_t bits;
            struct {
                std::uint32_t at;
                std::uint32_t length;
            } data;
        } value;
    };
    static_assert(sizeof(Slot) == 32, "an entry's slot stays small");

    static bool HoldsOctets(BYTE type) {
        return type == ASN_OCTETSTRING || type == ASN_BITS || type == ASN_SEQUENCE ||
               type == ASN_IPADDRESS || type == ASN_OPAQUE;
    }

    // How many sub-identifiers all entries' OIDs begin with.
    std::size_t SharedPrefix() const {
        if (slots_.empty()) return 0;
        const OidView first = View(slots_.front());
        std::size_t shared = first.length;
        for (const Slot& slot : slots_) {
            const OidView oid = View(slot);
            shared = std::min(shared, oid.length);
            shared = static_cast<std::size_t>(
                std::mismatch(first.ids, first.ids + shared, oid.ids).first - first.ids);
        }
        return shared;
    }

    OidView View(const Slot& slot) const { return {ids_.data() + slot.oid_at, slot.oid_length}; }

    // What the arrays hold for the slot's value.
    static std::size_t Footprint(const Slot& slot) {
        if (slot.type == ASN_OBJECTIDENTIFIER) return slot.value.data.length * sizeof(UINT);
        return HoldsOctets(slot.type) ? slot.value.data.length : 0;
    }

    AsnAny StoredValue(const Slot& slot) const {
        AsnAny value{};
        value.asnType = slot.type;
        if (slot.type == ASN_OBJECTIDENTIFIER) {
            value.asnValue.object = {slot.value.data.length,
                                     const_cast<UINT*>(ids_.data() + slot.value.data.at)};
        } else if (HoldsOctets(slot.type)) {
            value.asnValue.string = {const_cast<BYTE*>(octets_.data() + slot.value.data.at),
                                     slot.value.data.length, FALSE};
        } else {
            std::memcpy(&value.asnValue, &slot.value.bits, sizeof(slot.value.bits));
        }
        return value;
    }

    template <class Item>
    static void ShrinkToFit(std::vector<Item>& array) {
        if (array.capacity() != array.size()) array.shrink_to_fit();
    }

    template <class Item>
    static std::uint32_t Append(std::vector<Item>& array, const Item* items, std::size_t count) {
        if (count > std::numeric_limits<std::uint32_t>::max() - array.size())
            throw std::bad_alloc();
        const auto at = static_cast<std::uint32_t>(array.size());
        if (count != 0) array.insert(array.end(), items, items + count);
        return at;
    }
    std::uint32_t AppendIds(const UINT* ids, std::size_t count) {
        if (count > std::numeric_limits<std::uint16_t>::max()) throw std::bad_alloc();
        return Append(ids_, ids, count);
    }

    void SetValue(Slot& slot, const AsnAny& value) {
        decltype(Slot::value) stored{};
        if (value.asnType == ASN_OBJECTIDENTIFIER) {
            const OidView oid = ViewOf(value.asnValue.object);
            stored.data = {Append(ids_, oid.ids, oid.length),
                           static_cast<std::uint32_t>(oid.length)};
        } else if (HoldsOctets(value.asnType)) {
            const AsnOctetString& octets = value.asnValue.string;
            const std::size_t length = octets.stream != nullptr ? octets.length : 0;
            if (length > std::numeric_limits<std::uint32_t>::max()) throw std::bad_alloc();
            stored.data = {Append(octets_, octets.stream, length),
                           static_cast<std::uint32_t>(length)};
        } else {
            std::memcpy(&stored.bits, &value.asnValue, sizeof(stored.bits));
        }
        unused_ += Footprint(slot);  // nothing for a new slot
        slot.type = value.asnType;
        slot.value = stored;
        // Values replaced in a served MIB leave their old octets behind: once those are as many
        // as the rest, the arrays are written anew.
        if (unused_ > 4096 && unused_ > (ids_.size() * sizeof(UINT) + octets_.size()) / 2)
            Compact();
    }

    void SetCallbacks(Slot& slot, MibCallbacks<TAgent>&& callbacks) {
        const bool any = callbacks.GetCallback || callbacks.SetCallback ||
                         callbacks.CheckSetCallback || callbacks.PreGetCallback;
        if (!any) {
            slot.callbacks = 0;
            return;
        }
        auto held = std::make_unique<MibCallbacks<TAgent>>(std::move(callbacks));
        if (slot.callbacks != 0) {
            callbacks_[slot.callbacks - 1] = std::move(held);
            return;
        }
        callbacks_.push_back(std::move(held));
        slot.callbacks = static_cast<std::uint32_t>(callbacks_.size());
    }

    std::uint32_t Intern(const char* name) {
        auto [found, added] = name_index_.try_emplace(name, 0u);
        if (added) {
            found->second = static_cast<std::uint32_t>(names_.size());
            names_.push_back(found->first.c_str());
        }
        return found->second;
    }

    // Writes the arrays anew with what the entries use, in entry order.
    void Compact() {
        std::vector<UINT> ids;
        std::vector<BYTE> octets;
        ids.reserve(ids_.size());
        octets.reserve(octets_.size() > unused_ ? octets_.size() - unused_ : 0);
        for (Slot& slot : slots_) {
            slot.oid_at = Append(ids, ids_.data() + slot.oid_at, slot.oid_length);
            if (slot.type == ASN_OBJECTIDENTIFIER) {
                slot.value.data.at =
                    Append(ids, ids_.data() + slot.value.data.at, slot.value.data.length);
            } else if (HoldsOctets(slot.type)) {
                slot.value.data.at =
                    Append(octets, octets_.data() + slot.value.data.at, slot.value.data.length);
            }
        }
        ids_.swap(ids);
        octets_.swap(octets);
        unused_ = 0;
    }

    std::vector<Slot> slots_;
    std::vector<UINT> ids_;
    std::vector<BYTE> octets_;
    std::vector<std::unique_ptr<MibCallbacks<TAgent>>> callbacks_;
    // The names in the order they came; index 0 is "". A name's text lies in the map's node,
    // which stays where it is.
    std::unordered_map<std::string, std::uint32_t> name_index_;
    std::vector<const char*> names_;
    bool sorted_ = true;
    std::uint32_t next_seq_ = 0;
    std::size_t unused_ = 0;  // bytes of the arrays that no entry uses any more
};
