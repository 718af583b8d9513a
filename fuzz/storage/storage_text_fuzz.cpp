// The first byte picks the rule, the rest is the text a vendor agent sent. Every rule must stay
// within the text, keep every field terminated, and take its pieces from the text itself.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "storage_steps.h"

namespace {

void CheckTerminated(const ComponentEntry& entry, char separator) {
    for (const char* field : {entry.ProdDescript, entry.Version, entry.ManuDate})
        if (std::memchr(field, '\0', kEntryTextSize) == nullptr) std::abort();
    // The label is what comes before the separator.
    if (std::strchr(entry.ProdDescript, separator) != nullptr) std::abort();
}

void CheckPiece(const std::string& piece, const std::string& text, std::size_t most) {
    if (piece.size() > most) std::abort();
    if (!piece.empty() && piece != "N/A" && text.find(piece) == std::string::npos) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The agent's texts end at their first NUL.
    const std::string text(reinterpret_cast<const char*>(data + 1),
                           strnlen(reinterpret_cast<const char*>(data + 1), size - 1));
    using namespace cx::storage;
    switch (data[0] % 5) {
        case 0:
        case 1: {
            const Inquiry parts =
                (data[0] % 5 == 0 ? SplitHdInquiry : SplitIomInquiry)(text.c_str());
            CheckPiece(parts.vendor, text, 8);
            CheckPiece(parts.product, text, 16);
            CheckPiece(parts.version, text, 4);
            // The hard-disk MIB's rule gives "N/A" for a missing or blank version.
            if (data[0] % 5 == 0 && (parts.version.empty() || parts.version[0] == ' '))
                std::abort();
            break;
        }
        case 2: {
            ComponentEntry entry;
            CopyEntryText(entry.ProdDescript, text.c_str());
            SplitAacVersion(&entry);
            CheckTerminated(entry, ':');
            break;
        }
        case 3: {
            ComponentEntry entry;
            SplitDptVersion(&entry, text.c_str());
            CheckTerminated(entry, ';');
            if (std::strcmp(entry.Version, "N/A") != 0 &&
                std::strchr(entry.Version, ';') != nullptr)
                std::abort();
            break;
        }
        default: {
            LONG target = 0;
            LONG unit = 0;
            SplitDevPath(text.c_str(), &target, &unit);
            if (target < -1 || unit < -1 || (target == -1 && unit != -1)) std::abort();
            break;
        }
    }
    return 0;
}
