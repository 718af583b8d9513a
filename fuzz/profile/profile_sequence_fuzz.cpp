// Sequences of profile calls on a file whose first content comes from the input: writes,
// deletions, reads with buffers of every size, lists and flushes. Each read must agree with
// what the sequence wrote, and no buffer may be overrun.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/profile.h"

namespace {

class Input {
  public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool Empty() const { return position_ >= size_; }
    uint8_t Byte() { return position_ < size_ ? data_[position_++] : 0; }
    std::string Text(size_t most) {
        size_t length = Byte() % (most + 1);
        std::string text;
        for (size_t i = 0; i < length && !Empty(); ++i) {
            text += static_cast<char>(Byte());
        }
        return text;
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

// Few names, in varying case, so that the sequence keeps hitting the same entries.
std::string Name(Input& input) {
    static const char* const kNames[] = {"A",     "a",   "Last Date", "LAST DATE", " b ", "Key.1",
                                         "key.1", "x=y", ";c",        "",          "[d"};
    return kNames[input.Byte() % (sizeof(kNames) / sizeof(kNames[0]))];
}

// In memory where possible: every input ends with a durable write, and a disk's syncs would
// make the runs slow without testing anything more. Plain storage, so that it outlives the
// static destructors for the clean-up at exit.
const char* Directory() {
    static char directory[32] = "/dev/shm/cx-fuzz-XXXXXX";
    static const bool made = [] {
        if (mkdtemp(directory) == nullptr) {
            std::strcpy(directory, "/tmp/cx-fuzz-XXXXXX");
            if (mkdtemp(directory) == nullptr) return false;
        }
        std::atexit([] { rmdir(directory); });  // each input deleted its own file
        return true;
    }();
    return made ? directory : "/tmp";
}

// What a read gives for a value the sequence wrote: trimmed, line breaks as blanks, one pair
// of quotes removed.
std::string AsRead(std::string value) {
    value = value.substr(0, value.find('\0'));  // the C string the call is given
    for (char& c : value) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    size_t first = value.find_first_not_of(" \t\v\f");
    size_t last = value.find_last_not_of(" \t\v\f");
    value = first == std::string::npos ? "" : value.substr(first, last - first + 1);
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
        value = value.substr(1, value.size() - 2);
    }
    return value;
}

void CheckRead(const std::string& file, const std::string& section, const std::string& key,
               const std::optional<std::string>& expected) {
    std::vector<char> buffer(8192);
    DWORD length = GetPrivateProfileStringA(section.c_str(), key.c_str(), "\x01", buffer.data(),
                                            static_cast<DWORD>(buffer.size()), file.c_str());
    std::string got(buffer.data(), length);
    if (expected && got != *expected) std::abort();
    if (!expected && got != "\x01") std::abort();
}

void ReadWithSize(const std::string& file, Input& input) {
    DWORD size = input.Byte() % 40;
    int kind = input.Byte() % 3;
    std::string section = Name(input), key = Name(input);
    std::vector<char> buffer(size + 1, '\x7F');
    DWORD length = GetPrivateProfileStringA(kind == 0 ? nullptr : section.c_str(),
                                            kind == 2 ? key.c_str() : nullptr, "dflt",
                                            size > 0 ? buffer.data() : nullptr, size, file.c_str());
    if (buffer[size] != '\x7F') std::abort();  // written past the size given
    if (size > 0 && (length >= size || buffer[length] != '\0')) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static unsigned counter = 0;
    Input input(data, size);
    std::string file = std::string(Directory()) + "/f" + std::to_string(counter++) + ".ini";
    std::ofstream(file, std::ios::binary) << input.Text(255);

    // What this sequence wrote last to each key, as (section, key) in the case first used.
    std::map<std::pair<std::string, std::string>, std::optional<std::string>> written;
    while (!input.Empty()) {
        std::string section = Name(input), key = Name(input);
        switch (input.Byte() % 6) {
            case 0: {
                std::string value = input.Text(40);
                if (WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(),
                                               file.c_str())) {
                    CheckRead(file, section, key, AsRead(value));
                }
                break;
            }
            case 1:
                if (WritePrivateProfileStringA(section.c_str(), key.c_str(), nullptr,
                                               file.c_str())) {
                    CheckRead(file, section, key, std::nullopt);
                }
                break;
            case 2:
                if (WritePrivateProfileStringA(section.c_str(), nullptr, nullptr, file.c_str())) {
                    CheckRead(file, section, key, std::nullopt);
                }
                break;
            case 3: GetPrivateProfileIntA(section.c_str(), key.c_str(), 5, file.c_str()); break;
            case 4: ReadWithSize(file, input); break;
            default: {
                // What a reader sees is the same before and after the file is written out.
                std::vector<char> before(8192), after(8192);
                DWORD length_before = GetPrivateProfileStringA(section.c_str(), key.c_str(), "",
                                                               before.data(), 8192, file.c_str());
                WritePrivateProfileStringA(nullptr, nullptr, nullptr, file.c_str());
                DWORD length_after = GetPrivateProfileStringA(section.c_str(), key.c_str(), "",
                                                              after.data(), 8192, file.c_str());
                if (length_before != length_after ||
                    std::memcmp(before.data(), after.data(), length_before) != 0) {
                    std::abort();
                }
            }
        }
    }
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, file.c_str());
    DeleteFileA(file.c_str());
    return 0;
}
