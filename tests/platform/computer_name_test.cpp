// The computer-name calls: the names agree with each other and with the host name, and the
// buffer contract is the Windows one.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <string>

#include "platform/windows.h"

namespace {

std::string Name(COMPUTER_NAME_FORMAT format) {
    char buffer[300] = {};
    DWORD size = sizeof(buffer);
    EXPECT_TRUE(GetComputerNameExA(format, buffer, &size)) << format;
    EXPECT_EQ(size, std::string(buffer).size()) << format;
    return buffer;
}

std::string HostLabel() {
    char host[256] = {};
    gethostname(host, sizeof(host) - 1);
    std::string name(host);
    return name.substr(0, name.find('.'));
}

TEST(ComputerName, NamesAgreeWithTheHostName) {
    const std::string label = HostLabel();
    ASSERT_FALSE(label.empty());
    EXPECT_EQ(Name(ComputerNameDnsHostname), label);
    EXPECT_EQ(Name(ComputerNamePhysicalDnsHostname), label);

    std::string netbios = label.substr(0, MAX_COMPUTERNAME_LENGTH);
    for (char& c : netbios)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(Name(ComputerNameNetBIOS), netbios);
    EXPECT_EQ(Name(ComputerNamePhysicalNetBIOS), netbios);

    // The fully qualified name is the host label, then the domain when there is one.
    const std::string full = Name(ComputerNameDnsFullyQualified);
    const std::string domain = Name(ComputerNameDnsDomain);
    EXPECT_EQ(full, domain.empty() ? full.substr(0, full.find('.'))
                                   : full.substr(0, full.find('.')) + "." + domain);
    EXPECT_EQ(Name(ComputerNamePhysicalDnsFullyQualified), full);
}

struct SmallBufferCase {
    const char* what;
    bool extended;  // GetComputerNameExA, else GetComputerNameA
    DWORD error;
};

TEST(ComputerName, TooSmallBufferReportsTheSizeNeeded) {
    const std::string full = Name(ComputerNameDnsFullyQualified);
    const std::string netbios = Name(ComputerNameNetBIOS);
    for (const SmallBufferCase& c :
         {SmallBufferCase{"ex", true, static_cast<DWORD>(ERROR_MORE_DATA)},
          SmallBufferCase{"plain", false, static_cast<DWORD>(ERROR_BUFFER_OVERFLOW)}}) {
        const std::string& name = c.extended ? full : netbios;
        const DWORD needed = static_cast<DWORD>(name.size() + 1);
        auto call = [&c](char* buffer, DWORD* size) {
            return c.extended ? GetComputerNameExA(ComputerNameDnsFullyQualified, buffer, size)
                              : GetComputerNameA(buffer, size);
        };
        char buffer[300];
        std::memset(buffer, 'x', sizeof(buffer));
        // One character short: nothing is written, the size needed comes back.
        DWORD size = needed - 1;
        EXPECT_FALSE(call(buffer, &size)) << c.what;
        EXPECT_EQ(GetLastError(), c.error) << c.what;
        EXPECT_EQ(size, needed) << c.what;
        EXPECT_EQ(buffer[0], 'x') << c.what;
        // The size asked for without a buffer.
        size = 0;
        EXPECT_FALSE(call(nullptr, &size)) << c.what;
        EXPECT_EQ(size, needed) << c.what;
        // Exactly the size needed.
        size = needed;
        EXPECT_TRUE(call(buffer, &size)) << c.what;
        EXPECT_EQ(size, needed - 1) << c.what;
        EXPECT_EQ(std::string(buffer), name) << c.what;
    }
}

TEST(ComputerName, BadArgumentsAreRefused) {
    char buffer[64];
    DWORD size = sizeof(buffer);
    EXPECT_FALSE(GetComputerNameExA(ComputerNameMax, buffer, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(GetComputerNameExA(static_cast<COMPUTER_NAME_FORMAT>(-1), buffer, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(GetComputerNameExA(ComputerNameNetBIOS, buffer, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(GetComputerNameA(buffer, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
