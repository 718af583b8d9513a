// UPS units through NUT's client library.
#include "nut_ups.h"

// upsclient.h uses the fixed-width types without including their header.
#include <stdint.h>
#include <sys/time.h>
#include <upsclient.h>

#include <charconv>
#include <cstdio>

#include "smbios.h"

namespace cx::switchd {
namespace {

constexpr long kConnectSeconds = 2;
// A server lists a handful of UPS units with about a hundred variables each.
constexpr std::size_t kMaxUps = 32;
constexpr std::size_t kMaxVariables = 1024;

std::optional<int> Number(std::string_view digits) {
    int value = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size() || digits.empty())
        return std::nullopt;
    return value;
}

// The connection, closed with its scope.
class Connection {
  public:
    ~Connection() {
        if (open_) upscli_disconnect(&conn_);
    }
    bool Open(const NutTarget& target) {
        timeval timeout{kConnectSeconds, 0};
        open_ = upscli_tryconnect(&conn_, target.host.c_str(), target.port, 0, &timeout) == 0;
        return open_;
    }
    // Every answer of a LIST query, each its words after the query's; false on an error.
    bool List(std::vector<const char*> query, std::size_t limit,
              std::vector<std::vector<std::string>>* lines) {
        if (upscli_list_start(&conn_, query.size(), query.data()) < 0) return false;
        for (;;) {
            std::size_t count = 0;
            char** answer = nullptr;
            const int more = upscli_list_next(&conn_, query.size(), query.data(), &count, &answer);
            if (more < 0) return false;
            if (more == 0) return true;
            // Lines past the limit are read to the list's end but not kept.
            if (lines->size() >= limit || count <= query.size()) continue;
            lines->emplace_back(answer + query.size(), answer + count);
        }
    }
    std::string Error() { return upscli_strerror(&conn_); }

  private:
    UPSCONN_t conn_{};
    bool open_ = false;
};

std::string Clean(const std::map<std::string, std::string>& variables,
                  std::initializer_list<const char*> names) {
    for (const char* name : names) {
        auto found = variables.find(name);
        if (found == variables.end()) continue;
        std::string text = CleanFirmwareText(found->second);
        if (!text.empty()) return text;
    }
    return {};
}

}  // namespace

bool ParseNutTarget(const std::string& text, NutTarget* target) {
    std::string host = text;
    std::string port;
    if (!host.empty() && host.front() == '[') {
        const std::size_t close = host.find(']');
        if (close == std::string::npos) return false;
        if (close + 1 < host.size()) {
            if (host[close + 1] != ':') return false;
            port = host.substr(close + 2);
        }
        host = host.substr(1, close - 1);
    } else if (host.find(':') != host.rfind(':')) {
        // An IPv6 address without brackets has no port.
    } else if (const std::size_t colon = host.find(':'); colon != std::string::npos) {
        port = host.substr(colon + 1);
        host.resize(colon);
    }
    if (host.empty()) return false;
    target->host = host;
    if (!port.empty()) {
        const std::optional<int> number = Number(port);
        if (!number || *number < 1 || *number > 65535) return false;
        target->port = static_cast<std::uint16_t>(*number);
    }
    return true;
}

std::string ConvertUpsDate(std::string_view text) {
    std::string_view parts[4];
    std::size_t count = 0;
    for (std::size_t at = 0; count < 4;) {
        const std::size_t end = text.find_first_of("/-", at);
        parts[count++] = text.substr(at, end == std::string_view::npos ? end : end - at);
        if (end == std::string_view::npos) break;
        at = end + 1;
    }
    if (count != 3) return std::string(text);
    const auto first = Number(parts[0]), second = Number(parts[1]), third = Number(parts[2]);
    if (!first || !second || !third) return std::string(text);
    const bool year_first = parts[0].size() == 4;
    int year = year_first ? *first : *third;
    const int month = year_first ? *second : *first;
    const int day = year_first ? *third : *second;
    if (!year_first && parts[2].size() <= 2) year += year < 71 ? 2000 : 1900;
    if (month < 1 || month > 12 || day < 1 || day > 31 || year < 1900 || year > 9999)
        return std::string(text);
    char date[32];
    std::snprintf(date, sizeof(date), "%d-%02d-%02d 00:00:00", year, month, day);
    return date;
}

UpsInfo UpsFromVariables(const std::string& id, const std::string& description,
                         const std::map<std::string, std::string>& variables) {
    UpsInfo ups;
    ups.id = id;
    ups.description = CleanFirmwareText(description);
    ups.maker = Clean(variables, {"ups.mfr", "device.mfr"});
    ups.model = Clean(variables, {"ups.model", "device.model"});
    ups.serial = Clean(variables, {"ups.serial", "device.serial"});
    ups.firmware = Clean(variables, {"ups.firmware"});
    const std::string date = Clean(variables, {"ups.mfr.date", "battery.date"});
    if (!date.empty()) ups.date = ConvertUpsDate(date);
    return ups;
}

NutReading ReadNut(const NutTarget& target) {
    NutReading reading;
    const std::string where = target.host + ":" + std::to_string(target.port);
    Connection connection;
    if (!connection.Open(target)) {
        reading.state = target.required ? NutReading::State::kFailed : NutReading::State::kAbsent;
        reading.note = "no UPS server at " + where + " (" + connection.Error() + ")";
        return reading;
    }
    auto fail = [&](const std::string& what) {
        reading.state = NutReading::State::kFailed;
        reading.note = where + ": " + what + ": " + connection.Error();
        reading.ups.clear();
        return reading;
    };
    std::vector<std::vector<std::string>> units;
    if (!connection.List({"UPS"}, kMaxUps, &units)) return fail("LIST UPS");
    for (const std::vector<std::string>& unit : units) {
        std::vector<std::vector<std::string>> lines;
        // A UPS whose driver does not answer the server cannot be described now.
        if (!connection.List({"VAR", unit[0].c_str()}, kMaxVariables, &lines))
            return fail("LIST VAR " + unit[0]);
        std::map<std::string, std::string> variables;
        for (const std::vector<std::string>& line : lines) {
            if (line.size() >= 2) variables[line[0]] = line[1];
        }
        reading.ups.push_back(UpsFromVariables(unit[0] + "@" + target.host,
                                               unit.size() > 1 ? unit[1] : "", variables));
    }
    reading.state = NutReading::State::kRead;
    reading.note = where + ": " + std::to_string(reading.ups.size()) + " UPS";
    return reading;
}

}  // namespace cx::switchd
