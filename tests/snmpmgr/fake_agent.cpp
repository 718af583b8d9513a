// A scripted SNMPv1 agent on a loopback UDP port.
#include "fake_agent.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <optional>

namespace cx::test {
namespace {

struct Tlv {
    std::uint8_t tag = 0;
    std::string content;
};

// Reads one TLV at `at` and moves past it.
std::optional<Tlv> ReadTlv(const std::string& data, std::size_t* at) {
    if (*at + 2 > data.size()) return std::nullopt;
    Tlv tlv;
    tlv.tag = static_cast<std::uint8_t>(data[(*at)++]);
    std::size_t length = static_cast<std::uint8_t>(data[(*at)++]);
    if (length & 0x80) {
        const std::size_t bytes = length & 0x7F;
        if (bytes == 0 || bytes > 3 || *at + bytes > data.size()) return std::nullopt;
        length = 0;
        for (std::size_t i = 0; i < bytes; ++i)
            length = length * 256 + static_cast<std::uint8_t>(data[(*at)++]);
    }
    if (*at + length > data.size()) return std::nullopt;
    tlv.content = data.substr(*at, length);
    *at += length;
    return tlv;
}

long IntegerOf(const std::string& content) {
    long value = content.empty() || (content[0] & 0x80) == 0 ? 0 : -1;
    for (const char c : content)
        value = value * 256 + static_cast<std::uint8_t>(c);
    return value;
}

BerOid OidOf(const std::string& content) {
    BerOid oid;
    if (content.empty()) return oid;
    const auto first = static_cast<std::uint8_t>(content[0]);
    oid.push_back(first / 40);
    oid.push_back(first % 40);
    std::uint32_t value = 0;
    for (std::size_t i = 1; i < content.size(); ++i) {
        const auto byte = static_cast<std::uint8_t>(content[i]);
        value = value * 128 + (byte & 0x7F);
        if ((byte & 0x80) == 0) {
            oid.push_back(value);
            value = 0;
        }
    }
    return oid;
}

std::optional<SnmpRequest> DecodeRequest(const std::string& datagram) {
    std::size_t at = 0;
    const auto message = ReadTlv(datagram, &at);
    if (!message || message->tag != 0x30) return std::nullopt;
    at = 0;
    const std::string& body = message->content;
    const auto version = ReadTlv(body, &at);
    const auto community = ReadTlv(body, &at);
    const auto pdu = ReadTlv(body, &at);
    if (!version || !community || !pdu) return std::nullopt;
    SnmpRequest request;
    request.pdu_type = pdu->tag;
    request.community = community->content;
    at = 0;
    const auto id = ReadTlv(pdu->content, &at);
    const auto status = ReadTlv(pdu->content, &at);
    const auto index = ReadTlv(pdu->content, &at);
    const auto list = ReadTlv(pdu->content, &at);
    if (!id || !status || !index || !list) return std::nullopt;
    request.request_id = IntegerOf(id->content);
    at = 0;
    while (at < list->content.size()) {
        const auto binding = ReadTlv(list->content, &at);
        if (!binding) return std::nullopt;
        std::size_t inner = 0;
        const auto name = ReadTlv(binding->content, &inner);
        if (!name) return std::nullopt;
        request.names.push_back(OidOf(name->content));
        request.values.push_back(binding->content.substr(inner));
    }
    return request;
}

}  // namespace

std::string BerTlv(std::uint8_t tag, const std::string& content) {
    std::string tlv(1, static_cast<char>(tag));
    const std::size_t length = content.size();
    if (length < 0x80) {
        tlv.push_back(static_cast<char>(length));
    } else if (length < 0x100) {
        tlv += {'\x81', static_cast<char>(length)};
    } else {
        tlv += {'\x82', static_cast<char>(length >> 8), static_cast<char>(length & 0xFF)};
    }
    return tlv + content;
}

std::string BerInteger(std::uint8_t tag, std::int64_t value) {
    std::string bytes;
    for (int i = 0; i < 9; ++i) {
        bytes.insert(bytes.begin(), static_cast<char>(value & 0xFF));
        const std::int64_t rest = value >> 8;
        const bool sign = (bytes[0] & 0x80) != 0;
        if ((rest == 0 && !sign) || (rest == -1 && sign)) break;
        value = rest;
    }
    // Unsigned types above 2^31 need a leading zero, which the loop adds for positives.
    return BerTlv(tag, bytes);
}

std::string BerOctets(std::uint8_t tag, const std::string& bytes) { return BerTlv(tag, bytes); }

std::string BerObjectId(const BerOid& oid) {
    std::string content(1, static_cast<char>(oid[0] * 40 + oid[1]));
    for (std::size_t i = 2; i < oid.size(); ++i) {
        std::string part(1, static_cast<char>(oid[i] & 0x7F));
        for (std::uint32_t value = oid[i] >> 7; value != 0; value >>= 7)
            part.insert(part.begin(), static_cast<char>(0x80 | (value & 0x7F)));
        content += part;
    }
    return BerTlv(0x06, content);
}

std::string BerNull() { return BerTlv(0x05, ""); }

std::string EncodeResponse(const SnmpRequest& request, long error_status, long error_index,
                           const std::vector<AnswerBinding>& bindings) {
    std::string list;
    for (const AnswerBinding& binding : bindings)
        list += BerTlv(0x30, BerObjectId(binding.name) + binding.value);
    const std::string pdu =
        BerTlv(0xA2, BerInteger(0x02, request.request_id) + BerInteger(0x02, error_status) +
                         BerInteger(0x02, error_index) + BerTlv(0x30, list));
    return BerTlv(0x30, BerInteger(0x02, 0) + BerOctets(0x04, request.community) + pdu);
}

FakeAgent::FakeAgent() {
    socket_ = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    socklen_t length = sizeof(address);
    getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Run(); });
}

