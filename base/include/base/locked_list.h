// LockedList: a list of owned items, optionally guarded by its own lock so that several
// threads may append, read and clear it. The items themselves are not guarded.
#pragma once

#include "platform/synch.h"

template <class T>
class LockedList {
  public:
    explicit LockedList(BOOL with_lock) {
        if (with_lock) {
            m_pLock = new CRITICAL_SECTION;
            InitializeCriticalSection(m_pLock);
        }
    }

    ~LockedList() {
        RemoveAll();
        if (m_pLock != nullptr) {
            DeleteCriticalSection(m_pLock);
            delete m_pLock;
        }
    }

    LockedList(const LockedList&) = delete;
    LockedList& operator=(const LockedList&) = delete;

    // Takes ownership of `item`; returns its index (the count before the append).
    int Append(T* item) {
        Guard guard(m_pLock);
        auto* node = new Node{m_pLast, item, nullptr};
        if (m_pLast != nullptr) {
            m_pLast->next = node;
        } else {
            m_pFirst = node;
        }
        m_pLast = node;
        return m_nCount++;
    }

    T* GetAt(int index) {
        Guard guard(m_pLock);
        if (index < 0) return nullptr;
        Node* node = m_pFirst;
        for (int i = 0; node != nullptr && i < index; ++i)
            node = node->next;
        return node != nullptr ? node->item : nullptr;
    }

    int Count() {
        Guard guard(m_pLock);
        return m_nCount;
    }

    void RemoveAll() {
        Guard guard(m_pLock);
        Node* node = m_pFirst;
        while (node != nullptr) {
            Node* next = node->next;
            delete node->item;
            delete node;
            node = next;
        }
        m_pFirst = m_pLast = nullptr;
        m_nCount = 0;
    }

  private:
    struct Node {
        Node* prev;
        T* item;
        Node* next;
    };

    class Guard {
      public:
        explicit Guard(LPCRITICAL_SECTION lock) : lock_(lock) {
            if (lock_ != nullptr) EnterCriticalSection(lock_);
        }
        ~Guard() {
            if (lock_ != nullptr) LeaveCriticalSection(lock_);
        }
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;

      private:
        LPCRITICAL_SECTION lock_;
    };

    LPCRITICAL_SECTION m_pLock = nullptr;
    Node* m_pFirst = nullptr;
    Node* m_pLast = nullptr;
    int m_nCount = 0;
};
