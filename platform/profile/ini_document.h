// The parsed form of one INI file: sections and key lines in file order, with case-insensitive
// indexes so that a lookup or a change costs the same whatever the file's size. Parsing never
// fails: a line that is neither a section header nor a key line is kept as it stands.
#pragma once

#include <functional>
#include <list>
#include <string>
#include <string_view>
#include <unordered_map>

namespace cx::platform {

// ASCII letters compared without regard to case, as the profile functions compare names.
struct NameHash {
    using is_transparent = void;
    size_t operator()(std::string_view name) const;
};
struct NameEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
};

// Blanks that surround names and values: space, tab, vertical tab, form feed.
std::string_view TrimBlanks(std::string_view text);

class IniDocument {
  public:
    IniDocument() = default;
    explicit IniDocument(std::string_view bytes);
    // Indexes point into the lines, so a document is neither copied nor moved.
    IniDocument(const IniDocument&) = delete;
    IniDocument& operator=(const IniDocument&) = delete;

    // The file text: CRLF after every line, the UTF-8 mark first when the file had one.
    std::string Serialize() const;

    // The value of `key` in the first section called `section`, or nullptr.
    const std::string* Find(std::string_view section, std::string_view key) const;
    bool HasSection(std::string_view section) const { return FindSection(section) != nullptr; }
    // Visit names in file order, each name once (first spelling); a visitor returns false to
    // stop. False when the section does not exist.
    void VisitSectionNames(const std::function<bool(std::string_view)>& visit) const;
    bool VisitKeyNames(std::string_view section,
                       const std::function<bool(std::string_view)>& visit) const;

    // Changes; each returns whether the document changed. Names must be trimmed and valid
    // (the profile functions check them). A new key goes after the last line of its section
    // that is not blank; a new section goes to the end of the file.
    bool Set(std::string_view section, std::string_view key, std::string_view value);
    bool DeleteKey(std::string_view section, std::string_view key);
    bool DeleteSection(std::string_view section);

  private:
    struct Line {
        std::string text;   // the key name, or the whole line when it is not a key line
        std::string value;  // key lines only
        bool is_key = false;
        bool shadowed = false;  // a later duplicate of a key: kept in the file, never found
    };
    struct Section {
        std::string header;  // the header line as it stands in the file
        std::string name;
        std::list<Line> lines;
        std::unordered_map<std::string_view, std::list<Line>::iterator, NameHash, NameEqual> keys;
        bool shadowed = false;  // a later duplicate of a section name
    };

    void ParseLine(std::string_view line);
    Section& AppendSection(std::string header, std::string_view name);
    void AppendKey(Section& section, std::string_view key, std::string_view value);
    Section* FindSection(std::string_view name);
    const Section* FindSection(std::string_view name) const;

    bool has_bom_ = false;
    std::list<Section> sections_;  // the first one holds the lines before any header
    std::unordered_map<std::string_view, std::list<Section>::iterator, NameHash, NameEqual> index_;
    size_t text_size_hint_ = 0;
};

}  // namespace cx::platform
