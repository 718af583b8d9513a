// Scenario parsing and matching for cx-switchd.
#include "scenario.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>

namespace cx::switchd {
namespace {

class LineReader {
  public:
    explicit LineReader(std::string_view line) : line_(line) {}

    void SkipBlanks() {
        while (pos_ < line_.size() && (line_[pos_] == ' ' || line_[pos_] == '\t'))
            ++pos_;
    }
    bool AtEnd() {
        SkipBlanks();
        return pos_ == line_.size() || line_[pos_] == '#';
    }
    // A word ends at a blank or a comment.
    std::string_view Word() {
        SkipBlanks();
        std::size_t start = pos_;
        while (pos_ < line_.size() && line_[pos_] != ' ' && line_[pos_] != '\t' &&
               line_[pos_] != '#') {
            ++pos_;
        }
        return line_.substr(start, pos_ - start);
    }
    std::string_view PeekWord() {
        std::size_t saved = pos_;
        std::string_view word = Word();
        pos_ = saved;
        return word;
    }
    bool QuotedText(std::string* text, std::string* error);

  private:
    std::string_view line_;
    std::size_t pos_ = 0;
};

bool HexDigit(char c, int* value) {
    if (c >= '0' && c <= '9') {
        *value = c - '0';
    } else if (c >= 'a' && c <= 'f') {
        *value = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
        *value = c - 'A' + 10;
    } else {
        return false;
    }
    return true;
}

bool LineReader::QuotedText(std::string* text, std::string* error) {
    SkipBlanks();
    if (pos_ >= line_.size() || line_[pos_] != '"') {
        *error = "text needs a quoted string";
        return false;
    }
    ++pos_;
    while (pos_ < line_.size()) {
        char c = line_[pos_++];
        if (c == '"') return true;
        if (c != '\\') {
            text->push_back(c);
            continue;
        }
        if (pos_ >= line_.size()) break;
        char escaped = line_[pos_++];
        int high, low;
        switch (escaped) {
            case 'n': text->push_back('\n'); break;
            case 't': text->push_back('\t'); break;
            case 'r': text->push_back('\r'); break;
            case '0': text->push_back('\0'); break;
            case 'x':
                if (pos_ + 1 >= line_.size() || !HexDigit(line_[pos_], &high) ||
                    !HexDigit(line_[pos_ + 1], &low)) {
                    *error = "\\x needs two hexadecimal digits";
                    return false;
                }
                text->push_back(static_cast<char>(high * 16 + low));
                pos_ += 2;
                break;
            default: text->push_back(escaped); break;
        }
    }
    *error = "unterminated text";
    return false;
}

// Decimal or 0x hexadecimal, up to 32 bits.
bool ParseNumber(std::string_view word, std::uint32_t* value) {
    if (word.empty() || word.size() > 16) return false;
    int base = 10;
    if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
        base = 16;
        word.remove_prefix(2);
    }
    std::uint64_t result = 0;
    for (char c : word) {
        int digit;
        if (base == 10 && (c < '0' || c > '9')) return false;
        if (!HexDigit(c, &digit)) return false;
        result = result * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
        if (result > 0xFFFFFFFFu) return false;
    }
    *value = static_cast<std::uint32_t>(result);
    return true;
}

bool ParseByte(std::string_view word, std::string* out) {
    int high, low;
    if (word.size() != 2 || !HexDigit(word[0], &high) || !HexDigit(word[1], &low)) return false;
    out->push_back(static_cast<char>(high * 16 + low));
    return true;
}

void AppendLittleEndian(std::string* out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// "byte" needs a value that fits; a wider one is a mistake in the file, not a wish to truncate.
bool FitsIn(std::uint32_t value, int bytes) {
    return bytes == 4 || value < (std::uint32_t{1} << (8 * bytes));
}

bool ParseItems(LineReader& in, ReplySpec* reply, std::string* error) {
    while (!in.AtEnd()) {
        std::string_view item = in.Word();
        std::uint32_t value = 0;
        if (item == "text") {
            if (!in.QuotedText(&reply->data, error)) return false;
            reply->data.push_back('\0');
        } else if (item == "hex") {
            if (in.AtEnd()) {
                *error = "hex needs at least one byte";
                return false;
            }
            while (!in.AtEnd()) {
                std::string_view word = in.PeekWord();
                if (word.size() != 2 || !ParseByte(word, &reply->data)) break;
                in.Word();
            }
        } else if (item == "status" || item == "byte" || item == "word" || item == "dword" ||
                   item == "delay") {
            std::string_view word = in.Word();
            if (!ParseNumber(word, &value)) {
                *error = "bad number \"" + std::string(word) + "\" after " + std::string(item);
                return false;
            }
            if (item == "status") {
                reply->status = value;
            } else if (item == "delay") {
                if (value > kMaxDelayMs) {
                    *error = "delay over " + std::to_string(kMaxDelayMs) + " ms";
                    return false;
                }
                reply->delay_ms = value;
            } else {
                int bytes = item == "byte" ? 1 : item == "word" ? 2 : 4;
                if (!FitsIn(value, bytes)) {
                    *error = "value too large for " + std::string(item);
                    return false;
                }
                AppendLittleEndian(&reply->data, value, bytes);
            }
        } else {
            *error = "unknown item \"" + std::string(item) + "\"";
            return false;
        }
        if (reply->data.size() > kMaxReplyBytes) {
            *error = "reply data over " + std::to_string(kMaxReplyBytes) + " bytes";
            return false;
        }
    }
    return true;
}

bool ParseLine(std::string_view line, ScenarioRule* rule, std::string* error) {
    LineReader in(line);
    if (in.Word() != "reply") {
        *error = "a line must start with \"reply\"";
        return false;
    }
    for (auto& field : rule->fields) {
        std::string_view word = in.Word();
        std::uint32_t value;
        if (word == "*") {
            field.reset();
        } else if (ParseNumber(word, &value)) {
            field = value;
        } else {
            *error = "bad request field \"" + std::string(word) + "\"";
            return false;
        }
    }
    std::string_view word = in.Word();
    if (word == "data") {
        rule->data_prefix.emplace();
        while ((word = in.Word()) != ":") {
            if (!ParseByte(word, &*rule->data_prefix)) {
                *error =
                    word.empty() ? "missing \":\"" : "bad data byte \"" + std::string(word) + "\"";
                return false;
            }
        }
    }
    if (word != ":") {
        *error = "missing \":\"";
        return false;
    }
    ReplySpec reply;
    if (!ParseItems(in, &reply, error)) return false;
    rule->replies.push_back(std::move(reply));
    return true;
}

// The identity of a key as written, so that lines with the same key form one sequence.
std::string KeyOf(const ScenarioRule& rule) {
    std::string key;
    for (const auto& field : rule.fields) {
        key += field ? std::to_string(*field) : "*";
        key += ' ';
    }
    if (rule.data_prefix) key += "data:" + *rule.data_prefix;
    return key;
}

bool Matches(const ScenarioRule& rule, const RequestKey& request) {
    const std::uint32_t values[4] = {request.op_code, request.op_code_ext, request.object_id,
                                     request.cabinet_id};
    std::uint32_t mask = request.low_16_bits ? 0xFFFFu : 0xFFFFFFFFu;
    for (int i = 0; i < 4; ++i) {
        if (rule.fields[i] && (*rule.fields[i] & mask) != (values[i] & mask)) return false;
    }
    if (rule.data_prefix) {
        const std::string& prefix = *rule.data_prefix;
        if (request.data.size() < prefix.size() ||
            request.data.compare(0, prefix.size(), prefix) != 0) {
            return false;
        }
    }
    return true;
}

int Wildcards(const ScenarioRule& rule) {
    return static_cast<int>(std::count_if(std::begin(rule.fields), std::end(rule.fields),
                                          [](const auto& field) { return !field; }));
}

}  // namespace

bool ParseScenario(std::string_view text, Scenario* scenario, std::string* error) {
    Scenario parsed;
    std::map<std::string, std::size_t> rule_of_key;
    std::size_t line_number = 0;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (++line_number > kMaxScenarioLines) {
            *error = "more than " + std::to_string(kMaxScenarioLines) + " lines";
            return false;
        }
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (LineReader(line).AtEnd()) continue;
        ScenarioRule rule;
        rule.line = line_number;
        std::string what;
        if (!ParseLine(line, &rule, &what)) {
            *error = "line " + std::to_string(line_number) + ": " + what;
            return false;
        }
        auto [slot, inserted] = rule_of_key.try_emplace(KeyOf(rule), parsed.rules.size());
        if (inserted) {
            parsed.rules.push_back(std::move(rule));
        } else {
            parsed.rules[slot->second].replies.push_back(std::move(rule.replies.front()));
        }
    }
    *scenario = std::move(parsed);
    return true;
}

