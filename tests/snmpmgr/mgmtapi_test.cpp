// mgmtapi against a scripted agent: addresses and ports, what goes out, what comes back, and
// every answer that must not be taken (late, foreign, short, long, garbled).
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "fake_agent.h"
#include "platform/errors.h"
#include "platform/mgmtapi.h"
#include "platform/registry_store.h"
#include "platform/winreg.h"
#include "registry_values.h"
#include "temp_dir.h"

namespace cx::test {
namespace {

constexpr int kShortTimeoutMs = 150;

AsnObjectIdentifier NewOid(const BerOid& ids) {
    AsnObjectIdentifier oid{};
    oid.idLength = static_cast<UINT>(ids.size());
    oid.ids = static_cast<UINT*>(SnmpUtilMemAlloc(oid.idLength * sizeof(UINT)));
    std::copy(ids.begin(), ids.end(), oid.ids);
    return oid;
}

BerOid OidOf(const AsnObjectIdentifier& oid) { return BerOid(oid.ids, oid.ids + oid.idLength); }

// A binding list of NULL values with the given names, freed with the fixture.
class BindingList {
  public:
    explicit BindingList(std::initializer_list<BerOid> names) {
        list.len = static_cast<UINT>(names.size());
        list.list = static_cast<SnmpVarBind*>(SnmpUtilMemAlloc(list.len * sizeof(SnmpVarBind)));
        UINT i = 0;
        for (const BerOid& name : names) {
            list.list[i].name = NewOid(name);
            list.list[i].value.asnType = ASN_NULL;
            ++i;
        }
    }
    ~BindingList() { SnmpUtilVarBindListFree(&list); }
    SnmpVarBind& operator[](UINT i) { return list.list[i]; }

    SnmpVarBindList list{};
};

class MgmtApiTest : public ::testing::Test {
  protected:
    void SetUp() override { CxRegistrySetPath(temp_.File("registry.db").c_str()); }
    void TearDown() override {
        if (session_ != nullptr) SnmpMgrClose(session_);
        CxRegistrySetPath(nullptr);
    }

    LPSNMP_MGR_SESSION Open(int timeout_ms = kShortTimeoutMs, int retries = 0) {
        session_ = SnmpMgrOpen(agent_.Address().c_str(), "public", timeout_ms, retries);
        return session_;
    }

