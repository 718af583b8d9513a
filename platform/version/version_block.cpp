// The opaque block of GetFileVersionInfoA and VerQueryValueA over it.
//
// Layout: a header (magic, bytes valid) and one tree of nodes, each
//   DWORD length (node and children), DWORD value length, WORD type (1 text, 0 binary),
//   WORD key length (with its NUL), key, padding to 32 bits, value, padding, children.
// Texts are kept as the agent reads them, 8-bit and NUL-terminated, so that a query hands out
// a pointer into the block without converting anything.
#include <strings.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/version_resource.h"
#include "version/byte_reader.h"

namespace {

using cx::platform::version::Le16At;
using cx::platform::version::Le32At;

constexpr std::uint32_t kBlockMagic = 0x42565843;  // "CXVB"
constexpr std::size_t kHeaderSize = 8;
constexpr std::size_t kNodeHeader = 12;

std::size_t Align4(std::size_t offset) { return (offset + 3) & ~std::size_t{3}; }

class BlockWriter {
  public:
    // Starts a node; its length is filled in by End().
    std::size_t Begin(const std::string& key, const void* value, std::size_t value_length,
                      bool text) {
        std::size_t start = bytes_.size();
        Put32(0);
        Put32(static_cast<std::uint32_t>(value_length));
        Put16(text ? 1 : 0);
        Put16(static_cast<std::uint32_t>(key.size() + 1));
        bytes_.insert(bytes_.end(), key.begin(), key.end());
        bytes_.push_back(0);
        Pad();
        auto* first = static_cast<const std::uint8_t*>(value);
        if (value_length != 0) bytes_.insert(bytes_.end(), first, first + value_length);
        Pad();
        return start;
    }
    void End(std::size_t start) {
        std::uint32_t length = static_cast<std::uint32_t>(bytes_.size() - start);
        std::memcpy(&bytes_[start], &length, 4);
    }
    void Text(const std::string& key, const std::string& value) {
        End(Begin(key, value.c_str(), value.size() + 1, true));
    }
    std::vector<std::uint8_t>& Bytes() { return bytes_; }

  private:
    void Put16(std::uint32_t value) {
        bytes_.push_back(static_cast<std::uint8_t>(value));
        bytes_.push_back(static_cast<std::uint8_t>(value >> 8));
    }
    void Put32(std::uint32_t value) {
        Put16(value & 0xFFFF);
        Put16(value >> 16);
    }
    void Pad() {
        while (bytes_.size() % 4 != 0)
            bytes_.push_back(0);
    }
    std::vector<std::uint8_t> bytes_;
};

std::vector<std::uint8_t> Serialize(const CxVersionResource& resource) {
    BlockWriter writer;
    std::vector<std::uint8_t>& bytes = writer.Bytes();
    bytes.resize(kHeaderSize);
    std::size_t root = writer.Begin("VS_VERSION_INFO", &resource.fixed_info,
                                    resource.has_fixed_info ? sizeof(VS_FIXEDFILEINFO) : 0, false);
    if (!resource.string_tables.empty()) {
        std::size_t file_info = writer.Begin("StringFileInfo", nullptr, 0, true);
        for (const CxStringTable& table : resource.string_tables) {
            std::size_t strings = writer.Begin(table.key, nullptr, 0, true);
            for (const CxVersionString& item : table.strings)
                writer.Text(item.name, item.value);
            writer.End(strings);
        }
        writer.End(file_info);
    }
    if (!resource.translations.empty()) {
        std::size_t var_info = writer.Begin("VarFileInfo", nullptr, 0, true);
        writer.End(writer.Begin("Translation", resource.translations.data(),
                                resource.translations.size() * sizeof(DWORD), false));
        writer.End(var_info);
    }
    writer.End(root);
    std::uint32_t header[2] = {kBlockMagic, static_cast<std::uint32_t>(bytes.size())};
    std::memcpy(bytes.data(), header, kHeaderSize);
    return std::move(bytes);
}

struct Node {
    const char* key;
    std::size_t value;
    std::size_t value_length;
    std::size_t children;
    std::size_t end;
};

// The node at `offset` of `data`, cut at `limit`: in a cut block the nodes before the cut
// stay readable, and a value the cut goes through is not read.
bool ReadNode(const std::uint8_t* data, std::size_t offset, std::size_t limit, Node* node) {
    if (offset > limit || limit - offset < kNodeHeader) return false;
    std::size_t length = Le32At(data + offset);
    std::size_t value_length = Le32At(data + offset + 4);
    std::size_t key_length = Le16At(data + offset + 10);
    if (length < kNodeHeader || key_length == 0) return false;
    node->end = length > limit - offset ? limit : offset + length;
    std::size_t key = offset + kNodeHeader;
    if (key_length > node->end - key || data[key + key_length - 1] != 0) return false;
    node->key = reinterpret_cast<const char*>(data + key);
    node->value = Align4(key + key_length);
    if (node->value > node->end || value_length > node->end - node->value) return false;
    node->value_length = value_length;
    node->children = Align4(node->value + value_length);
    if (node->children > node->end) node->children = node->end;
    return true;
}

bool FindChild(const std::uint8_t* data, const Node& parent, const std::string& key, Node* child) {
    std::size_t offset = parent.children;
    while (ReadNode(data, offset, parent.end, child)) {
        if (strcasecmp(child->key, key.c_str()) == 0) return true;
        offset = Align4(child->end);
    }
    return false;
}

}  // namespace

std::size_t CxVersionBlockSize(const CxVersionResource& resource) {
    return Serialize(resource).size();
}

std::size_t CxWriteVersionBlock(const CxVersionResource& resource, void* block,
                                std::size_t capacity) {
    if (block == nullptr || capacity < kHeaderSize) return 0;
    std::vector<std::uint8_t> bytes = Serialize(resource);
    std::size_t size = bytes.size() < capacity ? bytes.size() : capacity;
    // A cut block says how much of it is there, so that queries stop at its end.
    std::uint32_t valid = static_cast<std::uint32_t>(size);
    std::memcpy(bytes.data() + 4, &valid, 4);
    std::memcpy(block, bytes.data(), size);
    return size;
}

BOOL VerQueryValueA(LPCVOID block, LPCSTR sub_block, LPVOID* buffer, PUINT length) {
    if (block == nullptr || sub_block == nullptr || buffer == nullptr || length == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const auto* data = static_cast<const std::uint8_t*>(block);
    if (Le32At(data) != kBlockMagic) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::size_t valid = Le32At(data + 4);
    Node node;
    if (!ReadNode(data, kHeaderSize, valid, &node)) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return FALSE;
    }
    bool at_root = true;
    const char* at = sub_block;
    while (*at != '\0') {
        if (*at == '\\') {
            ++at;
            continue;
        }
        const char* end = std::strchr(at, '\\');
        std::string key = end != nullptr ? std::string(at, end) : std::string(at);
        at += key.size();
        Node child;
        if (!FindChild(data, node, key, &child)) {
            SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
            return FALSE;
        }
        node = child;
        at_root = false;
    }
    // The root without a fixed part answers nothing, as a resource without one does.
    if (at_root && node.value_length == 0) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return FALSE;
    }
    *buffer = const_cast<std::uint8_t*>(data + node.value);
    *length = static_cast<UINT>(node.value_length);
    return TRUE;
}
