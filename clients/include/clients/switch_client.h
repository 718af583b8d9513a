// CSwitchClient: the agent's connection to the SWITCH command server (creation, global
// interface table, dispatch IDs, guarded calls, cancellation, events), and CRSwitchOut, the
// event sink it is itself.
#pragma once

#include <atomic>
#include <map>

#include "clients/cmd_frame.h"
#include "clients/switch_command.h"
#include "clients/switch_protocol.h"
#include "platform/libloaderapi.h"
#include "platform/objbase.h"
#include "platform/synch.h"

// The event sink: an IDispatch whose Invoke turns each event into a command frame for Reply.
class CRSwitchOut : public IDispatch {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                     UINT* arg_error) override;

    virtual void OnEvent(const CmdHeader* header, const BYTE* data);
    virtual void Reply(CSwitchCommand* request);

  protected:
    LONG volatile m_cRef = 0;
};

class CSwitchClient : public CRSwitchOut {
  public:
    // Dispatch names resolved at attach, in this order.
    enum DispIndex {
        kSyncRequest,
        kDefaultTimeout,
        kVCRequest,
        kServerCabinetNumber,
        kServerControlVersion,
        kVCRequestEx,
        kClientName,
        kCmdRequest,
        kDispIdCount
    };

    CSwitchClient();
    ~CSwitchClient() override;
    CSwitchClient(const CSwitchClient&) = delete;
    CSwitchClient& operator=(const CSwitchClient&) = delete;

    BOOL Attach(const WCHAR* serverName);
    void Detach();
    BOOL EnableEvents(BOOL enable);
    BOOL EnableCancelRequest(BOOL enable);
    BOOL CancelRequest(DWORD timeoutSeconds);
    HRESULT InvokeEx(DISPID dispId, WORD flags, DISPPARAMS* dispParams, VARIANT* varResult,
                     REFIID riid, LCID lcid, EXCEPINFO* excepInfo, UINT* argErr);
    BOOL SetClientName(const char* name);
    BOOL GetInterfaceFromGit(REFIID riid, void** ppv);
    // Asks the server something harmless (a dispatch ID): FALSE when the question could not be
    // carried (not attached, the server gone or restarted), TRUE when the server answered,
    // whatever it said. A call of the calling thread that CancelRequest can end.
    BOOL IsConnected();

    // One request: `header` is updated in place; `data` points to the caller's data pointer
    // (in: DataLength bytes to send, or NULL; out: the reply data as a BSTR, or NULL, which the
    // caller frees with SysFreeString).
    BOOL CmdRequest(CmdHeader* header, BSTR* data, WORD timeout, DWORD retries,
                    WORD timeoutIncrement);
    // Runs CmdRequest on the command's frame and stores the reply in it; returns its Status.
    DWORD SendCommand(CSwitchCommand* command, WORD timeout, DWORD retries, WORD timeoutIncrement);

    HRESULT GetLastHResult() const { return m_LasthResult; }
    BOOL IsAttached() const { return m_dwGitCookie != 0; }
    BOOL IsAdvised() const { return m_dwAdviseCookie != 0; }
    DISPID GetDispId(DispIndex index) const { return m_DispId[index]; }

  protected:
    CRITICAL_SECTION m_csLock;
    std::map<DWORD, HRESULT> m_ComInitByThread;
    HMODULE m_hOle32 = nullptr;
    IConnectionPoint* m_pConnectionPoint = nullptr;
    HRESULT (*m_pfnCoEnableCallCancellation)(LPVOID) = nullptr;
    HRESULT (*m_pfnCoDisableCallCancellation)(LPVOID) = nullptr;
    HRESULT (*m_pfnCoGetCancelObject)(DWORD, REFIID, void**) = nullptr;
    HRESULT (*m_pfnCoCancelCall)(DWORD, ULONG) = nullptr;
    // Read by CancelRequest and InvokeEx on other threads without the lock.
    std::atomic<BOOL> m_bCancelRequested{FALSE};
    std::atomic<BOOL> m_bCancelEnabled{FALSE};
    std::atomic<DWORD> m_dwCallThreadId{0};
    DWORD m_dwAdviseThreadId = 0;
    DWORD m_dwAdviseCookie = 0;
    std::atomic<HRESULT> m_LasthResult{S_OK};
    char m_szModuleName[256] = {};
    WCHAR m_wszServerName[260] = {};
    DISPID m_DispId[kDispIdCount];
    IGlobalInterfaceTable* m_pGIT = nullptr;
    DWORD m_dwGitCookie = 0;
    DWORD m_dwAttachThreadId = 0;

  private:
    // The parts of Attach, under the lock.
    void InitComForThread(DWORD thread_id);
    BOOL CreateServer(const WCHAR* serverName, DWORD thread_id);
    void RegisterInGit(IDispatch* server, DWORD thread_id);
    void ResolveDispIds(IDispatch* server);
    bool Unadvise();
    BOOL CallServerMethod(CmdHeader* header, BSTR* data, WORD timeout, DWORD retries,
                          WORD timeoutIncrement);
};
