// Encoding and decoding of transport messages; every length and count from the peer is checked
// against what remains and against the limits before it is used.
#include <cstring>

#include "platform/com_transport.h"
#include "platform/objbase.h"

namespace cx::com {
namespace {

class Writer {
  public:
    void U8(std::uint8_t value) { out_.push_back(static_cast<char>(value)); }
    void U16(std::uint16_t value) { Bytes(&value, 2); }
    void U32(std::uint32_t value) { Bytes(&value, 4); }
    void I64(std::int64_t value) { Bytes(&value, 8); }
    void Guid(const GUID& guid) {
        U32(guid.Data1);
        U16(guid.Data2);
        U16(guid.Data3);
        Bytes(guid.Data4, 8);
    }
    void Blob(const std::string& bytes) {
        U32(static_cast<std::uint32_t>(bytes.size()));
        out_.append(bytes);
    }
    void Value(const WireValue& value) {
        U16(value.vt);
        switch (value.vt & ~VT_BYREF) {
            case VT_EMPTY: break;
            case VT_BSTR:
                U8(value.is_null ? 1 : 0);
                Blob(value.is_null ? std::string() : value.bytes);
                break;
            default: I64(value.number); break;
        }
    }
    std::string Finish() {
        std::string frame(4, '\0');
        std::uint32_t length = static_cast<std::uint32_t>(out_.size());
        std::memcpy(frame.data(), &length, 4);  // the platform is little-endian, as the format
        return frame + out_;
    }

  private:
    void Bytes(const void* data, std::size_t size) {
        out_.append(static_cast<const char*>(data), size);
    }
    std::string out_;
};

class Reader {
  public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool U8(std::uint8_t* value) { return Bytes(value, 1); }
    bool U16(std::uint16_t* value) { return Bytes(value, 2); }
    bool U32(std::uint32_t* value) { return Bytes(value, 4); }
    bool I32(std::int32_t* value) { return Bytes(value, 4); }
    bool I64(std::int64_t* value) { return Bytes(value, 8); }
    bool Guid(GUID* guid) {
        return U32(&guid->Data1) && U16(&guid->Data2) && U16(&guid->Data3) && Bytes(guid->Data4, 8);
    }
    bool Blob(std::string* bytes) {
        std::uint32_t length;
        if (!U32(&length) || length > size_ - offset_) return false;
        bytes->assign(reinterpret_cast<const char*>(data_ + offset_), length);
        offset_ += length;
        return true;
    }
    bool Count(std::uint32_t limit, std::uint32_t* count) { return U32(count) && *count <= limit; }
    bool Value(WireValue* value) {
        if (!U16(&value->vt) || !IsWireType(value->vt)) return false;
        switch (value->vt & ~VT_BYREF) {
            case VT_EMPTY: return true;
            case VT_BSTR: {
                std::uint8_t is_null;
                if (!U8(&is_null) || is_null > 1 || !Blob(&value->bytes)) return false;
                value->is_null = is_null == 1;
                return !value->is_null || value->bytes.empty();
            }
            default: return I64(&value->number);
        }
    }
    bool AtEnd() const { return offset_ == size_; }

