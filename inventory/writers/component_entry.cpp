// The records collectors hand to the writers: bounded text copies and the setters with their
// fallbacks.
#include <cstring>

#include "inventory/component_entry.h"

void CopyEntryText(char* field, const char* text, std::size_t size) {
    if (field == nullptr || size == 0) return;
    if (text == nullptr) text = "";
    std::size_t length = strnlen(text, size - 1);
    std::memcpy(field, text, length);
    field[length] = '\0';
}

namespace {

// A NULL text keeps the field; an empty one takes the fallback when there is one.
void SetWithFallback(char* field, const char* text, const char* fallback) {
    if (text == nullptr) return;
    CopyEntryText(field, *text == '\0' && fallback != nullptr ? fallback : text);
}

}  // namespace

void ComponentEntry::Clear() { *this = ComponentEntry(); }

void ComponentEntry::SetVendor(const char* text, const char* fallback) {
    SetWithFallback(Vendor, text, fallback);
}

void ComponentEntry::SetVersion(const char* text, const char* fallback) {
    SetWithFallback(Version, text, fallback);
}

void ComponentEntry::SetProdDescript(const char* text) {
    SetWithFallback(ProdDescript, text, nullptr);
}

FwUpdateObject::FwUpdateObject(const char* name) {
    if (name != nullptr) CopyEntryText(ObjectName, name);
}
