// The COM runtime: apartments, interfaces, object creation, the global interface table,
// connection points and call cancellation. See docs/platform/com.md.
#pragma once

#include "platform/guid.h"
#include "platform/oleauto.h"
#include "platform/windef.h"
#include "platform/winerror.h"

#define STDMETHODCALLTYPE
#define STDAPI HRESULT

// HRESULTs of the runtime, with their Windows values.
#define RPC_E_CALL_CANCELED (static_cast<HRESULT>(0x80010002L))
#define RPC_E_SERVER_DIED (static_cast<HRESULT>(0x80010007L))
#define RPC_E_CLIENT_DIED (static_cast<HRESULT>(0x80010008L))
#define RPC_E_INVALID_DATAPACKET (static_cast<HRESULT>(0x80010009L))
#define RPC_E_INVALIDMETHOD (static_cast<HRESULT>(0x80010104L))
#define RPC_E_CHANGED_MODE (static_cast<HRESULT>(0x80010106L))
#define RPC_E_DISCONNECTED (static_cast<HRESULT>(0x80010108L))
#define RPC_S_CALLPENDING (static_cast<HRESULT>(0x80010115L))
#define RPC_E_CALL_COMPLETE (static_cast<HRESULT>(0x80010117L))
#define RPC_E_TOO_LATE (static_cast<HRESULT>(0x80010119L))
#define RPC_E_TIMEOUT (static_cast<HRESULT>(0x8001011FL))
#define CO_E_CANCEL_DISABLED (static_cast<HRESULT>(0x80010140L))
#define CO_E_NOTINITIALIZED (static_cast<HRESULT>(0x800401F0L))
#define CO_S_NOTALLINTERFACES (static_cast<HRESULT>(0x00080012L))
#define REGDB_E_CLASSNOTREG (static_cast<HRESULT>(0x80040154L))
#define CLASS_E_NOAGGREGATION (static_cast<HRESULT>(0x80040110L))
#define CLASS_E_CLASSNOTAVAILABLE (static_cast<HRESULT>(0x80040111L))
#define CONNECT_E_NOCONNECTION (static_cast<HRESULT>(0x80040200L))
#define CONNECT_E_CANNOTCONNECT (static_cast<HRESULT>(0x80040202L))
#define DISP_E_UNKNOWNINTERFACE (static_cast<HRESULT>(0x80020001L))
#define DISP_E_MEMBERNOTFOUND (static_cast<HRESULT>(0x80020003L))
#define DISP_E_PARAMNOTFOUND (static_cast<HRESULT>(0x80020004L))
#define DISP_E_TYPEMISMATCH (static_cast<HRESULT>(0x80020005L))
#define DISP_E_UNKNOWNNAME (static_cast<HRESULT>(0x80020006L))
#define DISP_E_NONAMEDARGS (static_cast<HRESULT>(0x80020007L))
#define DISP_E_BADVARTYPE (static_cast<HRESULT>(0x80020008L))
#define DISP_E_EXCEPTION (static_cast<HRESULT>(0x80020009L))
#define DISP_E_BADPARAMCOUNT (static_cast<HRESULT>(0x8002000EL))
#define RPC_S_SERVER_UNAVAILABLE 1722L
#define RPC_S_CALL_FAILED 1726L
#define RPC_S_CALL_CANCELLED 1818L

#define COINIT_MULTITHREADED 0x0u
#define COINIT_APARTMENTTHREADED 0x2u

#define CLSCTX_INPROC_SERVER 0x1u
#define CLSCTX_LOCAL_SERVER 0x4u
#define CLSCTX_REMOTE_SERVER 0x10u

#define RPC_C_AUTHN_LEVEL_DEFAULT 0
#define RPC_C_AUTHN_LEVEL_NONE 1
#define RPC_C_AUTHN_LEVEL_CONNECT 2
#define RPC_C_IMP_LEVEL_DEFAULT 0
#define RPC_C_IMP_LEVEL_ANONYMOUS 1
#define RPC_C_IMP_LEVEL_IDENTIFY 2
#define RPC_C_IMP_LEVEL_IMPERSONATE 3
#define EOAC_NONE 0x0

struct ITypeInfo;

struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;

  protected:
    virtual ~IUnknown() = default;
};
using LPUNKNOWN = IUnknown*;

struct IDispatch : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count,
                                                    LCID lcid, DISPID* ids) = 0;
    virtual HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags,
                                             DISPPARAMS* params, VARIANT* result,
                                             EXCEPINFO* exception, UINT* arg_error) = 0;

  protected:
    virtual ~IDispatch() = default;
};
using LPDISPATCH = IDispatch*;

struct IGlobalInterfaceTable : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE RegisterInterfaceInGlobal(IUnknown* object, REFIID riid,
                                                                DWORD* cookie) = 0;
    virtual HRESULT STDMETHODCALLTYPE RevokeInterfaceFromGlobal(DWORD cookie) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetInterfaceFromGlobal(DWORD cookie, REFIID riid,
                                                             void** object) = 0;

  protected:
    virtual ~IGlobalInterfaceTable() = default;
};

struct IConnectionPointContainer;

struct IConnectionPoint : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) = 0;
    virtual HRESULT STDMETHODCALLTYPE
    GetConnectionPointContainer(IConnectionPointContainer** container) = 0;
    virtual HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) = 0;
    virtual HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumConnections(void** enumerator) = 0;

  protected:
    virtual ~IConnectionPoint() = default;
};

struct IConnectionPointContainer : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE EnumConnectionPoints(void** enumerator) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid,
                                                          IConnectionPoint** point) = 0;

  protected:
    virtual ~IConnectionPointContainer() = default;
};

struct ICancelMethodCalls : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Cancel(ULONG seconds) = 0;
    virtual HRESULT STDMETHODCALLTYPE TestCancel() = 0;

  protected:
    virtual ~ICancelMethodCalls() = default;
};

extern const IID IID_IUnknown;
extern const IID IID_IDispatch;
extern const IID IID_IGlobalInterfaceTable;
extern const IID IID_IConnectionPoint;
extern const IID IID_IConnectionPointContainer;
extern const IID IID_ICancelMethodCalls;
extern const CLSID CLSID_StdGlobalInterfaceTable;

struct COSERVERINFO {
    DWORD dwReserved1;
    LPOLESTR pwszName;
    void* pAuthInfo;
    DWORD dwReserved2;
};

struct MULTI_QI {
    const IID* pIID;
    IUnknown* pItf;
    HRESULT hr;
};

HRESULT CoInitializeEx(LPVOID reserved, DWORD co_init);
void CoUninitialize();
HRESULT CoInitializeSecurity(void* security_descriptor, LONG auth_service_count,
                             void* auth_services, void* reserved1, DWORD authn_level,
                             DWORD imp_level, void* auth_list, DWORD capabilities, void* reserved3);
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid,
                         LPVOID* object);
HRESULT CoCreateInstanceEx(REFCLSID clsid, IUnknown* outer, DWORD context,
                           COSERVERINFO* server_info, DWORD count, MULTI_QI* results);

HRESULT CoEnableCallCancellation(LPVOID reserved);
HRESULT CoDisableCallCancellation(LPVOID reserved);
HRESULT CoCancelCall(DWORD thread_id, ULONG timeout_seconds);
HRESULT CoGetCancelObject(DWORD thread_id, REFIID riid, void** object);

// How long a call to an out-of-process object may take before it fails with RPC_E_TIMEOUT, in
// real milliseconds (not scaled by CX_TIME_SCALE). The default is 60 seconds.
void CxSetComCallTimeout(DWORD milliseconds);
DWORD CxComCallTimeout();
