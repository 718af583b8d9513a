// CSwitchClient: attach and detach, events, cancellation and the one guarded call path.
#include "clients/switch_client.h"

#include <cstring>
#include <string>

#include "platform/module.h"
#include "platform/threads.h"
#include "switch_trace.h"

namespace {

// The members whose dispatch IDs Attach resolves, in DispIndex order.
const char* const kDispNames[CSwitchClient::kDispIdCount] = {switch_method::kSyncRequest,
                                                             switch_method::kDefaultTimeout,
                                                             switch_method::kVCRequest,
                                                             switch_method::kServerCabinetNumber,
                                                             switch_method::kServerControlVersion,
                                                             switch_method::kVCRequestEx,
                                                             switch_method::kClientName,
                                                             switch_method::kCmdRequest};

// The base name, without directory and extension, of the module that holds this code: the
// agent library when the client is part of it.
void ModuleNameOfThisCode(char (&name)[256]) {
    name[0] = '\0';
    char path[MAX_PATH] = {};
    HMODULE module = CxModuleFromAddress(reinterpret_cast<const void*>(&ModuleNameOfThisCode));
    DWORD length = GetModuleFileNameA(module, path, sizeof(path));
    if (length == 0 || length >= sizeof(path)) return;
    std::string base(path, length);
    std::size_t slash = base.find_last_of("/\\");
    if (slash != std::string::npos) base.erase(0, slash + 1);
    std::size_t dot = base.rfind('.');
    if (dot != std::string::npos && dot > 0) base.erase(dot);
    std::strncpy(name, base.c_str(), sizeof(name) - 1);
}

// The stored module name is 8-bit text; the server wants it as a wide string.
BSTR WideStringOf(const char* text) {
    WCHAR wide[260];
    UINT length = 0;
    for (; text[length] != '\0' && length < 260; ++length) {
        wide[length] = static_cast<WCHAR>(static_cast<unsigned char>(text[length]));
    }
    return SysAllocStringLen(wide, length);
}

// Wide text for the trace, which prints 8-bit text; characters beyond ASCII show as '?'.
std::string NarrowOf(const WCHAR* text) {
    std::string narrow;
    for (; *text != 0; ++text)
        narrow.push_back(*text < 0x80 ? static_cast<char>(*text) : '?');
    return narrow;
}

// The call could not be carried to the server or back: it is not there, it went away during
// the call, or what came back was no answer.
bool IsLostConnection(HRESULT hr) {
    return hr == HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE) ||
           hr == HRESULT_FROM_WIN32(RPC_S_CALL_FAILED) || hr == RPC_E_DISCONNECTED ||
           hr == RPC_E_INVALID_DATAPACKET || hr == RPC_E_TIMEOUT;
}

std::u16string WideName(const char* name) { return std::u16string(name, name + std::strlen(name)); }

void CopyWide(WCHAR* target, const WCHAR* source, std::size_t capacity) {
    std::size_t i = 0;
    for (; source[i] != 0 && i + 1 < capacity; ++i)
        target[i] = source[i];
    target[i] = 0;
}

}  // namespace

CSwitchClient::CSwitchClient() {
    for (DISPID& id : m_DispId)
        id = DISPID_UNKNOWN;
    InitializeCriticalSection(&m_csLock);
    m_hOle32 = LoadLibraryA("OLE32.dll");
    if (m_hOle32 != nullptr) {
        m_pfnCoEnableCallCancellation = reinterpret_cast<HRESULT (*)(LPVOID)>(
            GetProcAddress(m_hOle32, "CoEnableCallCancellation"));
        m_pfnCoDisableCallCancellation = reinterpret_cast<HRESULT (*)(LPVOID)>(
            GetProcAddress(m_hOle32, "CoDisableCallCancellation"));
        m_pfnCoGetCancelObject = reinterpret_cast<HRESULT (*)(DWORD, REFIID, void**)>(
            GetProcAddress(m_hOle32, "CoGetCancelObject"));
        m_pfnCoCancelCall =
            reinterpret_cast<HRESULT (*)(DWORD, ULONG)>(GetProcAddress(m_hOle32, "CoCancelCall"));
    }
}

