// The standard global interface table: one per process, handing registered interfaces to any
// thread. It lives as long as the process and ignores its own reference count.
#include <map>
#include <mutex>

#include "com/runtime.h"
#include "platform/objbase.h"

namespace {

class GlobalInterfaceTable final : public IGlobalInterfaceTable {
  public:
    HRESULT QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IGlobalInterfaceTable) {
            *object = static_cast<IGlobalInterfaceTable*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }

    HRESULT RegisterInterfaceInGlobal(IUnknown* object, REFIID riid, DWORD* cookie) override {
        if (object == nullptr || cookie == nullptr) return E_INVALIDARG;
        *cookie = 0;
        IUnknown* held = nullptr;
        HRESULT hr = object->QueryInterface(riid, reinterpret_cast<void**>(&held));
        if (FAILED(hr)) return hr;
        std::lock_guard guard(lock_);
        DWORD assigned = next_cookie_++;
        if (next_cookie_ == 0) next_cookie_ = 1;
        entries_[assigned] = held;
        *cookie = assigned;
        return S_OK;
    }

    HRESULT RevokeInterfaceFromGlobal(DWORD cookie) override {
        IUnknown* held = nullptr;
        {
            std::lock_guard guard(lock_);
            auto found = entries_.find(cookie);
            if (found == entries_.end()) return E_INVALIDARG;
            held = found->second;
            entries_.erase(found);
        }
        // Released outside the lock: the last reference of a proxy closes its connection.
        held->Release();
        return S_OK;
    }

    HRESULT GetInterfaceFromGlobal(DWORD cookie, REFIID riid, void** object) override {
        if (object == nullptr) return E_INVALIDARG;
        *object = nullptr;
        IUnknown* held = nullptr;
        {
            std::lock_guard guard(lock_);
            auto found = entries_.find(cookie);
            if (found == entries_.end()) return E_INVALIDARG;
            held = found->second;
            held->AddRef();
        }
        HRESULT hr = held->QueryInterface(riid, object);
        held->Release();
        return hr;
    }

  private:
    std::mutex lock_;
    std::map<DWORD, IUnknown*> entries_;
    DWORD next_cookie_ = 0x100;
};

}  // namespace

namespace cx::com {

IGlobalInterfaceTable* ProcessGlobalInterfaceTable() {
    static auto* table = new GlobalInterfaceTable();  // never destroyed: threads may outlive main
    return table;
}

}  // namespace cx::com
