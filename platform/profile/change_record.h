// The changes of one profile file that are not on disk yet. Kept in order, so that when someone
// else changes the file the cache reads it again and applies them on top; pure (no files, no
// lock, no clock of its own), so the merge rules are tested on their own.
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <optional>
#include <string>

#include "profile/ini_document.h"

namespace cx::platform {

struct ProfileChange {
    enum class Kind { kSet, kDeleteKey, kDeleteSection };
    Kind kind = Kind::kSet;
    std::string section;
    std::string key;
    std::string value;
};

// Whether applying `change` would change `document` (a change that changes nothing never needs
// a writable file).
bool WouldChange(const IniDocument& document, const ProfileChange& change);
// Applies `change`; false when it changed nothing.
bool ApplyChange(IniDocument& document, const ProfileChange& change);

class ChangeRecord {
  public:
    using Clock = std::chrono::steady_clock;
    using Sequence = unsigned long long;

    // Beyond `most_kept` unwritten changes the record gives up: this process's content then
    // wins over a change made by someone else.
    explicit ChangeRecord(std::size_t most_kept = std::size_t{1} << 20) : most_kept_(most_kept) {}

    // A change just applied to the cached document, made at `made`.
    void Add(ProfileChange change, Clock::time_point made);
    // The file on disk now holds every change up to `sequence` (a Last() taken before the
    // write: changes made during it stay unwritten).
    void Written(Sequence sequence);
    // Unwritten changes are given up (the file cannot be read, so it is never written).
    void Discard();

    bool Dirty() const { return last_ != written_; }
    Sequence Last() const { return last_; }
    // When the oldest change still kept was made; none when every change is written or the
    // record gave up.
    std::optional<Clock::time_point> OldestKept() const;

    // Applies the unwritten changes to `fresh`, the file as it is now on disk. False when they
    // cannot be: the record gave up, and the cached document is to be kept instead.
    bool MergeInto(IniDocument& fresh) const;

  private:
    struct Entry {
        ProfileChange change;
        Sequence sequence;
        Clock::time_point made;
    };

    std::size_t most_kept_;
    std::deque<Entry> kept_;
    bool lost_ = false;
    Sequence last_ = 0;     // sequence number of the last change
    Sequence written_ = 0;  // the last change the file on disk holds
};

}  // namespace cx::platform