CSwitchClient::~CSwitchClient() {
    SWITCH_TRACE(4, "Start d'tor");
    if (m_bCancelEnabled) EnableCancelRequest(FALSE);
    if (m_dwAdviseThreadId != 0 && m_dwAdviseThreadId == GetCurrentThreadId()) {
        EnableEvents(FALSE);
    }
    Detach();
    m_ComInitByThread.clear();
    DeleteCriticalSection(&m_csLock);
    if (m_hOle32 != nullptr) FreeLibrary(m_hOle32);
    SWITCH_TRACE(4, "End d'tor");
    if (m_pConnectionPoint != nullptr) {
        // Still advised (from another thread than this one): no event may reach the sink once
        // the object is gone.
        if (m_dwAdviseCookie != 0) m_pConnectionPoint->Unadvise(m_dwAdviseCookie);
        m_pConnectionPoint->Release();
        m_pConnectionPoint = nullptr;
    }
}

BOOL CSwitchClient::Attach(const WCHAR* serverName) {
    SWITCH_TRACE(4, "Attach() - Enter...");
    if (m_szModuleName[0] == '\0') ModuleNameOfThisCode(m_szModuleName);
    if (m_szModuleName[0] != '\0') {
        SWITCH_TRACE(3, "Attach to SWITCH as module \"%s\"", m_szModuleName);
    } else {
        SWITCH_TRACE(2, "## WARNING! Could not get a valid module name at Attach!");
    }

    EnterCriticalSection(&m_csLock);
    const DWORD thread_id = GetCurrentThreadId();
    InitComForThread(thread_id);
    BOOL result = TRUE;
    if (m_dwGitCookie != 0) {
        SWITCH_TRACE(3, "  already attached");
    } else {
        result = CreateServer(serverName, thread_id);
    }
    LeaveCriticalSection(&m_csLock);
    if (result) {
        SWITCH_TRACE(4, "Attach succeeded");
    } else {
        SWITCH_TRACE(1, "## ERROR! Attach to SWITCH failed, m_LasthResult=0x%08X",
                     static_cast<unsigned>(m_LasthResult.load()));
    }
    return result;
}

// COM is initialised once per thread that attaches; Detach on that thread undoes it.
void CSwitchClient::InitComForThread(DWORD thread_id) {
    if (m_ComInitByThread.find(thread_id) != m_ComInitByThread.end()) {
        SWITCH_TRACE(4, "Attach(): Thread ID %d: CoInitializeEx OK - was already called here!",
                     thread_id);
        return;
    }
    HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    m_LasthResult = hr;
    m_ComInitByThread[thread_id] = hr;
    if (hr == S_OK) {
        SWITCH_TRACE(4, "Attach(): Thread ID %d: CoInitializeEx OK - was not called before!",
                     thread_id);
    } else if (hr == S_FALSE) {
        SWITCH_TRACE(4, "Attach(): Thread ID %d: CoInitializeEx OK - was already called!",
                     thread_id);
    } else if (hr == RPC_E_CHANGED_MODE) {
        SWITCH_TRACE(4,
                     "Attach(): Thread ID %d: CoInitializeEx FAILED - thread mode could not "
                     "be changed!",
                     thread_id);
    }
}

// Creates the server object (on `serverName`, else the one named before, else the local one),
// makes it reachable from every thread through the global interface table and resolves its
// dispatch IDs. TRUE when the object could be created.
BOOL CSwitchClient::CreateServer(const WCHAR* serverName, DWORD thread_id) {
    m_LasthResult = CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_CONNECT,
                                         RPC_C_IMP_LEVEL_IDENTIFY, nullptr, EOAC_NONE, nullptr);
    if (serverName != nullptr && serverName != m_wszServerName) {
        CopyWide(m_wszServerName, serverName, sizeof(m_wszServerName) / sizeof(WCHAR));
    }
    const WCHAR* name = serverName != nullptr ? serverName : m_wszServerName;
    COSERVERINFO server_info{};
    COSERVERINFO* location = nullptr;
    if (name[0] != 0) {
        server_info.pwszName = const_cast<LPOLESTR>(name);
        location = &server_info;
    }

    SWITCH_TRACE(4, "Attach() - Try to create interface instance %d ...", 0);
    MULTI_QI query{&IID_IDispatch, nullptr, S_OK};
    m_LasthResult =
        CoCreateInstanceEx(CLSID_SwitchServer, nullptr, CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER,
                           location, 1, &query);
    const HRESULT created = m_LasthResult;
    SWITCH_TRACE(4, "... Attach() - interface instance %d created %s!", 0,
                 SUCCEEDED(created) ? "OK" : "FALSE");
    if (!SUCCEEDED(created)) return FALSE;
    if (auto* server = static_cast<IDispatch*>(query.pItf); server != nullptr) {
        RegisterInGit(server, thread_id);
        ResolveDispIds(server);
        server->Release();
    }
    if (m_szModuleName[0] != '\0') SetClientName(nullptr);
    return TRUE;
}

