// The system group of a standalone host (RFC 3418): the texts and numbers handed to net-snmp's
// own system module, read-only as the Windows service serves them.
#include "system_group.h"

#include <algorithm>

namespace cx::host {
namespace {

// DisplayString (RFC 2579) is 255 octets at most.
constexpr std::size_t kMaxText = 255;

// net-snmp reads the rest of the line as the value and drops the blanks around it; a control
// character would end or break the line.
bool IsOneLine(const std::string& text) {
    return std::none_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F;
    });
}

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string TextLine(const char* token, const std::string& text,
                     std::vector<std::string>* rejected) {
    const std::string value = Trimmed(text);
    if (value.size() > kMaxText || !IsOneLine(value)) {
        rejected->push_back(std::string(token) + " \"" + text + "\"");
        return token;
    }
    return std::string(token) + " " + value;
}

}  // namespace

std::string SystemDescription(const SystemSoftware& software) {
    std::string text = "Hardware: " + software.machine + " - Software: ";
    if (!software.os_name.empty()) text += software.os_name + ", ";
    text += "Linux " + software.kernel_release + " " + software.kernel_version;
    std::replace_if(
        text.begin(), text.end(),
        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }, ' ');
    if (text.size() > kMaxText) text.resize(kMaxText);
    return Trimmed(text);
}

std::vector<std::string> SystemGroupLines(const SystemGroup& system, const std::string& description,
                                          std::vector<std::string>* rejected) {
    return {TextLine("sysDescr", description, rejected), std::string("sysObjectID ") + kSysObjectId,
            TextLine("sysContact", system.contact, rejected),
            TextLine("sysLocation", system.location, rejected),
            "sysServices " + std::to_string(system.services)};
}

}  // namespace cx::host
