// CRSwitchOut: the SWITCH event sink. Each event becomes a command frame handed to Reply;
// events of the wrong shape are refused with the dispatch errors and reach nobody.
#include <cstring>

#include "clients/switch_client.h"
#include "platform/synch.h"

namespace {

bool HasTypes(const DISPPARAMS* params, std::initializer_list<VARTYPE> first_to_last) {
    UINT position = params->cArgs;
    for (VARTYPE vt : first_to_last) {
        if (params->rgvarg[--position].vt != vt) return false;
    }
    return true;
}

}  // namespace

HRESULT CRSwitchOut::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (riid == DIID_SwitchEvents || riid == IID_IDispatch || riid == IID_IUnknown) {
        AddRef();
        *object = static_cast<IDispatch*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG CRSwitchOut::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_cRef)); }

// The owner embeds the sink; the count only tells how many hold it.
ULONG CRSwitchOut::Release() { return static_cast<ULONG>(InterlockedDecrement(&m_cRef)); }

HRESULT CRSwitchOut::GetTypeInfoCount(UINT*) { return E_NOTIMPL; }

HRESULT CRSwitchOut::GetTypeInfo(UINT, LCID, ITypeInfo**) { return E_NOTIMPL; }

HRESULT CRSwitchOut::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }

HRESULT CRSwitchOut::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                            UINT*) {
    CmdFrameHead head;
    InitCmdHeader(&head);
    if (params == nullptr) return DISP_E_PARAMNOTFOUND;
    const BYTE* data = nullptr;
    DWORD data_length = 0;
    switch (id) {
        case 1:
        case 2: return E_NOTIMPL;
        case 3: {
            if (params->cArgs != 6 || params->rgvarg == nullptr) return DISP_E_BADPARAMCOUNT;
            if (!HasTypes(params, {VT_I2, VT_I2, VT_I2, VT_I2, VT_UI1, VT_BSTR})) {
                return DISP_E_TYPEMISMATCH;
            }
            const VARIANT* args = params->rgvarg;
            head.Header.OpCode = static_cast<WORD>(args[5].iVal);
            head.Header.OpCodeExt = static_cast<WORD>(args[4].iVal);
            head.Header.ObjectId = static_cast<WORD>(args[3].iVal);
            head.Header.CabinetId = static_cast<WORD>(args[2].iVal);
            head.Header.Status = args[1].bVal;
            data = reinterpret_cast<const BYTE*>(args[0].bstrVal);
            data_length = SysStringByteLen(args[0].bstrVal);
            head.Header.DataLength = data_length;
            break;
        }
        case 4: {
            if (params->cArgs != 2 || params->rgvarg == nullptr) return DISP_E_BADPARAMCOUNT;
            if (!HasTypes(params, {VT_BSTR, VT_BSTR})) return DISP_E_TYPEMISMATCH;
            BSTR header_text = params->rgvarg[1].bstrVal;
            BSTR data_text = params->rgvarg[0].bstrVal;
            // A shorter header string covers only its own bytes of the fresh header.
            UINT header_bytes = SysStringByteLen(header_text);
            if (header_bytes > 0) {
                std::memcpy(&head, header_text,
                            header_bytes < sizeof(head) ? header_bytes : sizeof(head));
            }
            // The header names the data length, but never more than the data string holds.
            data = reinterpret_cast<const BYTE*>(data_text);
            UINT available = SysStringByteLen(data_text);
            data_length = head.Header.DataLength < available ? head.Header.DataLength : available;
            head.Header.DataLength = data_length;
            break;
        }
        default: return DISP_E_MEMBERNOTFOUND;
    }
    OnEvent(&head.Header, data);
    CSwitchCommand request;
    request.SetHeader(&head);
    request.SetData(data, data_length, head.Header.Status);
    Reply(&request);
    return S_OK;
}

void CRSwitchOut::OnEvent(const CmdHeader*, const BYTE*) {}

void CRSwitchOut::Reply(CSwitchCommand*) {}
