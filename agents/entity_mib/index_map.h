// Stable entPhysicalIndex values: a map from an entity's identity text to its index, kept in a
// state file beside the inventory. An index, once given, is never given to another identity:
// the next free index only grows, also across restarts, and an identity that leaves the table
// takes its index with it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace cx::entity {

class IndexMap {
  public:
    // The largest index ENTITY-MIB allows.
    static constexpr std::int64_t kMaxIndex = 2147483647;

    // Reads the state file; a missing file is an empty map, unreadable lines are skipped and
    // reported in `problems`.
    void Load(const std::string& path, std::vector<std::string>* problems);
    // Writes the map through a temporary file renamed over the old one; false when that fails.
    bool Save(const std::string& path) const;

    // The indexes of `identities` (in their order): kept where known, new ones for the rest.
    // Identities not in the list are dropped. 0 where the index space is used up.
    std::vector<std::int32_t> Assign(const std::vector<std::string>& identities);

    std::int64_t next() const { return next_; }
    std::size_t size() const { return indexes_.size(); }

  private:
    std::map<std::string, std::int32_t> indexes_;
    std::int64_t next_ = 1;
};

}  // namespace cx::entity
