// The in-process parts of the COM runtime: BSTRs and VARIANTs, apartments and the global
// interface table.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "clients/switch_client.h"
#include "platform/objbase.h"

namespace {

// Every call of the client tests carries strings; here the odd and empty lengths and the bounds.
TEST(Bstr, RoundsOddByteLengthsZeroesRefusesTheImpossibleAndStaysWithItsOwner) {
    BSTR binary = SysAllocStringByteLen("\x01\0\x03", 3);
    EXPECT_EQ(SysStringByteLen(binary), 3u);
    EXPECT_EQ(SysStringLen(binary), 1u);  // odd byte counts round down in characters
    SysFreeString(binary);
    BSTR zeroed = SysAllocStringByteLen(nullptr, 5);
    EXPECT_EQ(std::memcmp(zeroed, "\0\0\0\0\0", 5), 0);
    SysFreeString(zeroed);
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr) + SysStringByteLen(nullptr), 0u);
    EXPECT_EQ(SysAllocStringByteLen(nullptr, 0xFFFFFFFFu), nullptr);

    // Owned strings are cleared by every attach of the client tests (the client name), where
    // the sanitizer build reports a string left behind; a reference must stay its owner's.
    BSTR kept = SysAllocString(u"kept");
    VARIANT reference;
    VariantInit(&reference);
    reference.vt = VT_BYREF | VT_BSTR;
    reference.pbstrVal = &kept;
    VariantClear(&reference);
    EXPECT_EQ(SysStringLen(kept), 4u);
    SysFreeString(kept);
}

// Each case runs on a fresh thread, so the apartment state starts empty.
TEST(Apartment, ReportsFirstRepeatedAndChangedMode) {
    std::thread([] {
        IGlobalInterfaceTable* table = nullptr;  // nothing is created before the first call
        EXPECT_EQ(CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IGlobalInterfaceTable, reinterpret_cast<void**>(&table)),
                  CO_E_NOTINITIALIZED);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), RPC_E_CHANGED_MODE);
        CoUninitialize();
        CoUninitialize();
    }).join();
}

// An object for the interface table to hold, its reference count in view.
struct Counted : CRSwitchOut {
    LONG references() const { return m_cRef; }
};

TEST(GlobalInterfaceTable, IsCreatedPlainAndHandsInterfacesOutUntilRevoked) {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    // Created without aggregation, and only from a known class.
    Counted object;
    MULTI_QI query{&IID_IDispatch, nullptr, S_OK};
    EXPECT_EQ(CoCreateInstanceEx(CLSID_StdGlobalInterfaceTable, &object, CLSCTX_INPROC_SERVER,
                                 nullptr, 1, &query),
              CLASS_E_NOAGGREGATION);
    const CLSID unknown = {0x12345678, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
    EXPECT_EQ(CoCreateInstanceEx(unknown, nullptr, CLSCTX_INPROC_SERVER, nullptr, 1, &query),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CoCreateInstanceEx(unknown, nullptr, CLSCTX_LOCAL_SERVER, nullptr, 0, &query),
              E_INVALIDARG);
    IGlobalInterfaceTable* table = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IGlobalInterfaceTable, reinterpret_cast<void**>(&table)),
              S_OK);
    DWORD cookie = 0;
    ASSERT_EQ(table->RegisterInterfaceInGlobal(&object, IID_IDispatch, &cookie), S_OK);
    EXPECT_NE(cookie, 0u);
    EXPECT_EQ(object.references(), 1);

    EXPECT_EQ(table->RevokeInterfaceFromGlobal(cookie), S_OK);
    EXPECT_EQ(object.references(), 0);
    EXPECT_EQ(table->RevokeInterfaceFromGlobal(cookie), E_INVALIDARG);
    void* stale = &object;
    EXPECT_EQ(table->GetInterfaceFromGlobal(cookie, IID_IDispatch, &stale), E_INVALIDARG);
    EXPECT_EQ(stale, nullptr);
    table->Release();
    CoUninitialize();
}

}  // namespace
