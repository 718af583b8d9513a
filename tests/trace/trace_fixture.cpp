// TraceFixture.
#include "trace_fixture.h"

#include "child_process.h"
#include "platform/registry_store.h"
#include "platform/winreg.h"

namespace cx::test {

TraceFixture::TraceFixture() { CxRegistrySetPath(directory_.File("registry.db").c_str()); }

TraceFixture::~TraceFixture() { CxRegistrySetPath(nullptr); }

void TraceFixture::SetValue(const std::string& subkey, const char* name, DWORD type,
                            const void* data, DWORD size) {
    std::string path = "SOFTWARE\\Debug" + (subkey.empty() ? "" : "\\" + subkey);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

void TraceFixture::SetDword(const std::string& subkey, const char* name, DWORD value) {
    SetValue(subkey, name, REG_DWORD, &value, sizeof(value));
}

void TraceFixture::SetText(const std::string& subkey, const char* name, const std::string& text,
                           DWORD type) {
    SetValue(subkey, name, type, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

void TraceFixture::UseTraceFile(DWORD level) {
    SetDword(kApplication, "FileDebugLevel", level);
    SetText(kApplication, "TraceFile", TracePath());
}

std::string TraceFixture::TraceText() const { return ReadFile(TracePath()); }

}  // namespace cx::test
