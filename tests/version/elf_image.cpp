// Minimal ELF images for the tests.
#include "elf_image.h"

namespace cx::test {

namespace {

class Writer {
  public:
    explicit Writer(bool big_endian) : big_endian_(big_endian) {}
    void Put(std::uint64_t value, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i) {
            std::size_t shift = 8 * (big_endian_ ? size - 1 - i : i);
            bytes.push_back(static_cast<std::uint8_t>(value >> shift));
        }
    }
    void Append(const std::vector<std::uint8_t>& data) {
        bytes.insert(bytes.end(), data.begin(), data.end());
    }
    void Align(std::size_t alignment) {
        while (bytes.size() % alignment != 0)
            bytes.push_back(0);
    }
    std::vector<std::uint8_t> bytes;

  private:
    bool big_endian_;
};

}  // namespace

std::vector<std::uint8_t> BuildElfImage(const std::vector<ElfSection>& sections,
                                        std::uint32_t elf_type, bool wide, bool big_endian) {
    const std::size_t header_size = wide ? 64 : 52;
    const std::size_t entry_size = wide ? 64 : 40;
    const std::size_t address = wide ? 8 : 4;

    std::vector<std::uint8_t> names(1, 0);
    std::vector<std::size_t> name_offsets, data_offsets;
    Writer body(big_endian);
    body.bytes.resize(header_size);
    for (const ElfSection& section : sections) {
        name_offsets.push_back(names.size());
        names.insert(names.end(), section.name.begin(), section.name.end());
        names.push_back(0);
        body.Align(4);
        data_offsets.push_back(body.bytes.size());
        body.Append(section.data);
    }
    std::size_t names_name = names.size();
    const std::string table_name = ".shstrtab";
    names.insert(names.end(), table_name.begin(), table_name.end());
    names.push_back(0);
    std::size_t names_offset = body.bytes.size();
    body.Append(names);
    body.Align(8);
    std::size_t section_table = body.bytes.size();

    auto section_header = [&](std::size_t name, std::uint32_t type, std::size_t offset,
                              std::size_t size, std::size_t alignment) {
        body.Put(name, 4);
        body.Put(type, 4);
        body.Put(0, address);  // flags
        body.Put(0, address);  // address
        body.Put(offset, address);
        body.Put(size, address);
        body.Put(0, 4);  // link
        body.Put(0, 4);  // info
        body.Put(alignment, address);
        body.Put(0, address);  // entry size
    };
    section_header(0, 0, 0, 0, 0);
    for (std::size_t i = 0; i < sections.size(); ++i) {
        section_header(name_offsets[i], sections[i].type, data_offsets[i], sections[i].data.size(),
                       4);
    }
    section_header(names_name, 3, names_offset, names.size(), 1);

    Writer header(big_endian);
    header.bytes = {0x7F,
                    'E',
                    'L',
                    'F',
                    static_cast<std::uint8_t>(wide ? 2 : 1),
                    static_cast<std::uint8_t>(big_endian ? 2 : 1),
                    1};
    header.bytes.resize(16);
    header.Put(elf_type, 2);
    header.Put(62, 2);       // machine
    header.Put(1, 4);        // version
    header.Put(0, address);  // entry
    header.Put(0, address);  // program headers
    header.Put(section_table, address);
    header.Put(0, 4);  // flags
    header.Put(header_size, 2);
    header.Put(wide ? 56 : 32, 2);
    header.Put(0, 2);
    header.Put(entry_size, 2);
    header.Put(sections.size() + 2, 2);
    header.Put(sections.size() + 1, 2);  // the name table is the last section
    std::copy(header.bytes.begin(), header.bytes.end(), body.bytes.begin());
    return body.bytes;
}

std::vector<std::uint8_t> BuildPackageNote(const std::string& json, bool big_endian) {
    Writer note(big_endian);
    note.Put(4, 4);
    note.Put(json.size() + 1, 4);
    note.Put(0xCAFE1A7E, 4);
    note.bytes.insert(note.bytes.end(), {'F', 'D', 'O', 0});
    note.bytes.insert(note.bytes.end(), json.begin(), json.end());
    note.bytes.push_back(0);
    note.Align(4);
    return note.bytes;
}

}  // namespace cx::test
