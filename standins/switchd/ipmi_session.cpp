// libfreeipmi sessions: raw requests, so that every answer goes through the decoders.
#include "ipmi_session.h"

#include <freeipmi/freeipmi.h>

#include <map>
#include <mutex>

namespace cx::switchd {
namespace {

// Every read is a user's: device ID, repository, sensors, FRU data and the event log.
constexpr std::uint8_t kPrivilege = IPMI_PRIVILEGE_LEVEL_USER;
// HMAC-SHA1 authentication and integrity, AES-CBC-128 confidentiality: what every IPMI 2.0
// controller offers.
constexpr std::uint8_t kCipherSuite = 3;
constexpr unsigned kRetransmissionMs = 500;
// An answer is at most the IPMI message size.
constexpr unsigned kMaxResponseBytes = 1024;

// The workarounds a controller needed to open a session, by host: the next session opens with
// them at once, since every refused attempt may hold one of the controller's few sessions until
// it times out.
std::mutex g_workarounds_lock;
std::map<std::string, unsigned> g_workarounds;

}  // namespace

struct IpmiSession::Context {
    ipmi_ctx_t ctx = nullptr;
    ~Context() {
        if (ctx == nullptr) return;
        ipmi_ctx_close(ctx);
        ipmi_ctx_destroy(ctx);
    }
};

IpmiSession::IpmiSession(std::unique_ptr<Context> context) : context_(std::move(context)) {}
IpmiSession::~IpmiSession() = default;

std::unique_ptr<IpmiSession> IpmiSession::Open(const IpmiOptions& options, std::string* error) {
    auto context = std::make_unique<Context>();
    context->ctx = ipmi_ctx_create();
    if (context->ctx == nullptr) {
        *error = "no memory for an IPMI context";
        return nullptr;
    }
    ipmi_ctx_t ctx = context->ctx;
    int opened = -1;
    if (options.lan_host.empty()) {
        opened =
            ipmi_ctx_open_inband(ctx, IPMI_DEVICE_OPENIPMI, 0, 0, 0, options.device.c_str(), 0, 0);
    } else {
        auto open = [&](unsigned workarounds) {
            return ipmi_ctx_open_outofband_2_0(ctx, options.lan_host.c_str(), options.user.c_str(),
                                               options.password.c_str(), nullptr, 0, kPrivilege,
                                               kCipherSuite, kIpmiRequestTimeoutMs,
                                               kRetransmissionMs, workarounds, 0);
        };
        unsigned workarounds = 0;
        {
            std::lock_guard guard(g_workarounds_lock);
            workarounds = g_workarounds[options.lan_host];
        }
        opened = open(workarounds);
        // Some controllers hash the session keys with the privilege of the open-session
        // request; libfreeipmi knows the quirk by name.
        constexpr unsigned kPrivilegeQuirk =
            IPMI_WORKAROUND_FLAGS_OUTOFBAND_2_0_OPEN_SESSION_PRIVILEGE;
        if (opened < 0 && workarounds == 0 &&
            ipmi_ctx_errnum(ctx) == IPMI_ERR_PRIVILEGE_LEVEL_CANNOT_BE_OBTAINED) {
            opened = open(kPrivilegeQuirk);
            if (opened == 0) {
                std::lock_guard guard(g_workarounds_lock);
                g_workarounds[options.lan_host] = kPrivilegeQuirk;
            }
        }
    }
    if (opened < 0) {
        *error = ipmi_ctx_errormsg(ctx);
        return nullptr;
    }
    return std::unique_ptr<IpmiSession>(new IpmiSession(std::move(context)));
}

std::optional<IpmiResponse> IpmiSession::Send(std::uint8_t lun, std::uint8_t net_fn,
                                              std::uint8_t command, std::string_view data) {
    std::string request(1, static_cast<char>(command));
    request.append(data);
    std::uint8_t response[kMaxResponseBytes];
    const int length =
        ipmi_cmd_raw(context_->ctx, lun, net_fn, request.data(),
                     static_cast<unsigned>(request.size()), response, sizeof(response));
    // The command byte and the completion code come first.
    if (length < 2 || response[0] != command) return std::nullopt;
    return IpmiResponse{response[1], std::string(reinterpret_cast<const char*>(response) + 2,
                                                 static_cast<std::size_t>(length) - 2)};
}

}  // namespace cx::switchd
