// Minimal PE images with a version resource, for the tests.
#include "pe_image.h"

#include <cstring>
#include <fstream>

namespace cx::test {

namespace {

class Writer {
  public:
    void U16(std::uint32_t value) {
        bytes.push_back(static_cast<std::uint8_t>(value));
        bytes.push_back(static_cast<std::uint8_t>(value >> 8));
    }
    void U32(std::uint32_t value) {
        U16(value & 0xFFFF);
        U16(value >> 16);
    }
    void Text16(const std::u16string& text) {
        for (char16_t unit : text)
            U16(unit);
        U16(0);
    }
    void Pad4() {
        while (bytes.size() % 4 != 0)
            bytes.push_back(0);
    }
    void PatchU16(std::size_t at, std::uint32_t value) {
        bytes[at] = static_cast<std::uint8_t>(value);
        bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
    }
    void PatchU32(std::size_t at, std::uint32_t value) {
        PatchU16(at, value & 0xFFFF);
        PatchU16(at + 2, value >> 16);
    }
    std::vector<std::uint8_t> bytes;
};

std::u16string Wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

// A node: wLength, wValueLength, wType, key; the caller writes value and children, then
// closes it with End.
std::size_t Begin(Writer& out, const std::string& key, std::uint32_t value_length,
                  std::uint32_t type) {
    std::size_t start = out.bytes.size();
    out.U16(0);
    out.U16(value_length);
    out.U16(type);
    out.Text16(Wide(key));
    out.Pad4();
    return start;
}

void End(Writer& out, std::size_t start) {
    out.PatchU16(start, static_cast<std::uint32_t>(out.bytes.size() - start));
    out.Pad4();
}

}  // namespace

std::vector<std::uint8_t> BuildVsVersionInfo(const PeVersionLayout& layout) {
    Writer out;
    std::size_t root = Begin(out, "VS_VERSION_INFO", 52, 0);
    const std::uint32_t fixed[13] = {0xFEEF04BD,
                                     0x00010000,
                                     layout.file_version_ms,
                                     layout.file_version_ls,
                                     layout.file_version_ms,
                                     layout.file_version_ls,
                                     0x3F,
                                     0,
                                     0x40004,
                                     2,
                                     0,
                                     0,
                                     0};
    for (std::uint32_t word : fixed)
        out.U32(word);
    out.Pad4();
    std::size_t file_info = Begin(out, "StringFileInfo", 0, 1);
    for (const PeVersionTable& table : layout.tables) {
        std::size_t strings = Begin(out, table.key, 0, 1);
        for (const auto& [name, value] : table.strings) {
            std::size_t entry = Begin(out, name, static_cast<std::uint32_t>(value.size() + 1), 1);
            out.Text16(value);
            End(out, entry);
        }
        End(out, strings);
    }
    End(out, file_info);
    std::size_t var_info = Begin(out, "VarFileInfo", 0, 1);
    std::size_t translation =
        Begin(out, "Translation", static_cast<std::uint32_t>(layout.translations.size() * 4), 0);
    for (std::uint32_t pair : layout.translations)
        out.U32(pair);
    End(out, translation);
    End(out, var_info);
    End(out, root);
    return out.bytes;
}

std::vector<std::uint8_t> BuildPeImage(const std::vector<std::uint8_t>& block, bool pe32_plus) {
    constexpr std::uint32_t kPeOffset = 0x40;
    constexpr std::uint32_t kRawOffset = 0x200;
    constexpr std::uint32_t kSectionRva = 0x1000;
    const std::uint32_t optional_size = pe32_plus ? 240 : 224;
    const std::uint32_t data_directories = pe32_plus ? 112 : 96;

    // The resource tree: type 16 -> name 1 -> language 0x409 -> data entry -> the block.
    Writer resource;
    auto directory = [&resource](std::uint32_t id, std::uint32_t target) {
        for (int i = 0; i < 3; ++i)
            resource.U32(0);
        resource.U16(0);  // named entries
        resource.U16(1);  // numbered entries
        resource.U32(id);
        resource.U32(target);
    };
    directory(16, 0x80000000u | 0x18);
    directory(1, 0x80000000u | 0x30);
    directory(0x409, 0x48);
    resource.U32(kSectionRva + 0x58);  // data entry: RVA, size, code page, reserved
    resource.U32(static_cast<std::uint32_t>(block.size()));
    resource.U32(0);
    resource.U32(0);
    resource.bytes.resize(0x58);
    resource.bytes.insert(resource.bytes.end(), block.begin(), block.end());
    resource.Pad4();

    Writer image;
    image.bytes.resize(kRawOffset);
    image.PatchU16(0, 0x5A4D);  // "MZ"
    image.PatchU32(0x3C, kPeOffset);
    image.PatchU32(kPeOffset, 0x00004550);  // "PE\0\0"
    std::size_t file_header = kPeOffset + 4;
    image.PatchU16(file_header, pe32_plus ? 0x8664 : 0x14C);
    image.PatchU16(file_header + 2, 1);  // one section
    image.PatchU16(file_header + 16, optional_size);
    std::size_t optional = file_header + 20;
    image.PatchU16(optional, pe32_plus ? 0x20B : 0x10B);
    image.PatchU32(optional + data_directories - 4, 16);  // NumberOfRvaAndSizes
    image.PatchU32(optional + data_directories + 16, kSectionRva);
    image.PatchU32(optional + data_directories + 20,
                   static_cast<std::uint32_t>(resource.bytes.size()));
    std::size_t section = optional + optional_size;
    std::memcpy(&image.bytes[section], ".rsrc", 5);
    image.PatchU32(section + 8, static_cast<std::uint32_t>(resource.bytes.size()));
    image.PatchU32(section + 12, kSectionRva);
    image.PatchU32(section + 16, static_cast<std::uint32_t>(resource.bytes.size()));
    image.PatchU32(section + 20, kRawOffset);
    image.bytes.insert(image.bytes.end(), resource.bytes.begin(), resource.bytes.end());
    return image.bytes;
}

std::vector<std::uint8_t> BuildPeImage(const PeVersionLayout& layout) {
    return BuildPeImage(BuildVsVersionInfo(layout), layout.pe32_plus);
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

}  // namespace cx::test
