// The text rules of the vendor MIBs: inquiry strings, version strings with their labels and
// dates, and device paths. Every rule reads at most the text it is given.
#include <cstring>

#include "storage_steps.h"

namespace cx::storage {
namespace {

// `count` characters of `text` from `at`, fewer where the text ends.
std::string Piece(const std::string& text, std::size_t at, std::size_t count) {
    return at < text.size() ? text.substr(at, count) : std::string();
}

std::size_t SkipBlanks(const std::string& text, std::size_t at) {
    while (at < text.size() && text[at] == ' ')
        ++at;
    return at;
}

// The decimal number at `text`, capped so that it fits a LONG.
LONG Number(const char* text) {
    long long value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + (*text - '0');
        if (value > 0x7FFFFFFF) return 0x7FFFFFFF;
    }
    return static_cast<LONG>(value);
}

}  // namespace

Inquiry SplitHdInquiry(const char* text) {
    const std::string inquiry = text != nullptr ? text : "";
    Inquiry parts;
    const std::size_t blank = inquiry.find(' ');
    if (blank != std::string::npos && blank < 8) {
        parts.vendor = inquiry.substr(0, blank);
        parts.product = Piece(inquiry, SkipBlanks(inquiry, blank), 16);
    } else {
        parts.vendor = Piece(inquiry, 0, 8);
        parts.product = Piece(inquiry, 8, 16);
    }
    parts.version = Piece(inquiry, 24, 4);
    if (parts.version.empty() || parts.version[0] == ' ') parts.version = "N/A";
    return parts;
}

Inquiry SplitIomInquiry(const char* text) {
    const std::string inquiry = text != nullptr ? text : "";
    Inquiry parts;
    parts.vendor = Piece(inquiry, 0, 8);
    std::size_t at = SkipBlanks(inquiry, 8);
    parts.product = Piece(inquiry, at, 16);
    at = SkipBlanks(inquiry, at + 16);
    parts.version = Piece(inquiry, at, 4);
    return parts;
}

void SplitAacVersion(ComponentEntry* component) {
    component->Version[0] = '\0';
    char* colon = std::strchr(component->ProdDescript, ':');
    if (colon == nullptr) {
        CopyEntryText(component->Version, component->ProdDescript);
        component->ProdDescript[0] = '\0';
        return;
    }
    *colon = '\0';
    // Two characters on: the colon and the blank after it, unless the text ends first.
    const char* version = colon + 1;
    if (*version != '\0') ++version;
    CopyEntryText(component->Version, version);
}

void SplitDptVersion(ComponentEntry* component, const char* text) {
    CopyEntryText(component->Version, "N/A");
    component->ManuDate[0] = '\0';
    const std::string info = text != nullptr ? text : "";
    const std::size_t name_end = info.find(';');
    CopyEntryText(component->ProdDescript, info.substr(0, name_end).c_str());
    if (name_end == std::string::npos) return;
    const std::size_t colon = info.find(':', name_end + 1);
    if (colon == std::string::npos) return;
    const std::size_t version_end = info.find(';', colon + 1);
    if (version_end == std::string::npos) return;
    const std::size_t version_at = std::min(colon + 2, version_end);
    CopyEntryText(component->Version, info.substr(version_at, version_end - version_at).c_str());
    const std::size_t date_colon = info.find(':', version_end + 1);
    if (date_colon == std::string::npos) return;
    CopyEntryText(component->ManuDate, Piece(info, date_colon + 2, kEntryTextSize).c_str());
}

void SplitDevPath(const char* path, LONG* target, LONG* unit) {
    *target = -1;
    *unit = -1;
    const char* id = std::strstr(path, "ID:");
    if (id == nullptr) return;
    *target = Number(id + 3);
    const char* lun = std::strstr(path, "LUN:");
    if (lun != nullptr) *unit = Number(lun + 4);
}

}  // namespace cx::storage
