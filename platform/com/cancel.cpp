// Call cancellation: which threads allow their calls to be cancelled, and the call each thread
// is waiting in, so that another thread can end that wait.
#include <atomic>
#include <map>
#include <mutex>

#include "com/runtime.h"
#include "platform/threads.h"

namespace cx::com {
namespace {

struct ThreadCancelState {
    unsigned enable_count = 0;
    std::shared_ptr<PendingCall> active;
};

std::mutex g_lock;
std::map<DWORD, ThreadCancelState> g_threads;
std::atomic<DWORD> g_call_timeout_ms{60000};

void ForgetIfIdle(std::map<DWORD, ThreadCancelState>::iterator state) {
    if (state->second.enable_count == 0 && !state->second.active) g_threads.erase(state);
}

class CancelObject final : public ICancelMethodCalls {
  public:
    explicit CancelObject(std::weak_ptr<PendingCall> call) : call_(std::move(call)) {}

    HRESULT QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_ICancelMethodCalls) {
            AddRef();
            *object = static_cast<ICancelMethodCalls*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override {
        ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }
    HRESULT Cancel(ULONG) override {
        std::shared_ptr<PendingCall> call = call_.lock();
        if (!call) return RPC_E_CALL_COMPLETE;
        std::lock_guard guard(call->lock);
        if (call->done) return RPC_E_CALL_COMPLETE;
        call->cancelled = true;
        call->changed.notify_all();
        return S_OK;
    }
    HRESULT TestCancel() override {
        std::shared_ptr<PendingCall> call = call_.lock();
        if (!call) return RPC_E_CALL_COMPLETE;
        std::lock_guard guard(call->lock);
        return call->cancelled ? RPC_E_CALL_CANCELED : RPC_S_CALLPENDING;
    }

  private:
    std::weak_ptr<PendingCall> call_;
    std::atomic<ULONG> references_{1};
};

// The waiting call of a thread that allows cancellation, or an error for CoCancelCall.
HRESULT ActiveCallOf(DWORD thread_id, std::shared_ptr<PendingCall>* call) {
    std::lock_guard guard(g_lock);
    auto state = g_threads.find(thread_id);
    if (state == g_threads.end() || state->second.enable_count == 0) return CO_E_CANCEL_DISABLED;
    if (!state->second.active) return RPC_E_CALL_COMPLETE;
    *call = state->second.active;
    return S_OK;
}

}  // namespace

void BeginThreadCall(const std::shared_ptr<PendingCall>& call) {
    std::lock_guard guard(g_lock);
    auto state = g_threads.find(GetCurrentThreadId());
    if (state != g_threads.end()) state->second.active = call;
}

void EndThreadCall() {
    std::lock_guard guard(g_lock);
    auto state = g_threads.find(GetCurrentThreadId());
    if (state == g_threads.end()) return;
    state->second.active.reset();
    ForgetIfIdle(state);
}

}  // namespace cx::com

using cx::com::g_lock;
using cx::com::g_threads;

HRESULT CoEnableCallCancellation(LPVOID) {
    std::lock_guard guard(g_lock);
    ++g_threads[GetCurrentThreadId()].enable_count;
    return S_OK;
}

HRESULT CoDisableCallCancellation(LPVOID) {
    std::lock_guard guard(g_lock);
    auto state = g_threads.find(GetCurrentThreadId());
    if (state == g_threads.end() || state->second.enable_count == 0) return CO_E_CANCEL_DISABLED;
    --state->second.enable_count;
    cx::com::ForgetIfIdle(state);
    return S_OK;
}

HRESULT CoCancelCall(DWORD thread_id, ULONG) {
    // The waiting call returns RPC_E_CALL_CANCELED at once; the server is told to drop it and
    // its late answer is ignored, so the time-out for the server's acknowledgement is not used.
    std::shared_ptr<cx::com::PendingCall> call;
    HRESULT hr = cx::com::ActiveCallOf(thread_id, &call);
    if (FAILED(hr)) return hr;
    std::lock_guard guard(call->lock);
    if (call->done) return RPC_E_CALL_COMPLETE;
    if (call->cancelled) return RPC_E_CALL_CANCELED;
    call->cancelled = true;
    call->changed.notify_all();
    return S_OK;
}

HRESULT CoGetCancelObject(DWORD thread_id, REFIID riid, void** object) {
    if (object == nullptr) return E_INVALIDARG;
    *object = nullptr;
    std::shared_ptr<cx::com::PendingCall> call;
    HRESULT hr = cx::com::ActiveCallOf(thread_id, &call);
    if (FAILED(hr)) return hr;
    auto* cancel = new cx::com::CancelObject(call);
    hr = cancel->QueryInterface(riid, object);
    cancel->Release();
    return hr;
}

void CxSetComCallTimeout(DWORD milliseconds) { cx::com::g_call_timeout_ms = milliseconds; }

DWORD CxComCallTimeout() { return cx::com::g_call_timeout_ms; }
