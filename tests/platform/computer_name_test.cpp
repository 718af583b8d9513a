// The computer-name calls: the names agree with each other and with the host name, and the
// buffer contract is the Windows one.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <string>

#include "last_error.h"
#include "platform/windows.h"

namespace {

using cx::test::FailedWith;

std::string Name(COMPUTER_NAME_FORMAT format) {
    char buffer[300] = {};
    DWORD size = sizeof(buffer);
    EXPECT_TRUE(GetComputerNameExA(format, buffer, &size)) << format;
    EXPECT_EQ(size, std::string(buffer).size()) << format;
    return buffer;
}

TEST(ComputerName, NamesAgreeWithTheHostName) {
    char host[256] = {};
    gethostname(host, sizeof(host) - 1);
    const std::string label = std::string(host).substr(0, std::string(host).find('.'));
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
    EXPECT_EQ(full, domain.empty() ? label : label + "." + domain);
    EXPECT_EQ(Name(ComputerNamePhysicalDnsFullyQualified), full);
}

// One character short, or no buffer: nothing is written and the size needed comes back;
// exactly the size needed: the name without its NUL.
TEST(ComputerName, BufferSizesAndArgumentsFollowTheWindowsContract) {
    for (bool extended : {true, false}) {
        SCOPED_TRACE(extended ? "GetComputerNameExA" : "GetComputerNameA");
        const std::string name =
            Name(extended ? ComputerNameDnsFullyQualified : ComputerNameNetBIOS);
        const DWORD needed = static_cast<DWORD>(name.size() + 1);
        auto call = [&](char* buffer, DWORD* size) {
            return extended ? GetComputerNameExA(ComputerNameDnsFullyQualified, buffer, size)
                            : GetComputerNameA(buffer, size);
        };
        char buffer[300];
        std::memset(buffer, 'x', sizeof(buffer));
        DWORD size = needed - 1;
        EXPECT_EQ(FailedWith(call(buffer, &size)),
                  static_cast<DWORD>(extended ? ERROR_MORE_DATA : ERROR_BUFFER_OVERFLOW));
        EXPECT_EQ(size, needed);
        EXPECT_EQ(buffer[0], 'x');
        size = 0;
        EXPECT_FALSE(call(nullptr, &size));
        EXPECT_EQ(size, needed);
        EXPECT_TRUE(call(buffer, &size));
        EXPECT_EQ(size, needed - 1);
        EXPECT_EQ(std::string(buffer), name);
        EXPECT_EQ(FailedWith(call(buffer, nullptr)), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    char buffer[64];
    DWORD size = sizeof(buffer);
    for (auto format : {ComputerNameMax, static_cast<COMPUTER_NAME_FORMAT>(-1)})
        EXPECT_EQ(FailedWith(GetComputerNameExA(format, buffer, &size)),
                  static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
