// CSwitchClient::CmdRequest and SendCommand: a command frame through the first request method
// the server offers, repeated while the server reports busy.
#include <cstring>

#include "clients/switch_client.h"
#include "switch_trace.h"

namespace {

// The caller's header is a CmdHeader; a larger HeaderLength in it does not make the memory
// behind it any larger.
UINT HeaderBytes(const CmdHeader* header) {
    return header->HeaderLength < sizeof(CmdHeader) ? header->HeaderLength : sizeof(CmdHeader);
}

void TraceFrame(const char* direction, const CmdHeader* header) {
    SWITCH_TRACE(3,
                 "CmdRequest() %s CABID %04d: OC 0x%04X-0x%04X OID 0x%04X MID 0x%04X%04X Stat "
                 "0x%02X Len %04d",
                 direction, static_cast<int>(header->CabinetId), header->OpCode, header->OpCodeExt,
                 header->ObjectId, header->MidHigh, header->MidLow, header->Status,
                 static_cast<int>(header->DataLength));
}

VARIANT ShortArg(DWORD value) {
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_I2;
    arg.iVal = static_cast<SHORT>(static_cast<WORD>(value));
    return arg;
}

VARIANT RefArg(VARTYPE vt, void* target) {
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = static_cast<VARTYPE>(VT_BYREF | vt);
    arg.byref = target;
    return arg;
}

}  // namespace

BOOL CSwitchClient::CmdRequest(CmdHeader* header, BSTR* data, WORD timeout, DWORD retries,
                               WORD timeoutIncrement) {
    m_LasthResult = RPC_E_CLIENT_DIED;
    if (header == nullptr) {
        SWITCH_TRACE(1, "## ERROR in CmdRequest(): pCmdHeader = NULL!");
        return FALSE;
    }
    if (header->HeaderLength < CMD_HEADER_LENGTH || std::memcmp(header->Magic, CMD_MAGIC, 4) != 0) {
        SWITCH_TRACE(1, "## ERROR in CmdRequest(): CmdHeader corrupt!");
        return FALSE;
    }
    EnterCriticalSection(&m_csLock);
    header->MidLow = 0;
    header->MidHigh = 0;
    TraceFrame("IN ", header);
    BOOL result = FALSE;
    try {
        if (m_dwGitCookie != 0) {
            result = CallServerMethod(header, data, timeout, retries, timeoutIncrement);
        }
    } catch (...) {
        SWITCH_TRACE(1, "## EXCEPTION in CmdRequest()!");
        result = FALSE;
    }
    TraceFrame("OUT", header);
    LeaveCriticalSection(&m_csLock);
    return result;
}

