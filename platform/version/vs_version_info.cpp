// VS_VERSIONINFO as a PE resource holds it: nodes of (length, value length, type, UTF-16 key,
// value, children), each aligned to 32 bits from the start of the block.
#include <strings.h>

#include <cstring>
#include <string>

#include "platform/version_resource.h"
#include "version/byte_reader.h"
#include "version/utf8.h"

namespace {

using cx::platform::version::AppendUtf8;
using cx::platform::version::Le16At;
using cx::platform::version::Le32At;

constexpr std::size_t kNodeHeader = 6;

std::size_t Align4(std::size_t offset) { return (offset + 3) & ~std::size_t{3}; }

// UTF-16 text from `offset` up to its NUL or `end`; returns the offset after the NUL (or
// `end`). Unpaired surrogates become U+FFFD.
std::size_t ReadUtf16(const std::uint8_t* data, std::size_t offset, std::size_t end,
                      std::string* text) {
    text->clear();
    while (offset + 2 <= end) {
        std::uint32_t unit = Le16At(data + offset);
        offset += 2;
        if (unit == 0) return offset;
        if (unit >= 0xD800 && unit < 0xDC00 && offset + 2 <= end) {
            std::uint32_t low = Le16At(data + offset);
            if (low >= 0xDC00 && low < 0xE000) {
                offset += 2;
                AppendUtf8(*text, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                continue;
            }
        }
        AppendUtf8(*text, unit >= 0xD800 && unit < 0xE000 ? 0xFFFD : unit);
    }
    return end;
}

struct Node {
    std::string key;
    std::size_t value;       // offset of the value
    std::size_t value_size;  // its bytes, as far as the node holds them
    std::size_t children;    // offset of the first child
    std::size_t end;         // offset after the node
};

// The node at `offset`, inside [offset, limit). A length beyond the limit is cut to it.
bool ReadNode(const std::uint8_t* data, std::size_t offset, std::size_t limit, Node* node) {
    if (offset + kNodeHeader > limit) return false;
    std::size_t length = Le16At(data + offset);
    if (length < kNodeHeader) return false;
    std::size_t value_length = Le16At(data + offset + 2);
    std::uint32_t type = Le16At(data + offset + 4);
    node->end = length > limit - offset ? limit : offset + length;
    std::size_t key_end = ReadUtf16(data, offset + kNodeHeader, node->end, &node->key);
    node->value = Align4(key_end) < node->end ? Align4(key_end) : node->end;
    // Text values count characters, binary ones bytes.
    std::size_t value_size = type == 1 ? value_length * 2 : value_length;
    node->value_size = value_size > node->end - node->value ? node->end - node->value : value_size;
    std::size_t children = Align4(node->value + node->value_size);
    node->children = children < node->end ? children : node->end;
    return true;
}

// Calls `visit` for every child node of `parent`.
template <class Visit>
void ForEachChild(const std::uint8_t* data, const Node& parent, Visit visit) {
    std::size_t offset = parent.children;
    Node child;
    while (ReadNode(data, offset, parent.end, &child)) {
        visit(child);
        offset = Align4(child.end);  // each node is at least kNodeHeader bytes: progress
    }
}

bool EqualsIgnoringCase(const std::string& text, const char* expected) {
    return strcasecmp(text.c_str(), expected) == 0;
}

void ReadStringTable(const std::uint8_t* data, const Node& table, CxVersionResource* resource) {
    CxStringTable strings;
    strings.key = table.key;
    ForEachChild(data, table, [&](const Node& entry) {
        CxVersionString item;
        item.name = entry.key;
        // Resource compilers disagree about the value length of strings; the text runs to
        // its NUL inside the node.
        ReadUtf16(data, entry.value, entry.end, &item.value);
        strings.strings.push_back(std::move(item));
    });
    resource->string_tables.push_back(std::move(strings));
}

void ReadTranslations(const std::uint8_t* data, const Node& var, CxVersionResource* resource) {
    ForEachChild(data, var, [&](const Node& entry) {
        if (!EqualsIgnoringCase(entry.key, "Translation")) return;
        for (std::size_t i = 0; i + 4 <= entry.value_size; i += 4) {
            resource->translations.push_back(Le32At(data + entry.value + i));
        }
    });
}

}  // namespace

bool CxParseVsVersionInfo(const std::uint8_t* data, std::size_t size, CxVersionResource* resource) {
    *resource = CxVersionResource{};
    Node root;
    if (data == nullptr || !ReadNode(data, 0, size, &root)) return false;
    if (!EqualsIgnoringCase(root.key, "VS_VERSION_INFO")) return false;
    if (root.value_size >= sizeof(VS_FIXEDFILEINFO) &&
        Le32At(data + root.value) == VS_FFI_SIGNATURE) {
        std::memcpy(&resource->fixed_info, data + root.value, sizeof(VS_FIXEDFILEINFO));
        resource->has_fixed_info = true;
    }
    ForEachChild(data, root, [&](const Node& child) {
        if (EqualsIgnoringCase(child.key, "StringFileInfo")) {
            ForEachChild(data, child,
                         [&](const Node& table) { ReadStringTable(data, table, resource); });
        } else if (EqualsIgnoringCase(child.key, "VarFileInfo")) {
            ReadTranslations(data, child, resource);
        }
    });
    return true;
}
