// Sequences of profile calls on a file whose first content comes from the input: writes,
// deletions, reads with buffers of every size, lists and flushes. Each read must agree with
// what the sequence wrote, and no buffer may be overrun.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/profile.h"

namespace {

struct Input {
    const uint8_t* data;
    size_t size;
    size_t position = 0;
    bool Empty() const { return position >= size; }
    uint8_t Byte() { return position < size ? data[position++] : 0; }
    std::string Text(size_t most) {
        std::string text;
        for (size_t length = Byte() % (most + 1); text.size() < length && !Empty();)
            text += static_cast<char>(Byte());
        return text;
    }
    // Few names, in varying case, so that the sequence keeps hitting the same entries.
    std::string Name() {
        static const char* const kNames[] = {
            "A", "a", "Last Date", "LAST DATE", " b ", "Key.1", "key.1", "x=y", ";c", "", "[d"};
        return kNames[Byte() % std::size(kNames)];
    }
};

// In memory where there is a /dev/shm: every input ends with a durable write, and a disk's
// syncs would only make the runs slow. Each input deletes its own file.
std::string FileFor(unsigned input) {
    static const std::string directory = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return directory + "/cx-fuzz-" + std::to_string(getpid()) + "-" + std::to_string(input) +
           ".ini";
}

// What a read gives for a value the sequence wrote: the C string up to its NUL, trimmed, line
// breaks as blanks, one pair of quotes removed.
std::string AsRead(std::string value) {
    value = value.substr(0, value.find('\0'));
    for (char& c : value)
        c = c == '\r' || c == '\n' ? ' ' : c;
    size_t first = value.find_first_not_of(" \t\v\f");
    value = first == std::string::npos
                ? ""
                : value.substr(first, value.find_last_not_of(" \t\v\f") - first + 1);
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
        value = value.substr(1, value.size() - 2);
    return value;
}

std::string Read(const std::string& file, const std::string& section, const std::string& key) {
    std::vector<char> buffer(8192);
    DWORD length = GetPrivateProfileStringA(section.c_str(), key.c_str(), "\x01", buffer.data(),
                                            8192, file.c_str());
    return std::string(buffer.data(), length);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static unsigned counter = 0;
    Input input{data, size};
    std::string file = FileFor(counter++);
    std::ofstream(file, std::ios::binary) << input.Text(255);
    while (!input.Empty()) {
        std::string section = input.Name(), key = input.Name();
        const uint8_t operation = input.Byte() % 6;
        if (operation <= 2) {
            // A write, a key deleted or a section deleted: a read then finds exactly that.
            std::string value = operation == 0 ? input.Text(40) : "";
            if (WritePrivateProfileStringA(section.c_str(), operation < 2 ? key.c_str() : nullptr,
                                           operation == 0 ? value.c_str() : nullptr,
                                           file.c_str()) &&
                Read(file, section, key) != (operation == 0 ? AsRead(value) : "\x01"))
                std::abort();
        } else if (operation == 3) {
            GetPrivateProfileIntA(section.c_str(), key.c_str(), 5, file.c_str());
        } else if (operation == 4) {
            // A value, a key list or the section list into a buffer of any size.
            DWORD size = input.Byte() % 40;
            int kind = input.Byte() % 3;
            std::vector<char> buffer(size + 1, '\x7F');
            DWORD length = GetPrivateProfileStringA(
                kind == 0 ? nullptr : section.c_str(), kind == 2 ? key.c_str() : nullptr, "dflt",
                size > 0 ? buffer.data() : nullptr, size, file.c_str());
            if (buffer[size] != '\x7F') std::abort();  // written past the size given
            if (size > 0 && (length >= size || buffer[length] != '\0')) std::abort();
        } else {
            // What a reader sees is the same before and after the file is written out.
            std::string before = Read(file, section, key);
            WritePrivateProfileStringA(nullptr, nullptr, nullptr, file.c_str());
            if (Read(file, section, key) != before) std::abort();
        }
    }
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, file.c_str());
    DeleteFileA(file.c_str());
    return 0;
}
