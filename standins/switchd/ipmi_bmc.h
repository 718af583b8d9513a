// The management controller as a source of the machine's description: what one whole read of
// it asks (device ID, SDR repository, fan and power supply sensors, FRU inventories) and how
// its event log tells of hardware that came or went. The controller is reached through an
// IpmiTransport, so that tests replay recorded answers; ipmi_session.h has the real one.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "ipmi_records.h"
#include "machine_info.h"

namespace cx::switchd {

struct IpmiResponse {
    std::uint8_t completion = 0;  // 00h: done
    std::string data;             // after the completion code
};

class IpmiTransport {
  public:
    virtual ~IpmiTransport() = default;
    // One request to the controller; nullopt when it did not answer in time (the session is
    // then given up).
    virtual std::optional<IpmiResponse> Send(std::uint8_t lun, std::uint8_t net_fn,
                                             std::uint8_t command, std::string_view data) = 0;
};

using IpmiClock = std::chrono::steady_clock;

struct BmcReading {
    MachineInfo info;       // management, sdr, fans; power supplies, boards, system and chassis
                            // from the FRU inventories
    bool complete = false;  // false: the controller stopped answering, or the time ran out
    std::string note;       // what was read, or where it stopped
};

// Reads the controller until `deadline`; a request it does not answer ends the read.
BmcReading ReadBmc(IpmiTransport& bmc, IpmiClock::time_point deadline);

// Where the controller's event log stood at the last look.
struct SelCursor {
    std::optional<SelInfo> info;
    std::uint16_t last_id = 0xFFFF;  // the newest entry seen; 0xFFFF: none
};

// Looks at the event log: true when entries were added since `cursor` and one of them tells of
// hardware that came or went, or when the log was cleared. The first look only sets the cursor.
// nullopt when the controller did not answer.
std::optional<bool> SelTellsOfChange(IpmiTransport& bmc, SelCursor* cursor);

}  // namespace cx::switchd
