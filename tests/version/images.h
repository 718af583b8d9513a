// Minimal PE images with a version resource and ELF images with chosen sections, written byte
// by byte for the tests, so that no Windows toolchain is needed.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace cx::test {

using Bytes = std::vector<std::uint8_t>;

struct PeVersionTable {
    std::string key;  // "040904B0"
    std::vector<std::pair<std::string, std::u16string>> strings;
};

// File version 4.2.10.1 in the fixed part; `translations` low word language, high code page.
struct PeVersionLayout {
    std::vector<PeVersionTable> tables;
    std::vector<std::uint32_t> translations;
    bool pe32_plus = false;
};

// A PE image with one section ".rsrc" that holds the VS_VERSIONINFO block of `layout` as
// resource 16/1/0x409 (the block at 0x258 of the file).
Bytes BuildPeImage(const PeVersionLayout& layout);

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
