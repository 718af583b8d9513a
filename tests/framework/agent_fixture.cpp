// The fixture of the tests through the entry points.
#include "agent_fixture.h"

#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/registry_store.h"
#include "platform/winreg.h"

namespace cx::test {

void AgentTest::SetUp() {
    CxRegistrySetPath(dir_.File("registry.db").c_str());
    WriteString("SOFTWARE\\Arvenmark\\#Setup", "DataRoot", dir_.Path());
    std::string debug_key = std::string("SOFTWARE\\Debug\\") + kAgentName;
    WriteDword(debug_key.c_str(), "FileDebugLevel", 5);
    WriteString(debug_key.c_str(), "TraceFile", dir_.File("trace.txt"));
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

void AgentTest::WriteString(const char* key, const char* value, const std::string& text) const {
    HKEY handle = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &handle, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(handle, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(text.size() + 1));
    RegCloseKey(handle);
}

void AgentTest::WriteDword(const char* key, const char* value, DWORD number) const {
    HKEY handle = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &handle, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(handle, value, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                   sizeof(number));
    RegCloseKey(handle);
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

std::string AgentTest::TraceText() const {
    std::ifstream file(dir_.File("trace.txt"));
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::size_t AgentTest::TraceCount(const std::string& text) const {
    std::string trace = TraceText();
    std::size_t count = 0;
    for (std::size_t at = trace.find(text); at != std::string::npos;
         at = trace.find(text, at + text.size())) {
        ++count;
    }
    return count;
}

bool AgentTest::WaitFor(const std::function<bool()>& condition, int timeout_ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

BOOL AgentTest::Request(BYTE type, const std::vector<std::string>& oids) {
    SnmpUtilVarBindListFree(&list_);
    list_ = MakeBindings(oids);
    status_ = -1;
    index_ = -1;
    return service_.Query(type, &list_, &status_, &index_);
}

}  // namespace cx::test
