// Scenario files of cx-switchd: which reply each request gets. The parser takes text, so tests
// and the fuzz target feed it directly; see docs/platform/com.md and the design's scenario
// format.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "clients/cmd_frame.h"

namespace cx::switchd {

// The request fields a scenario line matches on.
struct RequestKey {
    std::uint32_t op_code = 0;
    std::uint32_t op_code_ext = 0;
    std::uint32_t object_id = 0;
    std::uint32_t cabinet_id = 0;
    std::string data;
    bool low_16_bits = false;  // the request came through a 16-bit method
};

struct ReplySpec {
    std::uint32_t status = 0;
    std::string data;
    std::uint32_t delay_ms = 0;
};

// One key of the file with its replies in order of the lines.
struct ScenarioRule {
    std::optional<std::uint32_t> fields[4];  // nullopt: "*"
    std::optional<std::string> data_prefix;
    std::vector<ReplySpec> replies;
    std::size_t line = 0;  // first line, for the order of preference
};

struct Scenario {
    std::vector<ScenarioRule> rules;
};

// The longest reply data and the longest delay a line may ask for.
constexpr std::size_t kMaxReplyBytes = 65536;
constexpr std::uint32_t kMaxDelayMs = 600000;
constexpr std::size_t kMaxScenarioLines = 100000;

// Parses a whole file. On error returns false with "line N: what" in *error.
bool ParseScenario(std::string_view text, Scenario* scenario, std::string* error);

// The loaded scenario with its position in each sequence of replies; shared by every
// connection, replaced as a whole on reload.
class ScenarioStore {
  public:
    void Replace(Scenario scenario);
    // The reply for a request: the best matching rule's next reply, or status 0x01 without
    // data when nothing matches.
    ReplySpec Answer(const RequestKey& request);
    // The best matching rule's next reply; nullopt when no rule matches.
    std::optional<ReplySpec> Find(const RequestKey& request);

  private:
    std::mutex lock_;
    Scenario scenario_;
    std::vector<std::size_t> next_reply_;
};

// The reply of a request that no scenario rule matches.
constexpr std::uint32_t kNoAnswerStatus = CMD_STATUS_NOT_AVAILABLE;

}  // namespace cx::switchd