void CSwitchClient::RegisterInGit(IDispatch* server, DWORD thread_id) {
    SWITCH_TRACE(4, "Attach() - create global interface table ...");
    HRESULT git = CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IGlobalInterfaceTable, reinterpret_cast<LPVOID*>(&m_pGIT));
    SWITCH_TRACE(4, "Attach() -   global interface created, hResult=0x%08X",
                 static_cast<unsigned>(git));
    if (!SUCCEEDED(git) || m_pGIT == nullptr) return;
    HRESULT registered = m_pGIT->RegisterInterfaceInGlobal(server, IID_IDispatch, &m_dwGitCookie);
    SWITCH_TRACE(4, "Attach(): Thread ID %d: RegisterInterfaceInGlobal %s!", thread_id,
                 SUCCEEDED(registered) ? "OK" : "FALSE");
    m_dwAttachThreadId = thread_id;
}

void CSwitchClient::ResolveDispIds(IDispatch* server) {
    SWITCH_TRACE(4, "Attach() - Get dispatch IDs...");
    for (int i = 0; i < kDispIdCount; ++i) {
        m_DispId[i] = DISPID_UNKNOWN;
        std::u16string wide = WideName(kDispNames[i]);
        LPOLESTR name = wide.data();
        server->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_SYSTEM_DEFAULT, &m_DispId[i]);
        SWITCH_TRACE(4, "  ID of method %s = %d", kDispNames[i], static_cast<int>(m_DispId[i]));
    }
}

void CSwitchClient::Detach() {
    EnterCriticalSection(&m_csLock);
    if (m_dwGitCookie == 0) {
        SWITCH_TRACE(5, "Detach() - not attached (ignored)");
        LeaveCriticalSection(&m_csLock);
        return;
    }
    try {
        SWITCH_TRACE(3, "Detach from SWITCH");
        DWORD thread_id = GetCurrentThreadId();
        if (thread_id != m_dwAttachThreadId) {
            SWITCH_TRACE(1,
                         "WARNING! Attach was done using thread %d current thread is %d! "
                         "RevokeInterfaceFromGlobal() skipped!",
                         m_dwAttachThreadId, thread_id);
        } else {
            SWITCH_TRACE(4, "Detach(): Start revoke global interface table...");
            if (m_pGIT != nullptr) {
                HRESULT hr = m_pGIT->RevokeInterfaceFromGlobal(m_dwGitCookie);
                SWITCH_TRACE(4, "Detach(): Revoke RevokeInterfaceFromGlobal returned 0x%X",
                             static_cast<unsigned>(hr));
                m_pGIT->Release();
            }
            SWITCH_TRACE(4, "Detach(): ... global interface table released");
            m_pGIT = nullptr;
            m_dwGitCookie = 0;
            m_dwAttachThreadId = 0;
            auto entry = m_ComInitByThread.find(thread_id);
            if (entry != m_ComInitByThread.end()) {
                if (entry->second == S_OK || entry->second == S_FALSE) CoUninitialize();
                m_ComInitByThread.erase(entry);
            }
        }
    } catch (...) {
        SWITCH_TRACE(1, "Detach() - EXCEPTION!");
    }
    SWITCH_TRACE(4, "... Detach() done!");
    LeaveCriticalSection(&m_csLock);
}

BOOL CSwitchClient::GetInterfaceFromGit(REFIID riid, void** ppv) {
    if (m_pGIT == nullptr || m_dwGitCookie == 0) return FALSE;
    m_LasthResult = m_pGIT->GetInterfaceFromGlobal(m_dwGitCookie, riid, ppv);
    return SUCCEEDED(m_LasthResult.load());
}

