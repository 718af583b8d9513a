// The UPS server (NUT's upsd) as a source of the machine's description: every UPS it lists,
// named by its variables. The decoding takes the variables as the server gave them; the reader
// asks through NUT's client library.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "machine_info.h"

namespace cx::switchd {

struct NutTarget {
    std::string host = "localhost";
    std::uint16_t port = 3493;
    // Named on the command line: a server that does not answer is a failure, not an absence.
    bool required = false;
};

// "host", "host:port" or "[v6]:port" into *target; false for a malformed text.
bool ParseNutTarget(const std::string& text, NutTarget* target);

// "2021-05-17 00:00:00" from mm/dd/yy (as the agent converts the firmware's dates: a year
// below 71 is 20yy), mm/dd/yyyy, yyyy/mm/dd or yyyy-mm-dd; the text as it is otherwise.
std::string ConvertUpsDate(std::string_view text);

// A UPS from its variables: ups.* before device.*, the date from ups.mfr.date, else
// battery.date.
UpsInfo UpsFromVariables(const std::string& id, const std::string& description,
                         const std::map<std::string, std::string>& variables);

struct NutReading {
    enum class State { kAbsent, kRead, kFailed } state = State::kAbsent;
    std::vector<UpsInfo> ups;
    std::string note;
};

// Reads every UPS the server lists (bounded in number, variables and time).
NutReading ReadNut(const NutTarget& target);

}  // namespace cx::switchd
