#include "index_map.h"

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>

#include "platform/files.h"

namespace cx::entity {
namespace {

constexpr char kNextKey[] = "next ";
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
    indexes_.clear();
    next_ = 1;
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
        const std::size_t tab = line.find('\t');
        std::string identity;
        if (tab == std::string::npos || !ParseIndex(line.substr(0, tab), &index) || index < 1 ||
            index > kMaxIndex || !Unescape(line.substr(tab + 1), &identity)) {
            problem("unreadable, skipped");
            continue;
        }
        const auto value = static_cast<std::int32_t>(index);
        if (used.count(value) != 0 || indexes_.count(identity) != 0) {
            problem("index or identity given twice, skipped");
            continue;
        }
        if (indexes_.size() == kMaxEntries) {
            problem("too many entries, the rest skipped");
            break;
        }
        used.insert(value);
        indexes_[identity] = value;
        next_ = std::max(next_, index + 1);
    }
}

bool IndexMap::Save(const std::string& path) const {
    std::ostringstream out;
    out << kNextKey << next_ << '\n';
    for (const auto& [identity, index] : indexes_)
        out << index << '\t' << Escape(identity) << '\n';
    const std::string text = out.str();
    if (text.size() > 0xFFFFFFFFu) return false;
    return CxWriteWholeFile(path.c_str(), text.data(), static_cast<DWORD>(text.size())) != FALSE;
}

std::vector<std::int32_t> IndexMap::Assign(const std::vector<std::string>& identities) {
    std::map<std::string, std::int32_t> kept;
    std::vector<std::int32_t> result;
    result.reserve(identities.size());
    for (const std::string& identity : identities) {
        std::int32_t index = 0;
        if (auto found = kept.find(identity); found != kept.end()) {
            index = found->second;  // the caller gives each identity once; stay safe anyway
        } else if (auto known = indexes_.find(identity); known != indexes_.end()) {
            index = known->second;
        } else if (next_ <= kMaxIndex) {
            index = static_cast<std::int32_t>(next_++);
        }
        if (index != 0) kept.emplace(identity, index);
        result.push_back(index);
    }
    indexes_ = std::move(kept);
    return result;
}

}  // namespace cx::entity
