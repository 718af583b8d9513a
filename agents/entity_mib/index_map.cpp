#include "index_map.h"

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>

#include "platform/files.h"

namespace cx::entity {
namespace {

constexpr char kNextKey[] = "next ";
constexpr char kScanKey[] = "scan ";
// Lines longer than this are not written by Save: the file has been tampered with.
constexpr std::size_t kMaxLine = 4096;
constexpr std::size_t kMaxEntries = 1u << 20;

// Identities are one line each: backslash, tab, CR and LF are escaped.
std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            default: out += c;
        }
    }
    return out;
}

bool Unescape(const std::string& text, std::string* out) {
    out->clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            *out += text[i];
            continue;
        }
        if (++i == text.size()) return false;
        switch (text[i]) {
            case '\\': *out += '\\'; break;
            case 't': *out += '\t'; break;
            case 'n': *out += '\n'; break;
            case 'r': *out += '\r'; break;
            default: return false;
        }
    }
    return true;
}

// "<scans missed> <since>" of an identity that is missing.
bool ParseMissing(const std::string& text, std::uint32_t* missed, std::int64_t* since) {
    unsigned long long count = 0;
    long long time = 0;
    char end = 0;
    if (std::sscanf(text.c_str(), "%llu %lld%c", &count, &time, &end) != 2 || count == 0 ||
        count > 0xFFFFFFFFull)
        return false;
    *missed = static_cast<std::uint32_t>(count);
    *since = time;
    return true;
}

// The one place the state file is written: whole, never through a link planted beside it.
bool WriteIndexFile(const std::string& path, const std::string& text) {
    if (text.size() > 0xFFFFFFFFu) return false;
    return CxWriteWholeFile(path.c_str(), text.data(), static_cast<DWORD>(text.size())) != FALSE;
}

bool ParseIndex(const std::string& text, std::int64_t* value) {
    if (text.empty() || text.size() > 10) return false;
    std::int64_t number = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        number = number * 10 + (c - '0');
    }
    *value = number;
    return true;
}

}  // namespace

void IndexMap::Load(const std::string& path, std::vector<std::string>* problems) {
    entries_.clear();
    next_ = 1;
    last_scan_.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in) return;
    std::set<std::int32_t> used;
    std::string line;
    std::size_t number = 0;
    auto problem = [&](const char* what) {
        if (problems != nullptr)
            problems->push_back(path + " line " + std::to_string(number) + ": " + what);
    };
    while (std::getline(in, line)) {
        ++number;
        if (line.size() > kMaxLine) {
            problem("too long, skipped");
            continue;
        }
        std::int64_t index = 0;
        if (line.rfind(kNextKey, 0) == 0) {
            if (ParseIndex(line.substr(sizeof(kNextKey) - 1), &index))
                next_ = std::max(next_, std::min(index, kMaxIndex + 1));
            else
                problem("unreadable next index, skipped");
            continue;
        }
        if (line.rfind(kScanKey, 0) == 0) {
            if (!Unescape(line.substr(sizeof(kScanKey) - 1), &last_scan_))
                problem("unreadable scan, skipped");
            continue;
        }
        // index TAB identity [TAB missed since]; an escaped identity holds no tab.
        const std::size_t tab = line.find('\t');
        const std::size_t second = tab == std::string::npos ? tab : line.find('\t', tab + 1);
        Entry entry;
        std::string identity;
        if (tab == std::string::npos || !ParseIndex(line.substr(0, tab), &index) || index < 1 ||
            index > kMaxIndex || !Unescape(line.substr(tab + 1, second - tab - 1), &identity) ||
            (second != std::string::npos &&
             !ParseMissing(line.substr(second + 1), &entry.missed, &entry.missing_since))) {
            problem("unreadable, skipped");
            continue;
        }
        entry.index = static_cast<std::int32_t>(index);
        if (used.count(entry.index) != 0 || entries_.count(identity) != 0) {
            problem("index or identity given twice, skipped");
            continue;
        }
        if (entries_.size() == kMaxEntries) {
            problem("too many entries, the rest skipped");
            break;
        }
        used.insert(entry.index);
        entries_[identity] = entry;
        next_ = std::max(next_, index + 1);
    }
}

std::string IndexMap::Text() const {
    std::string text = kNextKey + std::to_string(next_) + "\n";
    if (!last_scan_.empty()) text += kScanKey + Escape(last_scan_) + "\n";
    for (const auto& [identity, entry] : entries_) {
        text += std::to_string(entry.index) + "\t" + Escape(identity);
        if (entry.missed != 0)
            text += "\t" + std::to_string(entry.missed) + " " + std::to_string(entry.missing_since);
        text += "\n";
    }
    return text;
}

bool IndexMap::Save(const std::string& path) const { return WriteIndexFile(path, Text()); }

bool IndexMap::Retired(Entry& entry, std::int64_t now) const {
    if (entry.missed++ == 0 || now < entry.missing_since) entry.missing_since = now;
    return entry.missed >= grace_.scans && now - entry.missing_since >= grace_.seconds;
}

std::vector<std::int32_t> IndexMap::Assign(const std::vector<std::string>& identities,
                                           const std::string& scan, std::int64_t now) {
    std::vector<std::int32_t> result;
    if (identities.empty()) return result;
    const bool new_scan = scan.empty() || scan != last_scan_;
    last_scan_ = scan;
    std::map<std::string, Entry> kept;
    result.reserve(identities.size());
    for (const std::string& identity : identities) {
        Entry entry;
        if (auto found = kept.find(identity); found != kept.end()) {
            entry = found->second;  // the caller gives each identity once; stay safe anyway
        } else if (auto known = entries_.find(identity); known != entries_.end()) {
            entry.index = known->second.index;
        } else if (next_ <= kMaxIndex) {
            entry.index = static_cast<std::int32_t>(next_++);
        }
        if (entry.index != 0) kept.emplace(identity, entry);
        result.push_back(entry.index);
    }
    for (auto& [identity, entry] : entries_) {
        if (kept.count(identity) != 0 || (new_scan && Retired(entry, now))) continue;
        kept.emplace(identity, entry);
    }
    entries_ = std::move(kept);
    return result;
}

}  // namespace cx::entity
