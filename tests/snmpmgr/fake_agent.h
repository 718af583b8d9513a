// A scripted SNMPv1 agent on a loopback UDP port: it decodes each request and answers with
// whatever the test's handler builds, including answers no real agent would send.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace cx::test {

using BerOid = std::vector<std::uint32_t>;

// BER pieces, enough for SNMPv1 messages.
std::string BerTlv(std::uint8_t tag, const std::string& content);
std::string BerInteger(std::uint8_t tag, std::int64_t value);
std::string BerOctets(std::uint8_t tag, const std::string& bytes);
std::string BerObjectId(const BerOid& oid);
std::string BerNull();

struct SnmpRequest {
    int pdu_type = 0;
    long request_id = 0;
    std::string community;
    std::vector<BerOid> names;
    std::vector<std::string> values;  // each value's whole TLV
};

struct AnswerBinding {
    BerOid name;
    std::string value;  // the whole TLV
};

std::string EncodeResponse(const SnmpRequest& request, long error_status, long error_index,
                           const std::vector<AnswerBinding>& bindings);

class FakeAgent {
  public:
    // Returns the datagrams to send back (none: stay silent).
    using Handler = std::function<std::vector<std::string>(const SnmpRequest&)>;

    FakeAgent();
    ~FakeAgent();
    FakeAgent(const FakeAgent&) = delete;
    FakeAgent& operator=(const FakeAgent&) = delete;

    void SetHandler(Handler handler);
    // Answers GET and GETNEXT from `objects` as an SNMPv1 agent does (noSuchName past the end).
    void Serve(std::map<BerOid, std::string> objects);
    int Port() const { return port_; }
    std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }
    int Requests() const { return requests_.load(); }
    SnmpRequest LastRequest();

  private:
    void Run();

    int socket_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> requests_{0};
    std::mutex lock_;
    Handler handler_;
    SnmpRequest last_;
    std::thread thread_;
};

}  // namespace cx::test
