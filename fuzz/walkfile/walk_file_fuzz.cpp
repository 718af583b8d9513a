// Walk files are outside input: any bytes must parse into records and problems without a
// fault, and every record must hold what SNMP can carry.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "walk_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const cx::replay::WalkContents contents = cx::replay::ParseWalkFile(text);
    for (const cx::replay::WalkRecord& record : contents.records) {
        if (record.name.size() < 2 || record.name.size() > cx::replay::kMaxOidLength) std::abort();
        if (record.object.size() > cx::replay::kMaxOidLength) std::abort();
        if (record.line == 0) std::abort();
    }
    return 0;
}
