// CEvent: an owned event handle.
#pragma once

#include "platform/windows.h"

class CEvent {
  public:
    CEvent(BOOL initial_state, BOOL manual_reset, const char* name = nullptr,
           LPSECURITY_ATTRIBUTES security = nullptr);
    ~CEvent();
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;

    BOOL Set();
    BOOL Reset();
    // WAIT_OBJECT_0, WAIT_TIMEOUT, or WAIT_FAILED without a handle.
    DWORD Wait(DWORD timeout_ms);
    HANDLE Handle() const { return m_hEvent; }

    HANDLE m_hEvent = nullptr;
    DWORD m_dwCreateError = 0;
};