    TempDir temp_;
    FakeAgent agent_;
    LPSNMP_MGR_SESSION session_ = nullptr;
    AsnInteger status_ = -1;
    AsnInteger index_ = -1;
};

const BerOid kFirst = {1, 3, 6, 1, 4, 1, 99999, 1, 1};
const BerOid kSecond = {1, 3, 6, 1, 4, 1, 99999, 1, 2};

// GETNEXT replaces the name with the following object's and the value with one of any type.
// (Numbers and texts through a real host: SnmpInfoTest.GetSnmpValueReadsTheRowOfTheColumn.)
TEST_F(MgmtApiTest, AnswersReplaceNamesAndValuesOfEveryType) {
    struct Case {
        std::string value;  // as the agent sends it
        BYTE type;
        UINT number;
        std::string octets;
    };
    const BerOid object = {1, 3, 6, 1, 4, 1, 99999, 3, 2, 10};
    const std::vector<Case> cases = {
        {BerInteger(0x02, -5), ASN_INTEGER, static_cast<UINT>(-5), ""},
        {BerOctets(0x04, ""), ASN_OCTETSTRING, 0, ""},
        {BerOctets(0x40, std::string("\x7F\x00\x00\x01", 4)), ASN_IPADDRESS, 0,
         std::string("\x7F\x00\x00\x01", 4)},
        {BerOctets(0x44, "\x01\x02"), ASN_OPAQUE, 0, "\x01\x02"},
        {BerNull(), ASN_NULL, 0, ""},
        {BerObjectId(object), ASN_OBJECTIDENTIFIER, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.type));
        agent_.Serve({{kSecond, c.value}});
        ASSERT_NE(Open(), nullptr);
        BindingList bindings({kFirst});
        ASSERT_TRUE(SnmpMgrRequest(session_, SNMP_PDU_GETNEXT, &bindings.list, &status_, &index_));
        EXPECT_EQ(status_, 0);
        EXPECT_EQ(OidOf(bindings[0].name), kSecond);
        ASSERT_EQ(bindings[0].value.asnType, c.type);
        const auto& value = bindings[0].value.asnValue;
        if (c.type == ASN_OCTETSTRING || c.type == ASN_IPADDRESS || c.type == ASN_OPAQUE) {
            EXPECT_EQ(
                std::string(reinterpret_cast<char*>(value.string.stream), value.string.length),
                c.octets);
            EXPECT_EQ(value.string.dynamic, c.octets.empty() ? FALSE : TRUE);
        } else if (c.type == ASN_OBJECTIDENTIFIER) {
            EXPECT_EQ(OidOf(value.object), object);
        } else if (c.type != ASN_NULL) {
            EXPECT_EQ(value.unsigned32, c.number);
        }
        SnmpMgrClose(session_);
        session_ = nullptr;
    }
    EXPECT_EQ(agent_.LastRequest().pdu_type, 0xA1);
    EXPECT_EQ(agent_.LastRequest().community, "public");
}

TEST_F(MgmtApiTest, SetSendsEachValueInItsEncoding) {
    agent_.SetHandler([](const SnmpRequest& request) {
        std::vector<AnswerBinding> echo;
        for (std::size_t i = 0; i < request.names.size(); ++i)
            echo.push_back({request.names[i], request.values[i]});
        return std::vector<std::string>{EncodeResponse(request, 0, 0, echo)};
    });
    ASSERT_NE(Open(), nullptr);
    BindingList bindings({kFirst, kFirst, kFirst, kFirst, kFirst});
    bindings[0].value.asnType = ASN_INTEGER;
    bindings[0].value.asnValue.number = -2;
    bindings[1].value.asnType = ASN_GAUGE32;
    bindings[1].value.asnValue.gauge = 3000000000u;
    static BYTE text[] = {'o', 'k'};
    bindings[2].value.asnType = ASN_OCTETSTRING;
    bindings[2].value.asnValue.string = {text, 2, FALSE};
    static BYTE address[] = {10, 0, 0, 9};
    bindings[3].value.asnType = ASN_IPADDRESS;
    bindings[3].value.asnValue.address = {address, 4, FALSE};
    static UINT ids[] = {1, 3, 6, 1};
    bindings[4].value.asnType = ASN_OBJECTIDENTIFIER;
    bindings[4].value.asnValue.object = {4, ids};
    SnmpVarBindList sent{};
    ASSERT_TRUE(SnmpUtilVarBindListCpy(&sent, &bindings.list));
    bindings[2].value.asnType = ASN_NULL;  // the static bytes are not the list's to free
    bindings[3].value.asnType = ASN_NULL;
    bindings[4].value.asnType = ASN_NULL;

    ASSERT_TRUE(SnmpMgrRequest(session_, SNMP_PDU_SET, &sent, &status_, &index_));
    const SnmpRequest request = agent_.LastRequest();
    EXPECT_EQ(request.pdu_type, 0xA3);
    ASSERT_EQ(request.values.size(), 5u);
    EXPECT_EQ(request.values[0], BerInteger(0x02, -2));
    EXPECT_EQ(request.values[1], BerInteger(0x42, 3000000000LL));
    EXPECT_EQ(request.values[2], BerOctets(0x04, "ok"));
    EXPECT_EQ(request.values[3], BerOctets(0x40, std::string("\x0A\x00\x00\x09", 4)));
    EXPECT_EQ(request.values[4], BerObjectId({1, 3, 6, 1}));
    EXPECT_EQ(sent.list[1].value.asnValue.gauge, 3000000000u);
    SnmpUtilVarBindListFree(&sent);
}

TEST_F(MgmtApiTest, AnErrorStatusIsAnAnswerAndLeavesTheBindingsAsSent) {
    agent_.Serve({});  // every GET: noSuchName at 1
    ASSERT_NE(Open(), nullptr);
    BindingList bindings({kFirst, kSecond});
    ASSERT_TRUE(SnmpMgrRequest(session_, SNMP_PDU_GET, &bindings.list, &status_, &index_));
    EXPECT_EQ(agent_.LastRequest().pdu_type, 0xA0);
    EXPECT_EQ(status_, SNMP_ERRORSTATUS_NOSUCHNAME);
    EXPECT_EQ(index_, 1);
    EXPECT_EQ(OidOf(bindings[1].name), kSecond);
    EXPECT_EQ(bindings[0].value.asnType, ASN_NULL);
}

// Answers that cannot be the answer to this request: each is refused, the bindings stay as
// they were sent, and the call ends with the session's own bound.
TEST_F(MgmtApiTest, UnusableAnswersFailCleanly) {
    struct Case {
        const char* what;
        std::function<std::vector<std::string>(const SnmpRequest&)> answer;
        DWORD error;
    };
    const std::string big(60000, 'x');
    const std::vector<Case> cases = {
        {"silence", [](const SnmpRequest&) { return std::vector<std::string>{}; },
         SNMP_MGMTAPI_TIMEOUT},
        {"another request id",
         [](const SnmpRequest& request) {
             SnmpRequest other = request;
             ++other.request_id;
             return std::vector<std::string>{
                 EncodeResponse(other, 0, 0, {{kFirst, BerInteger(0x02, 1)}})};
         },
         SNMP_MGMTAPI_TIMEOUT},
        {"garbage", [](const SnmpRequest&) { return std::vector<std::string>{"\x30\x05junk"}; },
         SNMP_MGMTAPI_TIMEOUT},
        {"a length beyond the datagram",
         [big](const SnmpRequest& request) {
             std::string answer = EncodeResponse(request, 0, 0, {{kFirst, BerOctets(0x04, big)}});
             answer.resize(answer.size() / 2);
             return std::vector<std::string>{answer};
         },
         SNMP_MGMTAPI_TIMEOUT},
        {"fewer bindings",
         [](const SnmpRequest& request) {
             return std::vector<std::string>{
                 EncodeResponse(request, 0, 0, {{kFirst, BerInteger(0x02, 1)}})};
         },
         ERROR_INVALID_DATA},
        {"more bindings",
         [](const SnmpRequest& request) {
             std::vector<AnswerBinding> many(200, {kFirst, BerInteger(0x02, 1)});
             return std::vector<std::string>{EncodeResponse(request, 0, 0, many)};
         },
         ERROR_INVALID_DATA},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        agent_.SetHandler(c.answer);
        ASSERT_NE(Open(kShortTimeoutMs, 0), nullptr);
        BindingList bindings({kFirst, kSecond});
        EXPECT_EQ(SnmpMgrRequest(session_, SNMP_PDU_GET, &bindings.list, &status_, &index_),
                  SNMPAPI_ERROR);
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_EQ(OidOf(bindings[0].name), kFirst);
        EXPECT_EQ(OidOf(bindings[1].name), kSecond);
        EXPECT_EQ(bindings[0].value.asnType, ASN_NULL);
        SnmpMgrClose(session_);
        session_ = nullptr;
    }
}

TEST_F(MgmtApiTest, NoAnswerIsAskedForRetriesPlusOneTimesAndThenGivenUp) {
    agent_.SetHandler([](const SnmpRequest&) { return std::vector<std::string>{}; });
    ASSERT_NE(Open(kShortTimeoutMs, 2), nullptr);
    BindingList bindings({kFirst});
    EXPECT_EQ(SnmpMgrRequest(session_, SNMP_PDU_GETNEXT, &bindings.list, &status_, &index_),
              SNMPAPI_ERROR);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(SNMP_MGMTAPI_TIMEOUT));
    EXPECT_EQ(agent_.Requests(), 3);
}

