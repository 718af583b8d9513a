// Values of the test's own registry (HKEY_LOCAL_MACHINE of the store this process uses), set
// and read as tests arrange them, and the SNMP service state the host publishes there.
#pragma once

#include <optional>
#include <string>

#include "platform/windef.h"

namespace cx::test {

// Each creates the key when needed; a failure is reported as a test failure.
void SetRegString(const std::string& key, const char* name, const std::string& text);
void SetRegDword(const std::string& key, const char* name, DWORD value);
// One string per element; `strings` holds them separated by NULs ("a" + '\0' + "b").
void SetRegMultiString(const std::string& key, const char* name, const std::string& strings);
void DeleteRegValue(const std::string& key, const char* name);
// The text of a string value (at most 255 characters), or "" when it cannot be read.
std::string ReadRegString(const std::string& key, const char* name);
// An agent's run state under "#Status" ("started" once it has built its MIB).
std::string AgentRunState(const char* agent);
// Whether the host published the SNMP service as running.
bool SnmpServiceRunning();
// A value of any type from its raw bytes, the key created when needed.
void SetRegValue(const std::string& key, const char* name, DWORD type, const std::string& bytes);
// A REG_DWORD value, or nothing when it is missing or of another type.
std::optional<DWORD> ReadRegDword(const std::string& key, const char* name);
// The SNMP service state the host published, as QueryServiceStatus reports it; 0 when a call
// fails.
DWORD SnmpServiceState();

}  // namespace cx::test
