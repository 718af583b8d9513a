// ELF images with chosen sections, written byte by byte for the tests. (The PE images with a
// version resource are files under tests/data/version.)
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cx::test {

using Bytes = std::vector<std::uint8_t>;

struct ElfSection {
    std::string name;
    std::uint32_t type;  // 1 PROGBITS, 7 NOTE
    Bytes data;
};

// An image of ELF type `elf_type` (1 relocatable, 3 shared) with `sections` and their name
// table; 64- or 32-bit, little- or big-endian.
Bytes BuildElfImage(const std::vector<ElfSection>& sections, std::uint32_t elf_type, bool wide,
                    bool big_endian);
// The bytes of one "FDO" package note with `json` as its text.
Bytes BuildPackageNote(const std::string& json, bool big_endian);

void WriteFile(const std::string& path, const Bytes& bytes);

}  // namespace cx::test
