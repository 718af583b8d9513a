// The fixture of the tests through the entry points.
#include "agent_fixture.h"

#include <cstring>

#include "platform/registry_store.h"
#include "platform/winreg.h"
#include "trace_capture.h"

namespace cx::test {

void AgentTest::SetUp() {
    CxRegistrySetPath(dir_.File("registry.db").c_str());
    SetRegString("SOFTWARE\\Arvenmark\\#Setup", "DataRoot", dir_.Path());
    TraceToFile(kAgentName, dir_.File("trace.txt"));
}

void AgentTest::TearDown() {
    SnmpUtilVarBindListFree(&list_);
    service_.Unload();
    switchd_.reset();
}

void AgentTest::StartSwitch(const std::string& scenario) {
    switchd_ = std::make_unique<SwitchdProcess>(dir_);
    switchd_->RegisterClass();
    ASSERT_TRUE(switchd_->Start(scenario));
}

void AgentTest::LoadAndInit(bool wait_started) {
    ASSERT_TRUE(service_.Load(CX_FWTEST_AGENT_PATH)) << service_.error();
    ASSERT_TRUE(service_.Init(100));
    if (wait_started) {
        ASSERT_TRUE(WaitForRunState("started")) << RunState();
    }
}

namespace {

// The value's bytes and type, or nothing when the key or the value is missing.
std::optional<std::string> ReadValue(const char* key, const char* value, DWORD* type) {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &handle) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    BYTE buffer[1024] = {};
    DWORD size = sizeof(buffer) - 1;
    LONG result = RegQueryValueExA(handle, value, nullptr, type, buffer, &size);
    RegCloseKey(handle);
    if (result != ERROR_SUCCESS) return std::nullopt;
    return std::string(reinterpret_cast<const char*>(buffer), size);
}

}  // namespace

std::optional<std::string> AgentTest::ReadString(const char* key, const char* value) const {
    DWORD type = 0;
    auto bytes = ReadValue(key, value, &type);
    if (!bytes || type != REG_SZ) return std::nullopt;
    return std::string(bytes->c_str());
}

std::optional<DWORD> AgentTest::ReadDword(const char* key, const char* value) const {
    DWORD type = 0;
    auto bytes = ReadValue(key, value, &type);
    if (!bytes || type != REG_DWORD || bytes->size() != sizeof(DWORD)) return std::nullopt;
    DWORD number = 0;
    std::memcpy(&number, bytes->data(), sizeof(number));
    return number;
}

bool AgentTest::KeyExists(const char* key) const {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &handle) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(handle);
    return true;
}

std::string AgentTest::RunState() const {
    return ReadString("SOFTWARE\\Arvenmark\\#Status", kAgentName).value_or("");
}

std::string AgentTest::TraceText() const { return ReadFile(dir_.File("trace.txt")); }

std::size_t AgentTest::TraceCount(const std::string& text) const {
    return Occurrences(TraceText(), text);
}

BOOL AgentTest::Request(BYTE type, const std::vector<std::string>& oids) {
    SnmpUtilVarBindListFree(&list_);
    list_ = MakeBindings(oids);
    status_ = -1;
    index_ = -1;
    return service_.Query(type, &list_, &status_, &index_);
}

}  // namespace cx::test