void ScenarioStore::Replace(Scenario scenario) {
    std::lock_guard guard(lock_);
    scenario_ = std::move(scenario);
    next_reply_.assign(scenario_.rules.size(), 0);
}

ReplySpec ScenarioStore::Answer(const RequestKey& request) {
    return Find(request).value_or(ReplySpec{kNoAnswerStatus, {}, 0});
}

std::optional<ReplySpec> ScenarioStore::Find(const RequestKey& request) {
    std::lock_guard guard(lock_);
    const ScenarioRule* best = nullptr;
    std::size_t best_index = 0;
    for (std::size_t i = 0; i < scenario_.rules.size(); ++i) {
        const ScenarioRule& rule = scenario_.rules[i];
        if (!Matches(rule, request)) continue;
        // Data beats no data, then fewer wildcards; the file order breaks ties.
        if (best == nullptr || (rule.data_prefix.has_value() && !best->data_prefix.has_value()) ||
            (rule.data_prefix.has_value() == best->data_prefix.has_value() &&
             Wildcards(rule) < Wildcards(*best))) {
            best = &rule;
            best_index = i;
        }
    }
    if (best == nullptr) return std::nullopt;
    std::size_t& next = next_reply_[best_index];
    const ReplySpec& reply = best->replies[next];
    if (next + 1 < best->replies.size()) ++next;
    return reply;
}

}  // namespace cx::switchd