BOOL CSwitchClient::CallServerMethod(CmdHeader* header, BSTR* data, WORD timeout, DWORD retries,
                                     WORD timeoutIncrement) {
    m_LasthResult = 0;
    BSTR header_text = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(header), HeaderBytes(header));
    BSTR data_text = nullptr;
    if (data != nullptr && *data != nullptr && header->DataLength != 0) {
        data_text = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(*data), header->DataLength);
    }

    DISPID method = DISPID_UNKNOWN;
    enum class Shape { kCmdRequest, kVCRequestEx, kVCRequest } shape = Shape::kCmdRequest;
    if (m_DispId[kCmdRequest] != DISPID_UNKNOWN) {
        method = m_DispId[kCmdRequest];
    } else if (m_DispId[kVCRequestEx] != DISPID_UNKNOWN) {
        method = m_DispId[kVCRequestEx];
        shape = Shape::kVCRequestEx;
    } else if (m_DispId[kVCRequest] != DISPID_UNKNOWN) {
        method = m_DispId[kVCRequest];
        shape = Shape::kVCRequest;
    }
    if (method == DISPID_UNKNOWN) {
        m_LasthResult = RPC_E_INVALIDMETHOD;
        SysFreeString(header_text);
        SysFreeString(data_text);
        return FALSE;
    }

    BYTE status = static_cast<BYTE>(header->Status);
    BYTE message_id = static_cast<BYTE>((header->MidLow & 0x3F) | (header->MidHigh << 6));
    // Arguments first to last; the array handed to Invoke holds them last first.
    VARIANT args[8];
    UINT count = 0;
    VARIANT* timeout_arg = nullptr;
    if (shape == Shape::kCmdRequest) {
        args[2] = RefArg(VT_BSTR, &header_text);
        args[1] = RefArg(VT_BSTR, &data_text);
        args[0] = ShortArg(timeout);
        timeout_arg = &args[0];
        count = 3;
    } else {
        count = shape == Shape::kVCRequestEx ? 8 : 7;
        VARIANT* arg = &args[count - 1];
        *arg-- = ShortArg(header->OpCode);
        *arg-- = ShortArg(header->OpCodeExt);
        *arg-- = ShortArg(header->ObjectId);
        *arg-- = ShortArg(header->CabinetId);
        *arg-- = RefArg(VT_BSTR, &data_text);
        *arg-- = RefArg(VT_UI1, &status);
        *arg = ShortArg(timeout);
        timeout_arg = arg;
        if (shape == Shape::kVCRequestEx) *--arg = RefArg(VT_UI1, &message_id);
    }
    DISPPARAMS params{args, nullptr, count, 0};

    for (;;) {
        SWITCH_TRACE(4, "CmdRequest() - call InvokeEx()...");
        HRESULT hr = InvokeEx(method, DISPATCH_METHOD, &params, nullptr, IID_NULL,
                              LOCALE_USER_DEFAULT, nullptr, nullptr);
        m_LasthResult = hr;
        SWITCH_TRACE(4, "CmdRequest() - ... return from InvokeEx(), hResult=0x%08X",
                     static_cast<unsigned>(hr));
        BYTE reply_status = status;
        if (shape == Shape::kCmdRequest) {
            // A reply header too short to hold a status cannot ask for a repetition.
            reply_status =
                SysStringByteLen(header_text) > offsetof(CmdHeader, Status)
                    ? reinterpret_cast<const BYTE*>(header_text)[offsetof(CmdHeader, Status)]
                    : CMD_STATUS_OK;
        }
        timeout_arg->iVal =
            static_cast<SHORT>(static_cast<WORD>(timeout_arg->iVal) + timeoutIncrement);
        if (!SUCCEEDED(hr) || reply_status != CMD_STATUS_BUSY || retries == 0) break;
        --retries;
    }

    if (shape == Shape::kCmdRequest) {
        UINT copied = SysStringByteLen(header_text);
        if (copied > HeaderBytes(header)) copied = HeaderBytes(header);
        if (copied > 0) std::memcpy(header, header_text, copied);
    } else {
        header->Status = status;
        header->MidLow = message_id & 0x3F;
        header->MidHigh = message_id >> 6;
    }
    SysFreeString(header_text);
    if (data != nullptr) {
        *data = data_text;
        header->DataLength = SysStringByteLen(data_text);
    } else {
        SysFreeString(data_text);
        header->DataLength = 0;
    }
    return m_LasthResult == 0;
}

DWORD CSwitchClient::SendCommand(CSwitchCommand* command, WORD timeout, DWORD retries,
                                 WORD timeoutIncrement) {
    CmdHeader* frame = command->GetHeader();
    if (frame == nullptr) return CMD_STATUS_NO_FRAME;
    CmdFrameHead local;
    std::memcpy(&local, frame, sizeof(local));
    BYTE* sent = command->GetData(0);
    BSTR data = reinterpret_cast<BSTR>(sent);
    BOOL ok = CmdRequest(&local.Header, &data, timeout, retries, timeoutIncrement);
    command->SetHeader(&local);
    // Only a string that CmdRequest allocated is a reply; an untouched pointer is our own data.
    if (data != nullptr && data != reinterpret_cast<BSTR>(sent)) {
        command->SetData(data, local.Header.DataLength, local.Header.Status);
        SysFreeString(data);
    }
    if (!ok) command->SetStatus(CMD_STATUS_NOT_DELIVERED);
    return command->GetHeader()->Status;
}
