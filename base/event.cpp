// CEvent.
#include "base/event.h"

CEvent::CEvent(BOOL initial_state, BOOL manual_reset, const char* name,
               LPSECURITY_ATTRIBUTES security) {
    m_hEvent = CreateEventA(security, manual_reset, initial_state, name);
    m_dwCreateError = GetLastError();
}

CEvent::~CEvent() {
    if (m_hEvent != nullptr) CloseHandle(m_hEvent);
}

BOOL CEvent::Set() { return m_hEvent != nullptr ? SetEvent(m_hEvent) : FALSE; }

BOOL CEvent::Reset() { return m_hEvent != nullptr ? ResetEvent(m_hEvent) : FALSE; }

DWORD CEvent::Wait(DWORD timeout_ms) {
    return m_hEvent != nullptr ? WaitForSingleObject(m_hEvent, timeout_ms) : WAIT_FAILED;
}
