// Minimal PE and ELF images for the tests.
#include "images.h"

#include <cstring>
#include <fstream>

namespace cx::test {

namespace {

class Writer {
  public:
    explicit Writer(bool big_endian = false) : big_endian_(big_endian) {}
    void Put(std::uint64_t value, std::size_t size) {
        bytes.resize(bytes.size() + size);
        Patch(bytes.size() - size, value, size);
    }
    void Patch(std::size_t at, std::uint64_t value, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i) {
            const std::size_t shift = 8 * (big_endian_ ? size - 1 - i : i);
            bytes[at + i] = shift < 64 ? static_cast<std::uint8_t>(value >> shift) : 0;
        }
    }
    void Append(const Bytes& data) { bytes.insert(bytes.end(), data.begin(), data.end()); }
    void Align(std::size_t alignment) {
        while (bytes.size() % alignment != 0)
            bytes.push_back(0);
    }
    void Text16(const std::u16string& text) {
        for (char16_t unit : text)
            Put(unit, 2);
        Put(0, 2);
    }
    Bytes bytes;

  private:
    bool big_endian_;
};

// A version node: wLength, wValueLength, wType, key; the caller writes value and children,
// then closes it with End.
std::size_t Begin(Writer& out, const std::string& key, std::uint32_t value_length,
                  std::uint32_t type) {
    std::size_t start = out.bytes.size();
    out.Put(0, 2);
    out.Put(value_length, 2);
    out.Put(type, 2);
    out.Text16(std::u16string(key.begin(), key.end()));
    out.Align(4);
    return start;
}

void End(Writer& out, std::size_t start) {
    out.Patch(start, out.bytes.size() - start, 2);
    out.Align(4);
}

Bytes BuildVsVersionInfo(const PeVersionLayout& layout) {
    Writer out;
    std::size_t root = Begin(out, "VS_VERSION_INFO", 52, 0);
    for (std::uint32_t word : {0xFEEF04BDu, 0x00010000u, 0x00040002u, 0x000A0001u, 0x00040002u,
                               0x000A0001u, 0x3Fu, 0u, 0x40004u, 2u, 0u, 0u, 0u})
        out.Put(word, 4);
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
        out.Put(pair, 4);
    End(out, translation);
    End(out, var_info);
    End(out, root);
    return out.bytes;
}

}  // namespace

Bytes BuildPeImage(const PeVersionLayout& layout) {
    constexpr std::uint32_t kPeOffset = 0x40;
    constexpr std::uint32_t kRawOffset = 0x200;
    constexpr std::uint32_t kSectionRva = 0x1000;
    const bool plus = layout.pe32_plus;
    const std::uint32_t optional_size = plus ? 240 : 224;
    const std::uint32_t data_directories = plus ? 112 : 96;
    const Bytes block = BuildVsVersionInfo(layout);

    // The resource tree: type 16 -> name 1 -> language 0x409 -> data entry -> the block.
    Writer resource;
    auto directory = [&resource](std::uint32_t id, std::uint32_t target) {
        resource.Put(0, 12);
        resource.Put(0, 2);  // named entries
        resource.Put(1, 2);  // numbered entries
        resource.Put(id, 4);
        resource.Put(target, 4);
    };
    directory(16, 0x80000000u | 0x18);
    directory(1, 0x80000000u | 0x30);
    directory(0x409, 0x48);
    resource.Put(kSectionRva + 0x58, 4);  // data entry: RVA, size, code page, reserved
    resource.Put(block.size(), 4);
    resource.Put(0, 8);
    resource.bytes.resize(0x58);
    resource.Append(block);
    resource.Align(4);
    const std::size_t resource_size = resource.bytes.size();

    Writer image;
    image.bytes.resize(kRawOffset);
    image.Patch(0, 0x5A4D, 2);  // "MZ"
    image.Patch(0x3C, kPeOffset, 4);
    image.Patch(kPeOffset, 0x00004550, 4);  // "PE\0\0"
    const std::size_t file_header = kPeOffset + 4;
    image.Patch(file_header, plus ? 0x8664 : 0x14C, 2);
    image.Patch(file_header + 2, 1, 2);  // one section
    image.Patch(file_header + 16, optional_size, 2);
    const std::size_t optional = file_header + 20;
    image.Patch(optional, plus ? 0x20B : 0x10B, 2);
    image.Patch(optional + data_directories - 4, 16, 4);  // NumberOfRvaAndSizes
    image.Patch(optional + data_directories + 16, kSectionRva, 4);
    image.Patch(optional + data_directories + 20, resource_size, 4);
    const std::size_t section = optional + optional_size;
    std::memcpy(&image.bytes[section], ".rsrc", 5);
    image.Patch(section + 8, resource_size, 4);
    image.Patch(section + 12, kSectionRva, 4);
    image.Patch(section + 16, resource_size, 4);
    image.Patch(section + 20, kRawOffset, 4);
    image.Append(resource.bytes);
    return image.bytes;
}

