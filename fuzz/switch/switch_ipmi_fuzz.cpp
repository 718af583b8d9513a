// cx-switchd's decoders of what a management controller answers, on hostile bytes. The first
// byte picks the decoder: FRU image, SDR record, one of the short answers, or the rest cut into
// records and replayed as a whole controller read (a fake that answers from the input).
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "ipmi_bmc.h"
#include "ipmi_records.h"

namespace {

// Answers every request with the next piece of the input: a completion code, a length byte
// and that many data bytes; no answer at the input's end.
class ReplayedBmc : public cx::switchd::IpmiTransport {
  public:
    explicit ReplayedBmc(std::string_view input) : input_(input) {}
    std::optional<cx::switchd::IpmiResponse> Send(std::uint8_t, std::uint8_t, std::uint8_t,
                                                  std::string_view) override {
        if (input_.size() < 2) return std::nullopt;
        const std::size_t length =
            std::min<std::size_t>(static_cast<std::uint8_t>(input_[1]), input_.size() - 2);
        cx::switchd::IpmiResponse response{static_cast<std::uint8_t>(input_[0]),
                                           std::string(input_.substr(2, length))};
        input_.remove_prefix(2 + length);
        return response;
    }

  private:
    std::string_view input_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (data[0] % 4) {
        case 0:
            if (auto fru = cx::switchd::DecodeFru(input)) {
                // Texts come out cleaned: no control bytes.
                for (char c : fru->board ? fru->board->maker : std::string())
                    if (static_cast<unsigned char>(c) < 0x20) __builtin_trap();
            }
            break;
        case 1:
            if (auto record = cx::switchd::DecodeSdrRecord(input)) {
                if (record->name.size() > 16) __builtin_trap();
            }
            break;
        case 2: {
            std::uint16_t next = 0;
            cx::switchd::DecodeDeviceId(input);
            cx::switchd::DecodeSdrRepository(input);
            cx::switchd::DecodeSensorReading(input);
            cx::switchd::DecodeSelInfo(input);
            if (auto event = cx::switchd::DecodeSelEntry(input, &next))
                cx::switchd::IsHardwareChange(*event);
            break;
        }
        default: {
            ReplayedBmc bmc(input);
            const auto later = cx::switchd::IpmiClock::now() + std::chrono::seconds(10);
            cx::switchd::BmcReading reading = cx::switchd::ReadBmc(bmc, later);
            // The answers run out: a read never ends complete without the device ID's.
            if (input.size() < 13 && reading.complete) __builtin_trap();
            ReplayedBmc log(input);
            cx::switchd::SelCursor cursor;
            cx::switchd::SelTellsOfChange(log, &cursor);
            cx::switchd::SelTellsOfChange(log, &cursor);
            break;
        }
    }
    return 0;
}