  private:
    bool Bytes(void* out, std::size_t count) {
        if (count > size_ - offset_) return false;
        std::memcpy(out, data_ + offset_, count);
        offset_ += count;
        return true;
    }
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t offset_ = 0;
};

bool ReadValues(Reader& in, std::vector<WireValue>* values) {
    std::uint32_t count;
    if (!in.Count(kMaxArguments, &count)) return false;
    values->resize(count);
    for (WireValue& value : *values) {
        if (!in.Value(&value)) return false;
    }
    return true;
}

void WriteValues(Writer& out, const std::vector<WireValue>& values) {
    out.U32(static_cast<std::uint32_t>(values.size()));
    for (const WireValue& value : values)
        out.Value(value);
}

bool ReadBody(Reader& in, Message* m) {
    std::uint32_t hr_bits;
    std::int32_t dispid;
    switch (m->kind) {
        case MessageKind::kCreate: return in.Guid(&m->guid1) && in.Guid(&m->guid2);
        case MessageKind::kResult:
        case MessageKind::kEventResult:
            if (!in.U32(&hr_bits)) return false;
            m->hr = static_cast<HRESULT>(hr_bits);
            return true;
        case MessageKind::kGetIdOfName: {
            std::uint32_t chars;
            if (!in.Count(kMaxNameChars, &chars)) return false;
            m->name.resize(chars);
            for (char16_t& c : m->name) {
                std::uint16_t unit;
                if (!in.U16(&unit)) return false;
                c = static_cast<char16_t>(unit);
            }
            return true;
        }
        case MessageKind::kDispId:
            if (!in.U32(&hr_bits) || !in.I32(&dispid)) return false;
            m->hr = static_cast<HRESULT>(hr_bits);
            m->dispid = dispid;
            return true;
        case MessageKind::kInvoke: {
            std::uint8_t want;
            std::uint32_t named;
            if (!in.I32(&dispid) || !in.U16(&m->flags) || !in.U8(&want) || want > 1 ||
                !ReadValues(in, &m->args) || !in.Count(kMaxArguments, &named) ||
                named > m->args.size()) {
                return false;
            }
            m->dispid = dispid;
            m->want_result = want == 1;
            m->named.resize(named);
            for (DISPID& id : m->named) {
                if (!in.I32(&id)) return false;
            }
            return true;
        }
        case MessageKind::kInvokeResult: {
            std::uint32_t count;
            if (!in.U32(&hr_bits) || !in.U32(&m->arg_error) || !in.Count(kMaxArguments, &count)) {
                return false;
            }
            m->hr = static_cast<HRESULT>(hr_bits);
            m->by_ref.resize(count);
            for (auto& [index, value] : m->by_ref) {
                if (!in.U32(&index) || index >= kMaxArguments || !in.Value(&value)) return false;
            }
            return in.Value(&m->result);
        }
        case MessageKind::kFindConnectionPoint:
        case MessageKind::kAdvise: return in.Guid(&m->guid1);
        case MessageKind::kAdviseResult:
            if (!in.U32(&hr_bits) || !in.U32(&m->cookie)) return false;
            m->hr = static_cast<HRESULT>(hr_bits);
            return true;
        case MessageKind::kUnadvise: return in.Guid(&m->guid1) && in.U32(&m->cookie);
        case MessageKind::kCancel: return true;
        case MessageKind::kEvent:
            if (!in.U32(&m->cookie) || !in.I32(&dispid)) return false;
            m->dispid = dispid;
            return ReadValues(in, &m->args);
    }
    return false;
}

void WriteBody(Writer& out, const Message& m) {
    switch (m.kind) {
        case MessageKind::kCreate:
            out.Guid(m.guid1);
            out.Guid(m.guid2);
            break;
        case MessageKind::kResult:
        case MessageKind::kEventResult: out.U32(static_cast<std::uint32_t>(m.hr)); break;
        case MessageKind::kGetIdOfName:
            out.U32(static_cast<std::uint32_t>(m.name.size()));
            for (char16_t c : m.name)
                out.U16(static_cast<std::uint16_t>(c));
            break;
        case MessageKind::kDispId:
            out.U32(static_cast<std::uint32_t>(m.hr));
            out.U32(static_cast<std::uint32_t>(m.dispid));
            break;
        case MessageKind::kInvoke:
            out.U32(static_cast<std::uint32_t>(m.dispid));
            out.U16(m.flags);
            out.U8(m.want_result ? 1 : 0);
            WriteValues(out, m.args);
            out.U32(static_cast<std::uint32_t>(m.named.size()));
            for (DISPID id : m.named)
                out.U32(static_cast<std::uint32_t>(id));
            break;
        case MessageKind::kInvokeResult:
            out.U32(static_cast<std::uint32_t>(m.hr));
            out.U32(m.arg_error);
            out.U32(static_cast<std::uint32_t>(m.by_ref.size()));
            for (const auto& [index, value] : m.by_ref) {
                out.U32(index);
                out.Value(value);
            }
            out.Value(m.result);
            break;
        case MessageKind::kFindConnectionPoint:
        case MessageKind::kAdvise: out.Guid(m.guid1); break;
        case MessageKind::kAdviseResult:
            out.U32(static_cast<std::uint32_t>(m.hr));
            out.U32(m.cookie);
            break;
        case MessageKind::kUnadvise:
            out.Guid(m.guid1);
            out.U32(m.cookie);
            break;
        case MessageKind::kCancel: break;
        case MessageKind::kEvent:
            out.U32(m.cookie);
            out.U32(static_cast<std::uint32_t>(m.dispid));
            WriteValues(out, m.args);
            break;
    }
}

}  // namespace

std::string EncodeMessage(const Message& message) {
    Writer out;
    out.U8(static_cast<std::uint8_t>(message.kind));
    out.U32(message.call_id);
    WriteBody(out, message);
    return out.Finish();
}

bool DecodeMessage(const std::uint8_t* body, std::size_t size, Message* message) {
    if (body == nullptr || size > kMaxMessageBytes) return false;
    Reader in(body, size);
    std::uint8_t kind;
    if (!in.U8(&kind) || kind < static_cast<std::uint8_t>(MessageKind::kCreate) ||
        kind > static_cast<std::uint8_t>(MessageKind::kEventResult)) {
        return false;
    }
    *message = Message();
    message->kind = static_cast<MessageKind>(kind);
    return in.U32(&message->call_id) && ReadBody(in, message) && in.AtEnd();
}

bool DecodeLength(const std::uint8_t (&prefix)[4], std::uint32_t* length) {
    std::memcpy(length, prefix, 4);
    return *length <= kMaxMessageBytes;
}

bool IsWireType(VARTYPE vt) {
    switch (vt & ~VT_BYREF) {
        case VT_EMPTY: return vt == VT_EMPTY;
        case VT_I2:
        case VT_I4:
        case VT_BSTR:
        case VT_BOOL:
        case VT_UI1:
        case VT_UI2:
        case VT_UI4: return true;
        default: return false;
    }
}

HRESULT WireFromVariant(const VARIANT& variant, WireValue* value) {
    if (!IsWireType(variant.vt)) return DISP_E_BADVARTYPE;
    bool by_ref = (variant.vt & VT_BYREF) != 0;
    if (by_ref && variant.byref == nullptr) return E_POINTER;
    *value = WireValue();
    value->vt = variant.vt;
    switch (variant.vt & ~VT_BYREF) {
        case VT_EMPTY: break;
        case VT_I2: value->number = by_ref ? *variant.piVal : variant.iVal; break;
        case VT_BOOL: value->number = by_ref ? *variant.pboolVal : variant.boolVal; break;
        case VT_I4: value->number = by_ref ? *variant.plVal : variant.lVal; break;
        case VT_UI1: value->number = by_ref ? *variant.pbVal : variant.bVal; break;
        case VT_UI2: value->number = by_ref ? *variant.puiVal : variant.uiVal; break;
        case VT_UI4: value->number = by_ref ? *variant.pulVal : variant.ulVal; break;
        case VT_BSTR: {
            BSTR text = by_ref ? *variant.pbstrVal : variant.bstrVal;
            value->is_null = text == nullptr;
            if (text != nullptr) {
                value->bytes.assign(reinterpret_cast<const char*>(text), SysStringByteLen(text));
            }
            break;
        }
    }
    return S_OK;
}

HRESULT VariantFromWire(const WireValue& value, VARIANT* variant) {
    VariantInit(variant);
    if (!IsWireType(value.vt)) return DISP_E_BADVARTYPE;
    VARTYPE base = value.vt & ~VT_BYREF;
    switch (base) {
        case VT_EMPTY: return S_OK;
        case VT_I2: variant->iVal = static_cast<SHORT>(value.number); break;
        case VT_BOOL: variant->boolVal = static_cast<VARIANT_BOOL>(value.number); break;
        case VT_I4: variant->lVal = static_cast<LONG>(value.number); break;
        case VT_UI1: variant->bVal = static_cast<BYTE>(value.number); break;
        case VT_UI2: variant->uiVal = static_cast<USHORT>(value.number); break;
        case VT_UI4: variant->ulVal = static_cast<ULONG>(value.number); break;
        case VT_BSTR:
            if (!value.is_null) {
                variant->bstrVal = SysAllocStringByteLen(value.bytes.data(),
                                                         static_cast<UINT>(value.bytes.size()));
                if (variant->bstrVal == nullptr) return E_OUTOFMEMORY;
            }
            break;
    }
    variant->vt = base;
    return S_OK;
}

HRESULT StoreByRef(const WireValue& value, VARIANT* target) {
    if ((target->vt & VT_BYREF) == 0 || value.vt != target->vt || target->byref == nullptr) {
        return RPC_E_INVALID_DATAPACKET;
    }
    switch (target->vt & ~VT_BYREF) {
        case VT_I2: *target->piVal = static_cast<SHORT>(value.number); break;
        case VT_BOOL: *target->pboolVal = static_cast<VARIANT_BOOL>(value.number); break;
        case VT_I4: *target->plVal = static_cast<LONG>(value.number); break;
        case VT_UI1: *target->pbVal = static_cast<BYTE>(value.number); break;
        case VT_UI2: *target->puiVal = static_cast<USHORT>(value.number); break;
        case VT_UI4: *target->pulVal = static_cast<ULONG>(value.number); break;
        case VT_BSTR: {
            BSTR fresh = nullptr;
            if (!value.is_null) {
                fresh = SysAllocStringByteLen(value.bytes.data(),
                                              static_cast<UINT>(value.bytes.size()));
                if (fresh == nullptr) return E_OUTOFMEMORY;
            }
            SysFreeString(*target->pbstrVal);
            *target->pbstrVal = fresh;
            break;
        }
        default: return RPC_E_INVALID_DATAPACKET;
    }
    return S_OK;
}

}  // namespace cx::com