BOOL CSwitchClient::IsConnected() {
    IDispatch* server = nullptr;
    if (!GetInterfaceFromGit(IID_IDispatch, reinterpret_cast<void**>(&server))) return FALSE;
    std::u16string wide = WideName(switch_method::kClientName);
    LPOLESTR name = wide.data();
    DISPID id = DISPID_UNKNOWN;
    m_dwCallThreadId = GetCurrentThreadId();
    const HRESULT hr = server->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_SYSTEM_DEFAULT, &id);
    m_dwCallThreadId = 0;
    server->Release();
    m_LasthResult = hr;
    return !IsLostConnection(hr);
}

HRESULT CSwitchClient::InvokeEx(DISPID dispId, WORD flags, DISPPARAMS* dispParams,
                                VARIANT* varResult, REFIID riid, LCID lcid, EXCEPINFO* excepInfo,
                                UINT* argErr) {
    m_LasthResult = RPC_S_CALL_CANCELLED;
    if (m_bCancelRequested) {
        SWITCH_TRACE(2, "InvokeEx() - ## cancelled!");
        return RPC_S_CALL_CANCELLED;
    }
    IDispatch* server = nullptr;
    if (!GetInterfaceFromGit(IID_IDispatch, reinterpret_cast<void**>(&server))) {
        SWITCH_TRACE(1, "InvokeEx() FAILED! (HResult = 0x%X)",
                     static_cast<unsigned>(m_LasthResult.load()));
        return m_LasthResult;
    }
    DWORD thread_id = GetCurrentThreadId();
    m_dwCallThreadId = thread_id;
    SWITCH_TRACE(5, "InvokeEx() - current thread ID = %d", thread_id);
    HRESULT hr =
        server->Invoke(dispId, riid, lcid, flags, dispParams, varResult, excepInfo, argErr);
    m_dwCallThreadId = 0;
    m_LasthResult = hr;
    server->Release();
    return hr;
}

BOOL CSwitchClient::SetClientName(const char* name) {
    BOOL result = FALSE;
    if (name != nullptr) {
        std::strncpy(m_szModuleName, name, sizeof(m_szModuleName) - 1);
        m_szModuleName[sizeof(m_szModuleName) - 1] = '\0';
        result = TRUE;
    }
    if (m_szModuleName[0] != '\0' && m_dwGitCookie != 0 &&
        m_DispId[kClientName] != DISPID_UNKNOWN) {
        VARIANT value;
        VariantInit(&value);
        value.vt = VT_BSTR;
        value.bstrVal = WideStringOf(m_szModuleName);
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS params{&value, &named, 1, 1};
        HRESULT hr = InvokeEx(m_DispId[kClientName], DISPATCH_PROPERTYPUT, &params, nullptr,
                              IID_NULL, LOCALE_USER_DEFAULT, nullptr, nullptr);
        VariantClear(&value);
        result = SUCCEEDED(hr);
    }
    return result;
}

BOOL CSwitchClient::EnableEvents(BOOL enable) {
    if (enable) {
        if (m_dwAdviseCookie != 0) {
            m_LasthResult = 0;
            SWITCH_TRACE(3, "Events at \"%s\" already enabled!", NarrowOf(m_wszServerName).c_str());
            return TRUE;
        }
        SWITCH_TRACE(3, "Enable events at \"%s\"", NarrowOf(m_wszServerName).c_str());
        Attach(m_wszServerName);
        IUnknown* server = nullptr;
        if (GetInterfaceFromGit(IID_IUnknown, reinterpret_cast<void**>(&server))) {
            IConnectionPointContainer* container = nullptr;
            m_LasthResult = server->QueryInterface(IID_IConnectionPointContainer,
                                                   reinterpret_cast<void**>(&container));
            if (SUCCEEDED(m_LasthResult.load())) {
                if (m_pConnectionPoint != nullptr) {
                    m_pConnectionPoint->Release();  // left by an earlier advise that failed
                    m_pConnectionPoint = nullptr;
                }
                m_LasthResult =
                    container->FindConnectionPoint(DIID_SwitchEvents, &m_pConnectionPoint);
                if (SUCCEEDED(m_LasthResult.load())) {
                    m_LasthResult = m_pConnectionPoint->Advise(static_cast<IDispatch*>(this),
                                                               &m_dwAdviseCookie);
                    if (SUCCEEDED(m_LasthResult.load())) {
                        m_dwAdviseThreadId = GetCurrentThreadId();
                    }
                }
                SWITCH_TRACE(4, "Advise %s!", SUCCEEDED(m_LasthResult.load()) ? "OK" : "FAILED");
                container->Release();
            }
            server->Release();
        }
        return m_LasthResult >= 0;
    }

    SWITCH_TRACE(3, "Disable events");
    if (m_dwAdviseCookie != 0 && m_dwAdviseThreadId == GetCurrentThreadId()) {
        SWITCH_TRACE(4, "EnableEvents() - start unadvise");
        if (!Unadvise()) SWITCH_TRACE(1, "EnableEvents() - EXCEPTION during unadvise");
        m_dwAdviseCookie = 0;
        m_dwAdviseThreadId = 0;
        Detach();
        SWITCH_TRACE(4, "EnableEvents() - end unadvise");
    }
    return m_LasthResult >= 0;
}

