// The in-process SNMP service and the fixture of the tests through the entry points.
#include "agent_fixture.h"

#include <cstdlib>

#include "platform/registry_store.h"
#include "platform/synch.h"
#include "platform/winreg.h"
#include "trace_capture.h"

namespace cx::test {

std::string OidText(const AsnObjectIdentifier& oid) {
    std::string text;
    for (UINT i = 0; i < oid.idLength; ++i)
        text += (i > 0 ? "." : "") + std::to_string(oid.ids[i]);
    return text;
}

SnmpVarBindList MakeBindings(const std::vector<std::string>& oids) {
    SnmpVarBindList list{};
    list.len = static_cast<UINT>(oids.size());
    list.list = static_cast<SnmpVarBind*>(SnmpUtilMemAlloc(list.len * sizeof(SnmpVarBind)));
    for (UINT i = 0; i < list.len; ++i) {
        SnmpVarBind& binding = list.list[i];
        binding = SnmpVarBind{};
        binding.value.asnType = ASN_NULL;
        std::vector<UINT> ids;
        for (const char* text = oids[i].c_str(); *text != '\0';) {
            char* end = nullptr;
            ids.push_back(static_cast<UINT>(std::strtoul(text, &end, 10)));
            text = *end != '\0' ? end + 1 : end;
        }
        binding.name.idLength = static_cast<UINT>(ids.size());
        binding.name.ids = static_cast<UINT*>(SnmpUtilMemAlloc(ids.size() * sizeof(UINT) + 1));
        std::copy(ids.begin(), ids.end(), binding.name.ids);
    }
    return list;
}

bool SnmpService::Load(const std::string& library_path) {
    library_ = dlopen(library_path.c_str(), RTLD_NOW | RTLD_LOCAL);
    const char* reason = library_ == nullptr ? dlerror() : nullptr;
    error_ = library_ == nullptr ? (reason != nullptr ? reason : "dlopen failed") : "";
    if (library_ != nullptr && (Symbol<void*>("SnmpExtensionInit") == nullptr ||
                                Symbol<void*>("SnmpExtensionQuery") == nullptr))
        error_ = "entry points missing";
    closed_ = false;
    return error_.empty();
}

BOOL SnmpService::Init(DWORD time_zero) {
    AsnObjectIdentifier view{};
    if (!Symbol<BOOL (*)(DWORD, HANDLE*, AsnObjectIdentifier*)>("SnmpExtensionInit")(
            time_zero, &trap_event_, &view))
        return FALSE;
    views_.push_back(OidText(view));  // the view stays the agent's, as with the real service
    auto init_ex = Symbol<BOOL (*)(AsnObjectIdentifier*)>("SnmpExtensionInitEx");
    // The service asks for further regions until the agent declines; bounded all the same.
    for (int i = 0; init_ex != nullptr && i < 64; ++i) {
        AsnObjectIdentifier more{};
        if (!init_ex(&more)) break;
        views_.push_back(OidText(more));
    }
    return TRUE;
}

BOOL SnmpService::CallTrap(Trap* trap) {
    AsnObjectIdentifier enterprise{};
    Trap out;
    AsnTimeticks time_stamp = 0;
    SnmpVarBindList bindings{};
    BOOL result = Symbol<BOOL (*)(AsnObjectIdentifier*, AsnInteger32*, AsnInteger32*, AsnTimeticks*,
                                  SnmpVarBindList*)>("SnmpExtensionTrap")(
        &enterprise, &out.generic_trap, &out.specific_trap, &time_stamp, &bindings);
    out.enterprise = OidText(enterprise);
    if (result && trap != nullptr) *trap = out;
    // As the SNMP service: the bindings are the service's to free, the enterprise OID the agent's.
    SnmpUtilVarBindListFree(&bindings);
    return result;
}

std::vector<Trap> SnmpService::PollTraps() {
    std::vector<Trap> traps;
    if (trap_event_ == nullptr || WaitForSingleObject(trap_event_, 0) != WAIT_OBJECT_0)
        return traps;
    // The service sends what the agent hands out until it says there is no more.
    for (Trap trap; traps.size() < 1024 && CallTrap(&trap);)
        traps.push_back(trap);
    return traps;
}

void SnmpService::Close() {
    auto close = Symbol<void (*)()>("SnmpExtensionClose");
    if (close != nullptr && !closed_) close();
    closed_ = true;
}

void SnmpService::Unload() {
    if (library_ != nullptr) dlclose(library_);
    library_ = nullptr;
    trap_event_ = nullptr;
}

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

std::string AgentTest::ReadString(const char* key, const char* value) const {
    return ReadRegString(key, value);
}

std::optional<DWORD> AgentTest::ReadDword(const char* key, const char* value) const {
    HKEY handle = nullptr;
    DWORD type = 0;
    DWORD number = 0;
    DWORD size = sizeof(number);
    const bool read =
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &handle) == ERROR_SUCCESS &&
        RegQueryValueExA(handle, value, nullptr, &type, reinterpret_cast<BYTE*>(&number), &size) ==
            ERROR_SUCCESS &&
        type == REG_DWORD && size == sizeof(number);
    if (handle != nullptr) RegCloseKey(handle);
    return read ? std::optional<DWORD>(number) : std::nullopt;
}

bool AgentTest::KeyExists(const char* key) const {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
    RegCloseKey(handle);
    return true;
}

std::string AgentTest::RunState() const { return AgentRunState(kAgentName); }

std::string AgentTest::TraceText() const { return ReadFile(dir_.File("trace.txt")); }

std::size_t AgentTest::TraceCount(const std::string& text) const {
    return Occurrences(TraceText(), text);
}

BOOL AgentTest::Request(BYTE type, const std::vector<std::string>& oids, BYTE value_type,
                        LONG number) {
    SnmpUtilVarBindListFree(&list_);
    list_ = MakeBindings(oids);
    for (UINT i = 0; i < list_.len; ++i) {
        list_.list[i].value.asnType = value_type;
        list_.list[i].value.asnValue.number = number;
    }
    status_ = -1;
    index_ = -1;
    return service_.Query(type, &list_, &status_, &index_);
}

}  // namespace cx::test
