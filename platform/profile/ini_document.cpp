// IniDocument: parsing, lookups, changes and the file text.
#include "profile/ini_document.h"

#include <iterator>

#include "platform/ascii_case.h"

namespace cx::platform {
namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kBlanks = " \t\v\f";

bool IsBlankLine(std::string_view text) { return TrimBlanks(text).empty(); }

}  // namespace

size_t NameHash::operator()(std::string_view name) const {
    size_t hash = 14695981039346656037ULL;  // FNV-1a over the lower-case letters
    for (char c : name) {
        hash ^= static_cast<unsigned char>(AsciiLower(c));
        hash *= 1099511628211ULL;
    }
    return hash;
}

bool NameEqual::operator()(std::string_view a, std::string_view b) const {
    return EqualsIgnoringCase(a, b);
}

std::string_view TrimBlanks(std::string_view text) {
    size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    size_t last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

IniDocument::IniDocument(std::string_view bytes) {
    sections_.emplace_back();  // the lines before the first header
    if (bytes.substr(0, kUtf8Mark.size()) == kUtf8Mark) {
        has_bom_ = true;
        bytes.remove_prefix(kUtf8Mark.size());
    }
    text_size_hint_ = bytes.size();
    // CR, LF, CRLF and NUL all end a line: files come from editors of every kind, and NUL
    // cannot be part of a name or value anyway.
    while (!bytes.empty()) {
        size_t end = bytes.find_first_of(std::string_view("\r\n\0", 3));
        if (end == std::string_view::npos) end = bytes.size();
        ParseLine(bytes.substr(0, end));
        size_t next = end + 1;
        if (end + 1 < bytes.size() && bytes[end] == '\r' && bytes[end + 1] == '\n') ++next;
        bytes.remove_prefix(std::min(next, bytes.size()));
    }
}

void IniDocument::ParseLine(std::string_view line) {
    std::string_view content = TrimBlanks(line);
    if (!content.empty() && content.front() == '[') {
        size_t close = content.rfind(']');
        if (close != std::string_view::npos) {
            AppendSection(std::string(line), TrimBlanks(content.substr(1, close - 1)));
            return;
        }
    }
    Section& section = sections_.back();
    size_t equals = content.find('=');
    bool is_key = &section != &sections_.front() && equals != std::string_view::npos &&
                  content.front() != ';' && content.front() != '[' &&
                  !TrimBlanks(content.substr(0, equals)).empty();
    if (!is_key) {
        section.lines.push_back(Line{std::string(line), {}, false, false});
        return;
    }
    AppendKey(section, TrimBlanks(content.substr(0, equals)),
              TrimBlanks(content.substr(equals + 1)));
}

IniDocument::Section& IniDocument::AppendSection(std::string header, std::string_view name) {
    Section& section = sections_.emplace_back();
    section.header = std::move(header);
    section.name = std::string(name);
    // An empty name cannot be asked for; later sections of an existing name stay invisible.
    section.shadowed =
        section.name.empty() || !index_.emplace(section.name, std::prev(sections_.end())).second;
    return section;
}

void IniDocument::AppendKey(Section& section, std::string_view key, std::string_view value) {
    // A new key goes after the last line that is not blank, so that blank lines keep
    // separating this section from the next.
    auto position = section.lines.end();
    while (position != section.lines.begin() && !std::prev(position)->is_key &&
           IsBlankLine(std::prev(position)->text)) {
        --position;
    }
    auto line = section.lines.insert(position, Line{std::string(key), std::string(value), true});
    line->shadowed = !section.keys.emplace(line->text, line).second;
}

IniDocument::Section* IniDocument::FindSection(std::string_view name) {
    auto found = index_.find(name);
    return found == index_.end() ? nullptr : &*found->second;
}

const IniDocument::Section* IniDocument::FindSection(std::string_view name) const {
    auto found = index_.find(name);
    return found == index_.end() ? nullptr : &*found->second;
}

std::string IniDocument::Serialize() const {
    std::string text;
    text.reserve(text_size_hint_ + text_size_hint_ / 8 + 64);
    if (has_bom_) text += kUtf8Mark;
    for (const Section& section : sections_) {
        if (&section != &sections_.front()) text.append(section.header).append("\r\n");
        for (const Line& line : section.lines) {
            text += line.text;
            if (line.is_key) text.append("=").append(line.value);
            text += "\r\n";
        }
    }
    return text;
}

const std::string* IniDocument::Find(std::string_view section, std::string_view key) const {
    const Section* found = FindSection(section);
    if (found == nullptr) return nullptr;
    auto line = found->keys.find(key);
    return line == found->keys.end() ? nullptr : &line->second->value;
}

void IniDocument::VisitSectionNames(const std::function<bool(std::string_view)>& visit) const {
    for (const Section& section : sections_) {
        if (&section == &sections_.front() || section.shadowed) continue;
        if (!visit(section.name)) return;
    }
}

bool IniDocument::VisitKeyNames(std::string_view section,
                                const std::function<bool(std::string_view)>& visit) const {
    const Section* found = FindSection(section);
    if (found == nullptr) return false;
    for (const Line& line : found->lines) {
        if (line.is_key && !line.shadowed && !visit(line.text)) break;
    }
    return true;
}

bool IniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
    Section* target = FindSection(section);
    if (target == nullptr) {
        target = &AppendSection("[" + std::string(section) + "]", section);
    }
    auto line = target->keys.find(key);
    if (line != target->keys.end()) {
        if (line->second->value == value) return false;
        line->second->value = std::string(value);
    } else {
        AppendKey(*target, key, value);
    }
    text_size_hint_ += key.size() + value.size() + 3;
    return true;
}

bool IniDocument::DeleteKey(std::string_view section, std::string_view key) {
    Section* target = FindSection(section);
    if (target == nullptr || target->keys.erase(key) == 0) return false;
    // Duplicates go with the key, so that a deleted key is really gone.
    NameEqual same;
    target->lines.remove_if([&](const Line& line) { return line.is_key && same(line.text, key); });
    return true;
}

bool IniDocument::DeleteSection(std::string_view section) {
    if (index_.erase(section) == 0) return false;
    NameEqual same;
    for (auto it = std::next(sections_.begin()); it != sections_.end();) {
        it = same(it->name, section) ? sections_.erase(it) : std::next(it);
    }
    return true;
}

}  // namespace cx::platform
