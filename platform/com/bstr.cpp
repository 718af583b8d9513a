// BSTR and VARIANT functions: a 32-bit byte count in front of the text, two zero bytes after it.
#include <cstdlib>
#include <cstring>

#include "platform/objbase.h"
#include "platform/oleauto.h"

namespace {

// The largest byte length a BSTR may carry: the prefix is 32 bits and the block also holds the
// prefix and the terminator.
constexpr std::size_t kMaxBstrBytes = 0x7FFFFFF0u;

BSTR AllocateBytes(const void* data, std::size_t bytes) {
    if (bytes > kMaxBstrBytes) return nullptr;
    auto* block = static_cast<unsigned char*>(std::malloc(sizeof(DWORD) + bytes + 2));
    if (block == nullptr) return nullptr;
    DWORD prefix = static_cast<DWORD>(bytes);
    std::memcpy(block, &prefix, sizeof(prefix));
    unsigned char* text = block + sizeof(DWORD);
    if (data != nullptr) {
        std::memcpy(text, data, bytes);
    } else {
        std::memset(text, 0, bytes);
    }
    text[bytes] = 0;
    text[bytes + 1] = 0;
    return reinterpret_cast<BSTR>(text);
}

}  // namespace

BSTR SysAllocString(const OLECHAR* text) {
    if (text == nullptr) return nullptr;
    std::size_t length = 0;
    while (text[length] != 0)
        ++length;
    return AllocateBytes(text, length * sizeof(OLECHAR));
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
    return AllocateBytes(text, static_cast<std::size_t>(length) * sizeof(OLECHAR));
}

BSTR SysAllocStringByteLen(LPCSTR data, UINT length) { return AllocateBytes(data, length); }

UINT SysStringByteLen(BSTR text) {
    if (text == nullptr) return 0;
    DWORD prefix;
    std::memcpy(&prefix, reinterpret_cast<unsigned char*>(text) - sizeof(DWORD), sizeof(prefix));
    return prefix;
}

UINT SysStringLen(BSTR text) { return SysStringByteLen(text) / sizeof(OLECHAR); }

void SysFreeString(BSTR text) {
    if (text == nullptr) return;
    std::free(reinterpret_cast<unsigned char*>(text) - sizeof(DWORD));
}

void VariantInit(VARIANTARG* variant) {
    variant->vt = VT_EMPTY;
    variant->wReserved1 = variant->wReserved2 = variant->wReserved3 = 0;
    variant->llVal = 0;
}

HRESULT VariantClear(VARIANTARG* variant) {
    if (variant == nullptr) return E_INVALIDARG;
    switch (variant->vt) {
        case VT_BSTR: SysFreeString(variant->bstrVal); break;
        case VT_UNKNOWN:
        case VT_DISPATCH:
            if (variant->punkVal != nullptr) variant->punkVal->Release();
            break;
        default: break;
    }
    VariantInit(variant);
    return S_OK;
}
