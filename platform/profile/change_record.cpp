// The record of a profile file's unwritten changes and the merge onto a fresh read.
#include "profile/change_record.h"

#include <utility>

namespace cx::platform {

bool WouldChange(const IniDocument& document, const ProfileChange& change) {
    switch (change.kind) {
        case ProfileChange::Kind::kSet: {
            const std::string* value = document.Find(change.section, change.key);
            return value == nullptr || *value != change.value;
        }
        case ProfileChange::Kind::kDeleteKey:
            return document.Find(change.section, change.key) != nullptr;
        case ProfileChange::Kind::kDeleteSection: return document.HasSection(change.section);
    }
    return false;
}

bool ApplyChange(IniDocument& document, const ProfileChange& change) {
    switch (change.kind) {
        case ProfileChange::Kind::kSet:
            return document.Set(change.section, change.key, change.value);
        case ProfileChange::Kind::kDeleteKey: return document.DeleteKey(change.section, change.key);
        case ProfileChange::Kind::kDeleteSection: return document.DeleteSection(change.section);
    }
    return false;
}

void ChangeRecord::Add(ProfileChange change, Clock::time_point made) {
    ++last_;
    if (kept_.size() >= most_kept_) {
        kept_.clear();
        lost_ = true;
    }
    if (!lost_) kept_.push_back(Entry{std::move(change), last_, made});
}

void ChangeRecord::Written(Sequence sequence) {
    written_ = sequence;
    while (!kept_.empty() && kept_.front().sequence <= sequence) {
        kept_.pop_front();
    }
    if (last_ == sequence) lost_ = false;
}

void ChangeRecord::Discard() {
    kept_.clear();
    written_ = last_;
    lost_ = false;
}

std::optional<ChangeRecord::Clock::time_point> ChangeRecord::OldestKept() const {
    if (kept_.empty()) return std::nullopt;
    return kept_.front().made;
}

bool ChangeRecord::MergeInto(IniDocument& fresh) const {
    if (Dirty() && lost_) return false;
    for (const Entry& entry : kept_) {
        ApplyChange(fresh, entry.change);
    }
    return true;
}

}  // namespace cx::platform
