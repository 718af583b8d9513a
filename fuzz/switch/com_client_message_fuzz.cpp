// Fuzzes what a client does with a message from a server: decode it, turn its values into
// variants and write its by-reference values back into typed arguments.
#include <cstddef>
#include <cstdint>

#include "platform/com_transport.h"
#include "platform/objbase.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    cx::com::Message message;
    if (!cx::com::DecodeMessage(data, size, &message)) return 0;
    message.args.push_back(message.result);
    for (const cx::com::WireValue& value : message.args) {
        VARIANT variant;
        cx::com::VariantFromWire(value, &variant);
        VariantClear(&variant);
    }
    // The arguments a request method hands over by reference.
    BSTR text = SysAllocString(u"in");
    BYTE byte = 0;
    VARIANT targets[2];
    targets[0].vt = VT_BYREF | VT_BSTR;
    targets[0].pbstrVal = &text;
    targets[1].vt = VT_BYREF | VT_UI1;
    targets[1].pbVal = &byte;
    for (const auto& [index, value] : message.by_ref)
        cx::com::StoreByRef(value, &targets[index % 2]);
    SysFreeString(text);
    return 0;
}
