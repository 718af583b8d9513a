// The INI parser on arbitrary bytes: it must accept anything, and what it writes back must
// read back as the same document.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "profile/ini_document.h"

namespace {

using cx::platform::IniDocument;

// Everything a reader can see: section names, and each section's keys and values.
std::string Visible(const IniDocument& document) {
    std::string seen;
    std::vector<std::string> sections;
    document.VisitSectionNames([&](std::string_view name) {
        sections.emplace_back(name);
        return true;
    });
    for (const std::string& section : sections) {
        seen += "[" + section + "]\n";
        document.VisitKeyNames(section, [&](std::string_view key) {
            const std::string* value = document.Find(section, key);
            if (value == nullptr) std::abort();  // a listed key must be found
            seen += std::string(key) + "=" + *value + "\n";
            return true;
        });
    }
    return seen;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    IniDocument first(bytes);
    std::string text = first.Serialize();
    IniDocument second(text);
    if (second.Serialize() != text) std::abort();
    if (Visible(second) != Visible(first)) std::abort();
    return 0;
}
