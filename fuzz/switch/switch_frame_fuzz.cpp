// Fuzzes the frame accessors on random frames, and the event sink on random event strings.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "clients/switch_client.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::size_t head_size = std::min(size, sizeof(CmdFrameHead));
    CmdFrameHead head{};
    std::memcpy(&head, data, head_size);
    const auto* rest = reinterpret_cast<const char*>(data + head_size);
    const auto rest_length = static_cast<DWORD>(size - head_size);

    CSwitchCommand command;
    command.SetHeader(&head);
    command.SetData(rest, rest_length, head.Header.Status);
    const DWORD length = command.GetHeader()->DataLength;
    for (DWORD i : {0u, 1u, length / 2, length - 1, length, length + 1, 0xFFFFFFFFu}) {
        command.GetByte(i);
        command.GetWord(i);
        command.GetData(i);
    }
    command.IsOk(0, FALSE);
    command.IsOk(length, TRUE);
    if (std::strlen(command.GetDataString()) > command.GetHeader()->DataLength) __builtin_trap();
    command.SetData(rest, rest_length / 2, 0);
    command.ClearData();

    // The same bytes as an event of form 4: header string and data string (last to first).
    VARIANT args[2];
    args[0].vt = args[1].vt = VT_BSTR;
    args[0].bstrVal = SysAllocStringByteLen(rest, rest_length);
    args[1].bstrVal =
        SysAllocStringByteLen(reinterpret_cast<const char*>(data), static_cast<UINT>(head_size));
    DISPPARAMS params{args, nullptr, 2, 0};
    CSwitchClient().Invoke(4, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    VariantClear(&args[0]);
    VariantClear(&args[1]);
    return 0;
}
