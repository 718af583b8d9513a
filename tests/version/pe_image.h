// Minimal PE images with a version resource, written byte by byte for the tests, so that no
// Windows toolchain is needed.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace cx::test {

struct PeVersionTable {
    std::string key;  // "040904B0"
    std::vector<std::pair<std::string, std::u16string>> strings;
};

struct PeVersionLayout {
    std::uint32_t file_version_ms = 0x00040002;
    std::uint32_t file_version_ls = 0x000A0001;
    std::vector<PeVersionTable> tables;
    std::vector<std::uint32_t> translations;  // low word language, high word code page
    bool pe32_plus = false;
};

// The VS_VERSIONINFO block (UTF-16 nodes) of `layout`.
std::vector<std::uint8_t> BuildVsVersionInfo(const PeVersionLayout& layout);
// A PE image with one section ".rsrc" that holds `block` as resource 16/1/0x409.
std::vector<std::uint8_t> BuildPeImage(const std::vector<std::uint8_t>& block, bool pe32_plus);
std::vector<std::uint8_t> BuildPeImage(const PeVersionLayout& layout);

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace cx::test
