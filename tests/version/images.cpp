// Minimal ELF images for the tests.
#include "images.h"

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
    Bytes bytes;

  private:
    bool big_endian_;
};

}  // namespace

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
