// Critical sections: a recursive mutex placed in the caller's CRITICAL_SECTION.
#include <mutex>
#include <new>

#include "platform/synch.h"

namespace {

static_assert(sizeof(std::recursive_mutex) <= sizeof(CRITICAL_SECTION::opaque));
static_assert(alignof(std::recursive_mutex) <= alignof(CRITICAL_SECTION));

std::recursive_mutex& MutexOf(LPCRITICAL_SECTION section) {
    return *std::launder(reinterpret_cast<std::recursive_mutex*>(section->opaque));
}

}  // namespace

void InitializeCriticalSection(LPCRITICAL_SECTION section) {
    new (section->opaque) std::recursive_mutex();
}

BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION section, DWORD) {
    InitializeCriticalSection(section);
    return TRUE;
}

void DeleteCriticalSection(LPCRITICAL_SECTION section) { MutexOf(section).~recursive_mutex(); }

void EnterCriticalSection(LPCRITICAL_SECTION section) { MutexOf(section).lock(); }

BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section) {
    return MutexOf(section).try_lock() ? TRUE : FALSE;
}

void LeaveCriticalSection(LPCRITICAL_SECTION section) { MutexOf(section).unlock(); }