Bytes BuildElfImage(const std::vector<ElfSection>& sections, std::uint32_t elf_type, bool wide,
                    bool big_endian) {
    const std::size_t header_size = wide ? 64 : 52;
    const std::size_t address = wide ? 8 : 4;

    Bytes names(1, 0);
    std::vector<std::size_t> name_offsets, data_offsets;
    Writer body(big_endian);
    body.bytes.resize(header_size);
    auto add_name = [&names](const std::string& name) {
        names.insert(names.end(), name.begin(), name.end());
        names.push_back(0);
    };
    for (const ElfSection& section : sections) {
        name_offsets.push_back(names.size());
        add_name(section.name);
        body.Align(4);
        data_offsets.push_back(body.bytes.size());
        body.Append(section.data);
    }
    const std::size_t names_name = names.size();
    add_name(".shstrtab");
    const std::size_t names_offset = body.bytes.size();
    body.Append(names);
    body.Align(8);
    const std::size_t section_table = body.bytes.size();

    // name, type, flags, address, offset, size, link, info, alignment, entry size
    auto section_header = [&](std::size_t name, std::uint32_t type, std::size_t offset,
                              std::size_t size, std::size_t alignment) {
        body.Put(name, 4);
        body.Put(type, 4);
        body.Put(0, 2 * address);
        body.Put(offset, address);
        body.Put(size, address);
        body.Put(0, 8);
        body.Put(alignment, address);
        body.Put(0, address);
    };
    section_header(0, 0, 0, 0, 0);
    for (std::size_t i = 0; i < sections.size(); ++i)
        section_header(name_offsets[i], sections[i].type, data_offsets[i], sections[i].data.size(),
                       4);
    section_header(names_name, 3, names_offset, names.size(), 1);

    Writer header(big_endian);
    header.Append({0x7F, 'E', 'L', 'F', static_cast<std::uint8_t>(wide ? 2 : 1)});
    header.Append({static_cast<std::uint8_t>(big_endian ? 2 : 1), 1});
    header.bytes.resize(16);
    header.Put(elf_type, 2);
    header.Put(62, 2);           // machine
    header.Put(1, 4);            // version
    header.Put(0, 2 * address);  // entry, program headers
    header.Put(section_table, address);
    header.Put(0, 4);  // flags
    header.Put(header_size, 2);
    header.Put(wide ? 56 : 32, 2);
    header.Put(0, 2);
    header.Put(wide ? 64 : 40, 2);
    header.Put(sections.size() + 2, 2);
    header.Put(sections.size() + 1, 2);  // the name table is the last section
    std::copy(header.bytes.begin(), header.bytes.end(), body.bytes.begin());
    return body.bytes;
}

Bytes BuildPackageNote(const std::string& json, bool big_endian) {
    Writer note(big_endian);
    note.Put(4, 4);
    note.Put(json.size() + 1, 4);
    note.Put(0xCAFE1A7E, 4);
    note.Append({'F', 'D', 'O', 0});
    note.Append(Bytes(json.begin(), json.end()));
    note.Put(0, 1);
    note.Align(4);
    return note.bytes;
}

void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

}  // namespace cx::test
