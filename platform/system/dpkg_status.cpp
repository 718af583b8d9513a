// The dpkg status file: one package's version, from text that may be damaged anywhere.
#include <string_view>

#include "platform/msi.h"

namespace {

struct Stanza {
    std::string_view package;
    std::string_view status;
    std::string_view version;
    bool broken = false;
    bool any = false;
};

std::string_view Trimmed(std::string_view text) {
    std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    std::size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

bool IsInstalled(std::string_view status) {
    // "want flag status": the last word is the state.
    std::size_t blank = status.find_last_of(" \t");
    std::string_view state = blank == std::string_view::npos ? status : status.substr(blank + 1);
    return state == "installed";
}

bool IsVersionText(std::string_view version) {
    if (version.empty() || version.size() > 255) return false;
    for (char c : version) {
        if (static_cast<unsigned char>(c) < 0x21 || static_cast<unsigned char>(c) > 0x7E) {
            return false;
        }
    }
    return true;
}

// Ends a stanza: counts it when broken, takes it when it is the package's installed one.
void Close(Stanza* stanza, std::string_view package, CxDpkgLookup* lookup) {
    if (stanza->any) {
        if (stanza->broken || stanza->package.empty()) {
            ++lookup->broken_stanzas;
        } else if (!lookup->installed && stanza->package == package &&
                   IsInstalled(stanza->status) && IsVersionText(stanza->version)) {
            lookup->installed = true;
            lookup->version.assign(stanza->version);
        }
    }
    *stanza = Stanza{};
}

}  // namespace

bool CxIsDpkgPackageName(const char* name) {
    if (name == nullptr) return false;
    std::string_view text(name);
    std::size_t colon = text.find(':');
    std::string_view package = text.substr(0, colon);
    if (package.size() < 2 || package.size() > 128) return false;
    auto lower_or_digit = [](char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); };
    if (!lower_or_digit(package[0])) return false;
    for (char c : package) {
        if (!lower_or_digit(c) && c != '+' && c != '-' && c != '.') return false;
    }
    if (colon == std::string_view::npos) return true;
    std::string_view architecture = text.substr(colon + 1);
    if (architecture.empty() || architecture.size() > 32) return false;
    for (char c : architecture) {
        if (!lower_or_digit(c) && c != '-') return false;
    }
    return true;
}

void CxFindDpkgVersion(const char* text, std::size_t size, const char* package,
                       CxDpkgLookup* lookup) {
    *lookup = CxDpkgLookup{};
    if (text == nullptr || package == nullptr) return;
    std::string_view wanted(package);
    wanted = wanted.substr(0, wanted.find(':'));
    std::string_view all(text, size);
    Stanza stanza;
    while (!all.empty()) {
        std::size_t end = all.find('\n');
        std::string_view line = all.substr(0, end);
        all = end == std::string_view::npos ? std::string_view() : all.substr(end + 1);
        if (Trimmed(line).empty()) {
            Close(&stanza, wanted, lookup);
            continue;
        }
        stanza.any = true;
        if (line[0] == ' ' || line[0] == '\t') continue;  // continuation of a field
        std::size_t colon = line.find(':');
        if (colon == 0 || colon == std::string_view::npos ||
            line.substr(0, colon).find_first_of(" \t") != std::string_view::npos) {
            stanza.broken = true;
            continue;
        }
        std::string_view name = line.substr(0, colon);
        std::string_view value = Trimmed(line.substr(colon + 1));
        if (name == "Package") {
            if (!stanza.package.empty()) stanza.broken = true;  // two packages run together
            stanza.package = value;
        } else if (name == "Status") {
            stanza.status = value;
        } else if (name == "Version") {
            stanza.version = value;
        }
    }
    Close(&stanza, wanted, lookup);
}
