// A session with a management controller through libfreeipmi: in-band through the kernel's
// IPMI device, or over the network with RMCP+ (IPMI 2.0 LAN).
#pragma once

#include <memory>
#include <string>

#include "ipmi_bmc.h"

namespace cx::switchd {

struct IpmiOptions {
    std::string lan_host;  // "host[:port]"; empty: in-band
    std::string user;
    std::string password;
    std::string device;  // the kernel's device for in-band requests
};

// The controller's answer to one request must come within this time (the LAN session's
// timeout; in-band the kernel driver's own bounds apply).
constexpr int kIpmiRequestTimeoutMs = 5000;

class IpmiSession : public IpmiTransport {
  public:
    // Opens the session; nullptr with the reason in *error when the controller cannot be
    // reached or refuses the login.
    static std::unique_ptr<IpmiSession> Open(const IpmiOptions& options, std::string* error);
    ~IpmiSession() override;

    std::optional<IpmiResponse> Send(std::uint8_t lun, std::uint8_t net_fn, std::uint8_t command,
                                     std::string_view data) override;

  private:
    struct Context;
    explicit IpmiSession(std::unique_ptr<Context> context);
    std::unique_ptr<Context> context_;
};

}  // namespace cx::switchd