TEST_F(MgmtApiTest, BadAddressesAndArgumentsAreRefused) {
    for (const char* address : {"", "tcp:127.0.0.1:161", "127.0.0.1:0", "127.0.0.1:65536",
                                "127.0.0.1:16x", "host name", "[::1", "127.0.0.1:161:1"}) {
        SCOPED_TRACE(address);
        EXPECT_EQ(SnmpMgrOpen(address, "public", 100, 0), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    EXPECT_EQ(SnmpMgrOpen(nullptr, "public", 100, 0), nullptr);
    EXPECT_EQ(SnmpMgrOpen("127.0.0.1", nullptr, 100, 0), nullptr);
    EXPECT_EQ(SnmpMgrOpen("127.0.0.1", "public", -1, 0), nullptr);
    EXPECT_EQ(SnmpMgrOpen("127.0.0.1", "public", 100, -1), nullptr);
    EXPECT_EQ(SnmpMgrOpen("127.0.0.1", std::string(256, 'c').c_str(), 100, 0), nullptr);

    ASSERT_NE(Open(), nullptr);
    BindingList bindings({kFirst});
    EXPECT_EQ(SnmpMgrRequest(session_, 0xA5, &bindings.list, &status_, &index_), SNMPAPI_ERROR);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(SnmpMgrRequest(session_, SNMP_PDU_GET, nullptr, &status_, &index_), SNMPAPI_ERROR);
    bindings[0].value.asnType = ASN_COUNTER64;  // a value SNMPv1 cannot carry
    EXPECT_EQ(SnmpMgrRequest(session_, SNMP_PDU_SET, &bindings.list, &status_, &index_),
              SNMPAPI_ERROR);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(agent_.Requests(), 0);
}

TEST_F(MgmtApiTest, AClosedOrForgedSessionIsRefused) {
    ASSERT_NE(Open(), nullptr);
    EXPECT_TRUE(SnmpMgrClose(session_));
    BindingList bindings({kFirst});
    for (LPSNMP_MGR_SESSION session : {session_, static_cast<LPSNMP_MGR_SESSION>(nullptr),
                                       reinterpret_cast<LPSNMP_MGR_SESSION>(0x7777)}) {
        EXPECT_EQ(SnmpMgrRequest(session, SNMP_PDU_GET, &bindings.list, &status_, &index_),
                  SNMPAPI_ERROR);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(SNMP_MGMTAPI_INVALID_SESSION));
        EXPECT_FALSE(SnmpMgrClose(session));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(SNMP_MGMTAPI_INVALID_SESSION));
    }
    session_ = nullptr;
}

}  // namespace
}  // namespace cx::test
