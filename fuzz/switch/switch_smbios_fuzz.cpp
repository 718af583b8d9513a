// cx-switchd --linux on hostile firmware tables. The first byte picks the entry point: as
// given by the input (its next 32 bytes), or a valid 2.x or 3.x one sized for the rest, so
// that most inputs reach the table walk. Every item the agent may ask is then answered from
// whatever the walk kept.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "machine_answers.h"
#include "smbios.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
    cx::switchd::SmbiosEntryPoint entry;
    std::string error;
    if (data[0] % 3 == 0) {
        const std::string_view point = input.substr(0, 32);
        input.remove_prefix(point.size());
        if (!cx::switchd::ParseSmbiosEntryPoint(point, &entry, &error)) return 0;
    } else {
        entry.v3 = data[0] % 3 == 2;
        entry.major = entry.v3 ? 3 : 2;
        entry.table_length =
            static_cast<std::uint32_t>(entry.v3 ? input.size() : input.size() & 0xFFFF);
        entry.structure_count = entry.v3 ? 0 : data[0] >> 2;
    }
    cx::switchd::MachineInfo machine;
    if (cx::switchd::ParseSmbiosTable(entry, input, &machine) > input.size() / 4 + 1)
        __builtin_trap();
    cx::switchd::RequestKey key;
    key.cabinet_id = 1;
    for (key.object_id = 0; key.object_id < 4; ++key.object_id) {
        key.op_code = 0x0C00;
        for (std::uint32_t section = 0x20; section <= 0x38; ++section) {
            for (std::uint32_t field = 1; field <= 9; ++field) {
                key.op_code_ext = section << 8 | field;
                auto reply = cx::switchd::AnswerMachineRequest(machine, key);
                // Texts are never empty and always end with their NUL.
                if (reply && (reply->data.size() < 2 || reply->data.back() != '\0'))
                    __builtin_trap();
            }
        }
        key.op_code_ext = key.object_id;
        for (std::uint32_t op_code : {0x0600, 0x0601, 0x0603, 0x0604, 0x0605, 0x0700, 0x0701,
                                      0x0702, 0x0703, 0x0500, 0x0501, 0x0C21}) {
            key.op_code = op_code;
            cx::switchd::AnswerMachineRequest(machine, key);
        }
    }
    return 0;
}
