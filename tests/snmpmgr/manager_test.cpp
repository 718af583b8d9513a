// The manager side against a scripted agent: mgmtapi, then CSnmpMgr on top of it.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>

#include "base/file_debug.h"
#include "base/oid_text.h"
#include "child_process.h"
#include "clients/find_community.h"
#include "clients/snmp_mgr.h"
#include "clients/transport_faults.h"
#include "fake_agent.h"
#include "platform/errors.h"
#include "platform/mgmtapi.h"
#include "platform/registry_store.h"
#include "platform/winreg.h"
#include "registry_values.h"
#include "temp_dir.h"
#include "trace_capture.h"

namespace cx::test {
namespace {

// mgmtapi against a scripted agent: addresses and ports, what goes out, what comes back, and
// every answer that must not be taken (late, foreign, short, long, garbled).
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
    EXPECT_EQ(request.values,
              (std::vector<std::string>{
                  BerInteger(0x02, -2), BerInteger(0x42, 3000000000LL), BerOctets(0x04, "ok"),
                  BerOctets(0x40, std::string("\x0A\x00\x00\x09", 4)), BerObjectId({1, 3, 6, 1})}));
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

// CSnmpMgr against a scripted agent: columns and indexes, table walks to each of their ends,
// single-binding requests, values as text and numbers, and the default community.
constexpr const char* kCommunitiesKey =
    "SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters\\ValidCommunities";

std::string NameOf(const SnmpVarBind& binding) { return OidToString(&binding.name, 0); }

// The manager over the same registry file and scripted agent.
class SnmpMgrTest : public MgmtApiTest {
  protected:
    BOOL Open(CSnmpMgr& manager) {
        return manager.OpenSession(agent_.Address().c_str(), "public", kShortTimeoutMs, 0);
    }
};

// A table 1.3.6.1.4.1.99999.2.1 with columns 1..3 and rows 1 and 2, and one object after it.
std::map<BerOid, std::string> TwoRowTable(bool object_after) {
    std::map<BerOid, std::string> objects;
    for (std::uint32_t column = 1; column <= 3; ++column) {
        for (std::uint32_t row = 1; row <= 2; ++row)
            objects[{1, 3, 6, 1, 4, 1, 99999, 2, 1, column, row}] =
                column == 2 ? BerOctets(0x04, "row" + std::to_string(row))
                            : BerInteger(0x02, column * 10 + row);
    }
    if (object_after) objects[{1, 3, 6, 1, 4, 1, 99999, 3, 0}] = BerInteger(0x02, 0);
    return objects;
}

// SetOID cuts at the first zero and appends the indexes; only position 0 sets a base OID, and
// a base OID beyond the array recreates it. The list grows with fresh entries, never shrinks.
TEST_F(SnmpMgrTest, SetOidBaseOidsAndTheList) {
    struct Case {
        const char* text;
        int index1, index2, index3;
        const char* name;
    };
    const Case cases[] = {
        {".1.3.6.1.4.1.99999.2.2.1.2.1.1.0", -1, -1, -1, "1.3.6.1.4.1.99999.2.2.1.2.1.1"},
        {".1.3.6.1.4.1.99999.2.2.1.2.1.1.0", 5, 7, -1, "1.3.6.1.4.1.99999.2.2.1.2.1.1.5.7"},
        {".1.3.6.1.4.1.7391.2.10.2.2.3.2.1.3.0.0.0.0", 1, 0, 2,
         "1.3.6.1.4.1.7391.2.10.2.2.3.2.1.3.1.0.2"},
        {"1.3.6.1.2.1.1.1", 3, -1, 4, "1.3.6.1.2.1.1.1.3"},
        {"1.3.6.1.4.1.99999.05.1", -1, -1, -1, "1.3.6.1.4.1.99999.5.1"},
        {"not an oid", -1, -1, -1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        CSnmpMgr manager;
        manager.SetOID(c.text, 0, c.index1, c.index2, c.index3);
        EXPECT_EQ(NameOf(manager.GetVarBind(0)), c.name);
        ASSERT_EQ(manager.m_nRequestOids, 1u);
        EXPECT_EQ(OidToString(&manager.m_pRequestOids[0], 0), std::string(c.name));
    }
    CSnmpMgr manager;
    manager.SetOID("1.3.6.1.4.1.99999.2.1.2.0", 1);
    EXPECT_EQ(manager.m_nRequestOids, 0u);
    EXPECT_EQ(NameOf(manager.GetVarBind(1)), "1.3.6.1.4.1.99999.2.1.2");
    EXPECT_EQ(manager.GetVarBind(0).name.idLength, 0u);
    ASSERT_TRUE(manager.SetBaseOid("1.3.6.1", 0));
    ASSERT_TRUE(manager.SetBaseOid("1.3.6.2", 2));
    EXPECT_EQ(manager.m_nRequestOids, 3u);
    EXPECT_EQ(manager.m_pRequestOids[0].idLength, 0u);
    EXPECT_EQ(OidToString(&manager.m_pRequestOids[2], 0), std::string("1.3.6.2"));

    manager.GetVarBind(1).value.asnType = ASN_INTEGER;
    ASSERT_TRUE(manager.ResizeVarBindList(3, TRUE));
    EXPECT_EQ(NameOf(manager.GetVarBind(1)), "1.3.6.1.4.1.99999.2.1.2");
    ASSERT_TRUE(manager.ResizeVarBindList(1, FALSE));
    EXPECT_EQ(manager.m_VarBindList.len, 3u);
    for (UINT i = 0; i < 3; ++i) {
        EXPECT_EQ(manager.m_VarBindList.list[i].name.idLength, 0u);
        EXPECT_EQ(manager.m_VarBindList.list[i].value.asnType, ASN_NULL);
    }
}

TEST_F(SnmpMgrTest, GetStringAndGetIntegerReadEachType) {
    CSnmpMgr manager;
    SnmpVarBind binding{};
    auto set_octets = [&](const char* bytes, UINT length, BOOL dynamic) {
        SnmpUtilVarBindFree(&binding);
        binding.value.asnType = ASN_OCTETSTRING;
        auto* stream = static_cast<BYTE*>(SnmpUtilMemAlloc(length));
        std::memcpy(stream, bytes, length);
        binding.value.asnValue.string = {stream, length, dynamic};
        return stream;
    };
    // Four bytes without a terminator: the text has them all, the length stays 4.
    set_octets("abcd", 4, TRUE);
    EXPECT_STREQ(manager.GetString(binding), "abcd");
    EXPECT_EQ(binding.value.asnValue.string.length, 4u);
    // Already terminated: the bytes themselves.
    BYTE* terminated = set_octets("xy\0", 3, TRUE);
    EXPECT_EQ(manager.GetString(binding), reinterpret_cast<const char*>(terminated));
    // Bytes the binding does not own are copied, never reallocated.
    BYTE* borrowed = set_octets("pq", 2, FALSE);
    EXPECT_STREQ(manager.GetString(binding), "pq");
    EXPECT_NE(binding.value.asnValue.string.stream, borrowed);
    EXPECT_TRUE(binding.value.asnValue.string.dynamic);
    SnmpUtilMemFree(borrowed);
    set_octets("", 0, TRUE);
    EXPECT_STREQ(manager.GetString(binding), "");
    SnmpUtilVarBindFree(&binding);
    binding.value.asnType = ASN_NULL;
    EXPECT_STREQ(manager.GetString(binding), "<<GetString type mismatch>>");
    EXPECT_EQ(manager.GetInteger(binding), 0u);
}

TEST_F(SnmpMgrTest, RequestsWithoutSessionOrListFailWithGenericError) {
    CSnmpMgr failed("no such host:99999", "public", 100, 0);
    EXPECT_EQ(failed.m_hSession, nullptr);
    EXPECT_EQ(failed.m_LastError, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    CSnmpMgr manager;
    EXPECT_FALSE(manager.Request(SNMP_PDU_GET, nullptr, nullptr, nullptr));
    EXPECT_EQ(manager.m_ErrorStatus, SNMP_ERRORSTATUS_GENERR);
    ASSERT_TRUE(Open(manager));
    manager.m_ErrorStatus = 0;
    EXPECT_FALSE(manager.Request(SNMP_PDU_GET, nullptr, nullptr, nullptr));
    EXPECT_EQ(manager.m_ErrorStatus, SNMP_ERRORSTATUS_GENERR);
    EXPECT_EQ(agent_.Requests(), 0);
    EXPECT_TRUE(manager.CloseSession());
    EXPECT_EQ(manager.m_hSession, nullptr);
    EXPECT_TRUE(manager.CloseSession());
}

// Three columns walked together; column 1 drives. The walk ends when it leaves the table, when
// the agent's MIB ends (noSuchName) or when the agent stops answering. (A row that does not
// advance is the bus collector's RowThatDoesNotAdvanceEndsTheWalk.)
TEST_F(SnmpMgrTest, TableWalksEndAtEachKindOfEnd) {
    enum class End { kTableLeft, kEndOfMib, kNoAnswer };
    for (const End end : {End::kTableLeft, End::kEndOfMib, End::kNoAnswer}) {
        SCOPED_TRACE(static_cast<int>(end));
        agent_.Serve(TwoRowTable(end == End::kTableLeft));
        CTransportFaults faults;
        CSnmpMgr manager;
        ASSERT_TRUE(Open(manager));
        ASSERT_TRUE(manager.ResizeVarBindList(3, FALSE));
        for (UINT column = 1; column <= 3; ++column)
            manager.SetOID(("1.3.6.1.4.1.99999.2.1." + std::to_string(column) + ".0.0").c_str(),
                           column - 1);
        for (UINT row = 1; row <= 2; ++row) {
            ASSERT_TRUE(manager.GetNextInTable(nullptr));
            EXPECT_EQ(NameOf(manager.GetVarBind(0)),
                      "1.3.6.1.4.1.99999.2.1.1." + std::to_string(row));
            EXPECT_EQ(manager.GetInteger(manager.GetVarBind(0)), 10 + row);
            EXPECT_EQ(manager.GetString(manager.GetVarBind(1)), "row" + std::to_string(row));
            EXPECT_EQ(manager.GetInteger(manager.GetVarBind(2)), 30 + row);
        }
        if (end == End::kNoAnswer)
            agent_.SetHandler([](const SnmpRequest&) { return std::vector<std::string>{}; });
        EXPECT_FALSE(manager.GetNextInTable(nullptr));
        switch (end) {
            case End::kTableLeft: EXPECT_EQ(manager.m_ErrorStatus, 0); break;
            case End::kEndOfMib:
                EXPECT_EQ(manager.m_ErrorStatus, SNMP_ERRORSTATUS_NOSUCHNAME);
                EXPECT_EQ(manager.m_ErrorIndex, 3);  // the last column runs out first
                break;
            case End::kNoAnswer:
                EXPECT_EQ(manager.m_ErrorStatus, SNMP_ERRORSTATUS_GENERR);
                EXPECT_EQ(manager.m_LastError, static_cast<DWORD>(SNMP_MGMTAPI_TIMEOUT));
                EXPECT_EQ(GetLastError(), static_cast<DWORD>(SNMP_MGMTAPI_TIMEOUT));
                break;
        }
        // An agent gone in the middle of the walk left it incomplete; the ends are answers.
        EXPECT_EQ(faults.Count(), end == End::kNoAnswer ? 1u : 0u);
    }
    // An agent that never answered (the one above, still silent) is simply not there.
    CTransportFaults faults;
    CSnmpMgr manager;
    ASSERT_TRUE(Open(manager));
    EXPECT_FALSE(manager.GetNextInTable("1.3.6.1.4.1.99999.2"));
    EXPECT_EQ(faults.Count(), 0u);
}

TEST_F(SnmpMgrTest, FindFirstCommunityTakesTheFirstUsableEntry) {
    struct Entry {
        const char* name;
        DWORD type;
        std::string data;
    };
    auto dword = [](DWORD value) { return std::string(reinterpret_cast<char*>(&value), 4); };
    struct Case {
        const char* what;
        std::vector<Entry> entries;
        const char* expected;  // nullptr: none
    };
    const std::vector<Case> cases = {
        {"notify, then text",
         {{"trapper", REG_DWORD, dword(2)}, {"x", REG_SZ, "fromtext"}},
         "fromtext"},
        {"read only", {{"none", REG_DWORD, dword(1)}, {"reader", REG_DWORD, dword(4)}}, "reader"},
        {"read create", {{"creator", REG_DWORD, dword(16)}}, "creator"},
        {"multi-string", {{"m", REG_MULTI_SZ, std::string("first\0second\0\0", 14)}}, "first"},
        {"unterminated text", {{"u", REG_SZ, "raw"}}, "raw"},
        {"binary and empty text skipped",
         {{"b", REG_BINARY, "\x01"},
          {"e", REG_SZ, std::string("\0", 1)},
          {"later", REG_EXPAND_SZ, std::string("expand\0", 7)}},
         "expand"},
        {"nothing usable", {{"n", REG_DWORD, dword(2)}, {"q", REG_QWORD, "12345678"}}, nullptr},
        {"no key", {}, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HKEY root = nullptr;
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM", 0, KEY_ALL_ACCESS, &root);
        if (root != nullptr) {
            RegDeleteTreeA(root, "CurrentControlSet");
            RegCloseKey(root);
        }
        for (const Entry& entry : c.entries)
            SetRegValue(kCommunitiesKey, entry.name, entry.type, entry.data);
        char buffer[260] = "unchanged";
        EXPECT_EQ(FindFirstCommunity(buffer, sizeof(buffer)), c.expected != nullptr);
        if (c.expected != nullptr) {
            EXPECT_STREQ(buffer, c.expected);
        }
    }
    SetRegDword(kCommunitiesKey, "longcommunityname", 4);
    char small[5] = {};
    EXPECT_TRUE(FindFirstCommunity(small, sizeof(small)));
    EXPECT_STREQ(small, "long");
}

TEST_F(SnmpMgrTest, OpenSessionFallsBackToTheRegistryCommunityThenToNorbel) {
    agent_.Serve(TwoRowTable(false));
    for (const bool registered : {false, true}) {
        if (registered) SetRegDword(kCommunitiesKey, "trapsonly", 2);  // notify only
        if (registered) SetRegDword(kCommunitiesKey, "inventory", 4);
        CSnmpMgr manager(agent_.Address().c_str(), "", kShortTimeoutMs, 0);
        ASSERT_NE(manager.m_hSession, nullptr);
        EXPECT_TRUE(manager.GetNextInTable("1.3.6.1.4.1.99999.2"));
        EXPECT_EQ(agent_.LastRequest().community, registered ? "inventory" : "norbel");
    }
}

// The trace lines of a session, a refused request and one table step, under the client's label.
TEST_F(SnmpMgrTest, TracesCarryTheClientsLabelAndTexts) {
    const std::string trace_file = temp_.File("trace.log");
    TraceToFile("SnmpMgrTest", trace_file);
    g_FileDebug.Init("SnmpMgrTest", FALSE);

    agent_.Serve(TwoRowTable(false));
    {
        CSnmpMgr manager;
        manager.Request(SNMP_PDU_GET, nullptr, nullptr, nullptr);
        ASSERT_TRUE(Open(manager));
        manager.SetOID("1.3.6.1.4.1.99999.2.1.1.0", 0);
        manager.GetNextInTable(nullptr);
    }
    g_FileDebug.Init(nullptr, FALSE);
    const std::string text = ReadFile(trace_file);
    // One expected line per line of the file; a closing \r\n stands for the trace's line end.
    std::istringstream expected(ReadFile(CX_TEST_DATA "/snmpmgr/manager_trace.txt"));
    for (std::string line; std::getline(expected, line);) {
        if (line.ends_with("\\r\\n")) line.replace(line.size() - 4, 4, "\r\n");
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    }
}

}  // namespace
}  // namespace cx::test
