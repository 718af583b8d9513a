// CSnmpMibBuild: a complete MIB built beside the one being served, with the same registration
// operations and traces, and no lock: the tree swaps it in whole (CSnmpMibTree::ReplaceMib),
// so that requests wait only for the swap, never for the build.
#pragma once

#include <atomic>
#include <new>

#include "framework/mib_registry.h"

// Test hook: when positive, the build that has stored this many entries fails at the next as
// if memory had run out, so that tests can show a failed rebuild keeps the MIB being served.
inline std::atomic<long> g_MibBuildFailAfter{0};

template <class TAgent>
class CSnmpMibTree;

template <class TAgent>
class CSnmpMibBuild : public CSnmpMibRegistry<TAgent> {
  public:
    CSnmpMibBuild() = default;
    virtual ~CSnmpMibBuild() = default;

    std::size_t MibEntryCount() const { return m_Mib.size(); }
    // An entry was lost for want of memory: the build is incomplete and is not served.
    bool Failed() const { return m_Failed; }
    // Frees every entry: after a swap, those of the MIB that was served before.
    void Clear() { m_Mib.clear(); }
    // Puts the entries in their final order and frees the room kept for more: done by the
    // tree's swap at the latest, and best before the MIB lock is taken.
    void Seal() {
        if (m_Failed) return;
        try {
            m_Mib.Seal();
        } catch (const std::bad_alloc&) {
            m_Failed = true;
        }
    }

  protected:
    void StoreEntry(SnmpVarBind& binding, const char* name, BYTE access,
                    MibCallbacks<TAgent>&& callbacks, BYTE instance_length) override {
        long fail_after = g_MibBuildFailAfter.load(std::memory_order_relaxed);
        if (!m_Failed && fail_after > 0 && m_Stored >= static_cast<unsigned long>(fail_after)) {
            m_Failed = true;
        }
        if (!m_Failed) {
            try {
                m_Mib.Store(binding, name, access, std::move(callbacks), instance_length, false);
                ++m_Stored;
            } catch (const std::bad_alloc&) {
                m_Failed = true;
            }
        }
        SnmpUtilVarBindFree(&binding);
    }
    void StoreFailed() override { m_Failed = true; }

  private:
    friend class CSnmpMibTree<TAgent>;

    MibStore<TAgent> m_Mib;
    unsigned long m_Stored = 0;
    bool m_Failed = false;
};