// Ends the advise on the connection point and releases it; FALSE when there was none to end or
// the call failed by an exception.
bool CSwitchClient::Unadvise() {
    if (m_pConnectionPoint == nullptr) return false;
    try {
        m_LasthResult = m_pConnectionPoint->Unadvise(m_dwAdviseCookie);
        SWITCH_TRACE(4, "Thread ID %d: Unadvise %s!", GetCurrentThreadId(),
                     SUCCEEDED(m_LasthResult.load()) ? "OK" : "FAILED");
        m_pConnectionPoint->Release();
        m_pConnectionPoint = nullptr;
    } catch (...) {
        return false;
    }
    return true;
}

BOOL CSwitchClient::EnableCancelRequest(BOOL enable) {
    HRESULT hr = 1;
    if (m_pfnCoEnableCallCancellation == nullptr || m_pfnCoDisableCallCancellation == nullptr) {
        SWITCH_TRACE(4,
                     "EnableCancelRequest() - pointers to cancel functions not available (NT4?)");
        return FALSE;
    }
    if (enable) {
        hr = m_pfnCoEnableCallCancellation(nullptr);
        if (hr == S_OK) m_bCancelEnabled = TRUE;
    } else {
        hr = m_pfnCoDisableCallCancellation(nullptr);
        m_bCancelEnabled = FALSE;
        m_bCancelRequested = FALSE;
    }
    SWITCH_TRACE(4, "EnableCancelRequest(%d) - hResult = 0x%08X", enable,
                 static_cast<unsigned>(hr));
    return hr == S_OK;
}

BOOL CSwitchClient::CancelRequest(DWORD timeoutSeconds) {
    m_bCancelRequested = TRUE;
    DWORD call_thread = m_dwCallThreadId;
    if (call_thread == 0) {
        SWITCH_TRACE(5, "CancelRequest() - no active thread available; ignored");
        return FALSE;
    }
    if (!m_bCancelEnabled) {
        SWITCH_TRACE(5, "CancelRequest() - Cancel request not enabled; ignored");
        return FALSE;
    }
    HRESULT hr = E_NOTIMPL;
    if (m_pfnCoCancelCall != nullptr) {
        SWITCH_TRACE(3, "CancelRequest() - cancel Invoke() with thread ID=%d Timout %d sec",
                     call_thread, timeoutSeconds);
        hr = m_pfnCoCancelCall(call_thread, timeoutSeconds);
    } else if (m_pfnCoGetCancelObject != nullptr) {
        SWITCH_TRACE(3, "CancelRequest() - cancel Invoke() with thread ID=%d", call_thread);
        ICancelMethodCalls* cancel = nullptr;
        hr = m_pfnCoGetCancelObject(call_thread, IID_ICancelMethodCalls,
                                    reinterpret_cast<void**>(&cancel));
        if (hr == S_OK && cancel != nullptr) {
            hr = cancel->Cancel(1);
            cancel->Release();
        }
    }
    SWITCH_TRACE(3, "CancelRequest() - cancel result = 0x%08X", static_cast<unsigned>(hr));
    return hr == S_OK;
}
