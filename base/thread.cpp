// CThread.
#include "base/thread.h"

#include <cstring>

#include "base/file_debug.h"

CThread::~CThread() {
    CX_TRACE(5, "\n~CThread - name=\"%s\" (bTerminateThread=%d)", m_szName,
             static_cast<int>(bTerminateThread));
    if (m_hThread != nullptr) {
        WaitForSingleObject(m_hThread, 10);
        if (bTerminateThread && !WaitForEnd(5000)) Terminate(0);
    }
    Close();
}

BOOL CThread::Start(LPTHREAD_START_ROUTINE function, LPVOID argument, int priority,
                    BOOL create_suspended, UINT stack_size, DWORD_PTR affinity) {
    Close();
    DWORD id = 0;
    HANDLE handle = CreateThread(nullptr, stack_size, function, argument, CREATE_SUSPENDED, &id);
    if (handle == nullptr) {
        m_dwLastError = GetLastError();
        return FALSE;
    }
    m_hThread = handle;
    m_dwThreadId = id;
    SetThreadPriority(handle, priority);
    if (affinity != 0) SetThreadAffinityMask(handle, affinity);
    if (!create_suspended) {
        if (ResumeThread(handle) == 0xFFFFFFFFu) {
            m_dwLastError = GetLastError();
            return FALSE;
        }
        Sleep(0);
    }
    return TRUE;
}

void CThread::SetName(const char* name, const char* suffix) {
    if (name == nullptr || *name == '\0') return;
    size_t length = std::strlen(name);
    if (length > sizeof(m_szName) - 1) length = sizeof(m_szName) - 1;
    std::memcpy(m_szName, name, length);
    m_szName[length] = '\0';
    if (suffix != nullptr && length + std::strlen(suffix) <= sizeof(m_szName) - 1) {
        std::strcat(m_szName, suffix);
    }
}

BOOL CThread::IsRunning() {
    DWORD code = 0;
    return m_hThread != nullptr && GetExitCodeThread(m_hThread, &code) && code == STILL_ACTIVE;
}

BOOL CThread::WaitForEnd(DWORD timeout_ms) {
    if (m_hThread == nullptr || !IsRunning()) return TRUE;
    return WaitForSingleObject(m_hThread, timeout_ms) == WAIT_OBJECT_0;
}

BOOL CThread::Terminate(DWORD exit_code) {
    BOOL result = TRUE;
    if (m_hThread != nullptr && WaitForSingleObject(m_hThread, 0) == WAIT_TIMEOUT) {
        result = TerminateThread(m_hThread, exit_code);
        CX_TRACE(1, "\n\n ###  WARNING! RUNNING THREAD %d (%s) TEMINATED!  ###\n",
                 static_cast<int>(m_dwThreadId), m_szName);
        if (!result) m_dwLastError = GetLastError();
    }
    Close();
    return result;
}

BOOL CThread::Close() {
    if (m_hThread == nullptr) return FALSE;
    BOOL result = CloseHandle(m_hThread);
    m_hThread = nullptr;
    return result;
}
