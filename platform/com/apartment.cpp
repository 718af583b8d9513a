// Per-thread apartment state and the process's one-time security initialisation.
#include <atomic>

#include "com/runtime.h"
#include "platform/objbase.h"

namespace {

enum class Apartment { kNone, kMultiThreaded, kSingleThreaded };

struct ThreadApartment {
    Apartment kind = Apartment::kNone;
    unsigned init_count = 0;
};

thread_local ThreadApartment t_apartment;
std::atomic<bool> g_security_initialised{false};

}  // namespace

HRESULT CoInitializeEx(LPVOID, DWORD co_init) {
    Apartment wanted = (co_init & COINIT_APARTMENTTHREADED) != 0 ? Apartment::kSingleThreaded
                                                                 : Apartment::kMultiThreaded;
    ThreadApartment& state = t_apartment;
    if (state.init_count == 0) {
        state.kind = wanted;
        state.init_count = 1;
        return S_OK;
    }
    if (state.kind != wanted) return RPC_E_CHANGED_MODE;
    ++state.init_count;
    return S_FALSE;
}

void CoUninitialize() {
    ThreadApartment& state = t_apartment;
    if (state.init_count == 0) return;
    if (--state.init_count == 0) state.kind = Apartment::kNone;
}

HRESULT CoInitializeSecurity(void*, LONG, void*, void*, DWORD, DWORD, void*, DWORD, void*) {
    // Connections are local Unix sockets guarded by file permissions; what is recorded here is
    // only that the process made its one call, as the callers rely on the second one failing.
    bool expected = false;
    return g_security_initialised.compare_exchange_strong(expected, true) ? S_OK : RPC_E_TOO_LATE;
}

namespace cx::com {

bool ThreadIsInitialised() { return t_apartment.init_count > 0; }

}  // namespace cx::com