FakeAgent::~FakeAgent() {
    stop_ = true;
    thread_.join();
    close(socket_);
}

void FakeAgent::SetHandler(Handler handler) {
    std::lock_guard<std::mutex> hold(lock_);
    handler_ = std::move(handler);
}

void FakeAgent::Serve(std::map<BerOid, std::string> objects) {
    SetHandler([objects](const SnmpRequest& request) {
        std::vector<AnswerBinding> answer;
        for (std::size_t i = 0; i < request.names.size(); ++i) {
            const auto found = request.pdu_type == 0xA1 ? objects.upper_bound(request.names[i])
                                                        : objects.find(request.names[i]);
            if (found == objects.end()) {
                std::vector<AnswerBinding> echo;
                for (std::size_t j = 0; j < request.names.size(); ++j)
                    echo.push_back({request.names[j], request.values[j]});
                return std::vector<std::string>{
                    EncodeResponse(request, 2, static_cast<long>(i + 1), echo)};
            }
            answer.push_back({found->first, found->second});
        }
        return std::vector<std::string>{EncodeResponse(request, 0, 0, answer)};
    });
}

SnmpRequest FakeAgent::LastRequest() {
    std::lock_guard<std::mutex> hold(lock_);
    return last_;
}

void FakeAgent::Run() {
    std::string buffer(65536, '\0');
    while (!stop_) {
        pollfd ready{socket_, POLLIN, 0};
        if (poll(&ready, 1, 20) <= 0) continue;
        sockaddr_in peer{};
        socklen_t peer_length = sizeof(peer);
        const ssize_t received = recvfrom(socket_, buffer.data(), buffer.size(), 0,
                                          reinterpret_cast<sockaddr*>(&peer), &peer_length);
        if (received <= 0) continue;
        const auto request = DecodeRequest(buffer.substr(0, static_cast<std::size_t>(received)));
        if (!request) continue;
        std::vector<std::string> replies;
        {
            std::lock_guard<std::mutex> hold(lock_);
            last_ = *request;
            if (handler_) replies = handler_(*request);
            ++requests_;
        }
        for (const std::string& reply : replies)
            sendto(socket_, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&peer),
                   peer_length);
    }
}

}  // namespace cx::test
