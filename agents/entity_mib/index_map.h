// Stable entPhysicalIndex values: a map from an entity's identity text to its index, kept in a
// state file beside the inventory. An index, once given, is never given to another identity:
// the next free index only grows, also across restarts. An identity missing from an inventory
// keeps its index for a grace period, so that a part that is back after a scan that could not
// see it (or after a restart without the inventory) is the same entity again for a manager.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace cx::entity {

// An index is retired once its identity has been missing from `scans` scans in a row and for
// at least `seconds`; 0 leaves that condition out.
struct GracePeriod {
    std::uint32_t scans = 3;
    std::int64_t seconds = 24 * 3600;
};

class IndexMap {
  public:
    // The largest index ENTITY-MIB allows.
    static constexpr std::int64_t kMaxIndex = 2147483647;

    // Reads the state file; a missing file is an empty map, unreadable lines are skipped and
    // reported in `problems`.
    void Load(const std::string& path, std::vector<std::string>* problems);
    // Writes the map; false when that fails.
    bool Save(const std::string& path) const;
    // The state file's text.
    std::string Text() const;

    void SetGrace(GracePeriod grace) { grace_ = grace; }

    // The indexes of `identities` (in their order): kept where known, new ones for the rest;
    // 0 where the index space is used up. `scan` names the scan the identities come from (the
    // saved file's "LastScan"): identities missing from it count one absence each, unless the
    // same scan was counted before (a restart reads the same file again). `now` is the time
    // in seconds. An empty list is no inventory and changes nothing.
    std::vector<std::int32_t> Assign(const std::vector<std::string>& identities,
                                     const std::string& scan, std::int64_t now);

    std::int64_t next() const { return next_; }
    std::size_t size() const { return entries_.size(); }

  private:
    struct Entry {
        std::int32_t index = 0;
        std::uint32_t missed = 0;        // scans in a row without the identity
        std::int64_t missing_since = 0;  // when the first of them was counted
    };
    // Whether an identity missing from one more scan, at `now`, has used up its grace.
    bool Retired(Entry& entry, std::int64_t now) const;

    std::map<std::string, Entry> entries_;
    std::int64_t next_ = 1;
    std::string last_scan_;
    GracePeriod grace_;
};

}  // namespace cx::entity
