// Fuzzes the frame accessors on random frames, and the event sink on random event strings.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "clients/switch_client.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CmdFrameHead head;
    std::memset(&head, 0, sizeof(head));
    std::memcpy(&head, data, std::min(size, sizeof(head)));
    const std::uint8_t* rest = data + std::min(size, sizeof(head));
    DWORD rest_length = static_cast<DWORD>(size - std::min(size, sizeof(head)));

    CSwitchCommand command;
    command.SetHeader(&head);
    command.SetData(rest, rest_length, head.Header.Status);
    DWORD length = command.GetHeader()->DataLength;
    for (DWORD i : {0u, 1u, length / 2, length - 1, length, length + 1, 0xFFFFFFFFu}) {
        command.GetByte(i);
        command.GetWord(i);
        command.GetData(i);
    }
    command.IsOk(0, FALSE);
    command.IsOk(length, TRUE);
    std::size_t text_length = std::strlen(command.GetDataString());
    if (text_length > command.GetHeader()->DataLength) __builtin_trap();
    command.SetData(rest, rest_length / 2, 0);
    command.ClearData();

    // The same bytes as an event of form 4: header string and data string.
    CSwitchClient sink;
    VARIANT args[2];
    VariantInit(&args[0]);
    VariantInit(&args[1]);
    args[1].vt = VT_BSTR;
    args[1].bstrVal = SysAllocStringByteLen(reinterpret_cast<const char*>(data),
                                            static_cast<UINT>(std::min(size, sizeof(head))));
    args[0].vt = VT_BSTR;
    args[0].bstrVal = SysAllocStringByteLen(reinterpret_cast<const char*>(rest), rest_length);
    DISPPARAMS params{args, nullptr, 2, 0};
    sink.Invoke(4, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    VariantClear(&args[0]);
    VariantClear(&args[1]);
    return 0;
}
