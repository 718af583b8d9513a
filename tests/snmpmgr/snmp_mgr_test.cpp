// CSnmpMgr against a scripted agent: columns and indexes, table walks to each of their ends,
// single-binding requests, values as text and numbers, and the default community.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>

#include "base/file_debug.h"
#include "base/oid_text.h"
#include "child_process.h"
#include "clients/find_community.h"
#include "clients/snmp_mgr.h"
#include "fake_agent.h"
#include "platform/errors.h"
#include "platform/registry_store.h"
#include "platform/winreg.h"
#include "registry_values.h"
#include "temp_dir.h"
#include "trace_capture.h"

namespace cx::test {
namespace {

constexpr int kShortTimeoutMs = 150;
constexpr const char* kCommunitiesKey =
    "SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters\\ValidCommunities";

std::string NameOf(const SnmpVarBind& binding) { return OidToString(&binding.name, 0); }

class SnmpMgrTest : public ::testing::Test {
  protected:
    void SetUp() override { CxRegistrySetPath(temp_.File("registry.db").c_str()); }
    void TearDown() override { CxRegistrySetPath(nullptr); }

    void AddCommunity(const char* name, DWORD type, const void* data, DWORD size) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kCommunitiesKey, 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
        RegCloseKey(key);
    }

    BOOL Open(CSnmpMgr& manager) {
        return manager.OpenSession(agent_.Address().c_str(), "public", kShortTimeoutMs, 0);
    }

    TempDir temp_;
    FakeAgent agent_;
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
    }
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
            AddCommunity(entry.name, entry.type, entry.data.data(),
                         static_cast<DWORD>(entry.data.size()));
        char buffer[260] = "unchanged";
        EXPECT_EQ(FindFirstCommunity(buffer, sizeof(buffer)), c.expected != nullptr);
        if (c.expected != nullptr) {
            EXPECT_STREQ(buffer, c.expected);
        }
    }
    AddCommunity("longcommunityname", REG_DWORD, dword(4).data(), 4);
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
