// The rules of the software collectors that need no agent: driver names in both forms, the
// operating system's texts per platform, os-release and dpkg status text, the language, and
// the dpkg-query child.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "platform/msi.h"
#include "platform/os_info.h"
#include "platform/registry_store.h"
#include "registry_values.h"
#include "scoped_env.h"
#include "software_steps.h"
#include "temp_dir.h"
#include "text_rows.h"

namespace cx::test {
namespace {

using cx::software::CPsApi;
using cx::software::DriverCandidates;
using cx::software::IsDriverExtension;
using cx::software::SplitDriverName;

TEST(DriverNames, NormalisedAndLookedForWhereTheSystemKeepsThem) {
    ScopedEnv system_root("SystemRoot", "C:\\WINDOWS");
    for (const DataRow& row : ReadPlainRows(CX_SOFTWARE_DATA "/driver-names")) {
        SCOPED_TRACE(row[0]);
        char path[260];
        std::snprintf(path, sizeof(path), "%s", row[0].c_str());
        CPsApi::NormalizeDriverPath(path, sizeof(path));
        auto parts = SplitDriverName(path);
        EXPECT_EQ(IsDriverExtension(parts), row[1] == "1");
        if (row[1] == "1") {
            EXPECT_EQ(DriverCandidates(parts, "C:\\WINDOWS"), DataRow(row.begin() + 2, row.end()));
        }
    }
}

TEST(DriverNames, SystemRootIsKeptWhenItCannotBeExpandedIntoTheBuffer) {
    char path[64] = "\\SystemRoot\\system32\\drivers\\ntfs.sys";
    {
        ScopedEnv system_root("SystemRoot", std::string(40, 'D'));
        EXPECT_EQ(CPsApi::NormalizeDriverPath(path, sizeof(path)), std::strlen(path));
        EXPECT_STREQ(path, "\\SystemRoot\\system32\\drivers\\ntfs.sys");
    }
    ScopedEnv unset("SystemRoot", "");
    unsetenv("SystemRoot");
    CPsApi::NormalizeDriverPath(path, sizeof(path));
    EXPECT_STREQ(path, "\\SystemRoot\\system32\\drivers\\ntfs.sys");
}

struct OsRow {
    DWORD platform;
    const char* csd;
    const CxOsRelease* release;
    const char* vendor;
    const char* prod_name;
    const char* version;
    const char* object;
};

TEST(OsTexts, WindowsIdsKeepTheirNamesAndLinuxReportsTheDistribution) {
    CxOsRelease vendor_release;
    vendor_release.name = "Catalix Linux";
    vendor_release.vendor_name = "Catalix";
    vendor_release.pretty_name = "Catalix Linux 3 (Teal)";
    CxOsRelease plain_release;
    plain_release.name = "Arvenmark Linux";
    const OsRow rows[] = {
        {VER_PLATFORM_WIN32_NT, "Service Pack 1", nullptr, "Microsoft", "Windows NT",
         "5.2 Build 3790 Service Pack 1", "OperatingSystem:Win"},
        {7, "", nullptr, "Microsoft", "not detected", "5.2 Build 3790 ", "OperatingSystem:Win"},
        {CX_VER_PLATFORM_LINUX, "3 (Teal)", &vendor_release, "Catalix", "Catalix Linux 3 (Teal)",
         "5.2 Build 3790 3 (Teal)", "OperatingSystem:Linux"},
        {CX_VER_PLATFORM_LINUX, "", &plain_release, "Arvenmark Linux", "Arvenmark Linux",
         "5.2 Build 3790 ", "OperatingSystem:Linux"},
        {CX_VER_PLATFORM_LINUX, "", nullptr, "Linux", "Linux", "5.2 Build 3790 ",
         "OperatingSystem:Linux"},
    };
    for (const OsRow& row : rows) {
        SCOPED_TRACE(row.prod_name);
        OSVERSIONINFOA version{sizeof(OSVERSIONINFOA), 5, 2, 3790, row.platform, {}};
        std::snprintf(version.szCSDVersion, sizeof(version.szCSDVersion), "%s", row.csd);
        auto texts = cx::software::OsTextsFor(version, row.release);
        EXPECT_EQ(texts.vendor, row.vendor);
        EXPECT_EQ(texts.prod_name, row.prod_name);
        EXPECT_EQ(texts.firmware_object, row.object);
        EXPECT_EQ(cx::software::OsVersionText(version), row.version);
    }
}

TEST(OsRelease, QuotingCommentsAndBrokenLines) {
    const std::string text =
        "# comment\r\n"
        "  NAME=\"Catalix \\\"Teal\\\" Linux\"\r\n"
        "VERSION='3 (Teal)'   # trailing comment\n"
        "ID=catalix\n"
        "PRETTY_NAME=\"never closed\n"
        "VENDOR_NAME=Catalix trailing words\n"
        "no assignment here\n"
        "VERSION_ID=3";
    CxOsRelease release;
    CxParseOsRelease(text.data(), text.size(), &release);
    EXPECT_EQ(release.name, "Catalix \"Teal\" Linux");
    EXPECT_EQ(release.version, "3 (Teal)");
    EXPECT_EQ(release.id, "catalix");
    EXPECT_EQ(release.version_id, "3");
    EXPECT_EQ(release.pretty_name, "");
    EXPECT_EQ(release.vendor_name, "");
    EXPECT_EQ(release.bad_lines, 3u);
}

TEST(Language, LocaleNamesGiveWindowsLanguageIds) {
    const std::pair<const char*, LANGID> rows[] = {{"en_US.UTF-8", 0x0409},
                                                   {"de_DE", 0x0407},
                                                   {"de_AT@euro", 0x0C07},
                                                   {"C", 0x0409},
                                                   {"POSIX", 0x0409},
                                                   {"C.UTF-8", 0x0409},
                                                   {"fr", 0x040C},
                                                   {"pt_BR.UTF-8", 0x0416},
                                                   {"de_XX", 0x0407},
                                                   {"xx_YY", 0x0409},
                                                   {"", 0x0409},
                                                   {"zh_TW.Big5", 0x0404}};
    for (const auto& [locale, id] : rows)
        EXPECT_EQ(CxLangIdFromLocale(locale), id) << locale;

    ScopedEnv all("LC_ALL", "");
    ScopedEnv messages("LC_MESSAGES", "de_CH.UTF-8");
    ScopedEnv lang("LANG", "en_GB.UTF-8");
    EXPECT_EQ(GetSystemDefaultLangID(), 0x0807);
    all.Set("fr_CA");
    EXPECT_EQ(GetSystemDefaultLangID(), 0x0C0C);
}

TEST(DpkgStatus, TheInstalledStanzaOfThePackageWinsAndBrokenOnesAreSkipped) {
    const std::string text = ReadFile(CX_SOFTWARE_DATA "/dpkg/status");
    struct Row {
        const char* package;
        bool installed;
        const char* version;
    } const rows[] = {
        {"catalix", true, "4.2.10-1"},
        {"catalix:amd64", true, "4.2.10-1"},
        {"arvenmark-tools", true, "2.1-1"},
        {"catalix-extra", false, ""},  // only in a stanza that names two packages
        {"missing", false, ""},
    };
    for (const Row& row : rows) {
        CxDpkgLookup lookup;
        CxFindDpkgVersion(text.data(), text.size(), row.package, &lookup);
        EXPECT_EQ(lookup.installed, row.installed) << row.package;
        EXPECT_EQ(lookup.version, row.version) << row.package;
        EXPECT_EQ(lookup.broken_stanzas, 2u);
    }
    for (const char* name : {"catalix", "lib++-dev", "a.b:i386", "x1"}) {
        EXPECT_TRUE(CxIsDpkgPackageName(name)) << name;
    }
    for (const char* name : {"-rf", "a", "Catalix", "a b", "a;b", "a/b", "a:", ""}) {
        EXPECT_FALSE(CxIsDpkgPackageName(name)) << name;
    }
}

// Whether `pid` is a process that has not ended (a zombie has).
bool Running(pid_t pid) {
    const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t state = stat.rfind(") ");
    return state != std::string::npos && stat[state + 2] != 'Z' && stat[state + 2] != 'X';
}

// The dpkg-query child gets no descriptor of ours, and once its time is up it is killed with
// what it started, also when it closed its output early; the status file answers then.
TEST(DpkgQuery, TheChildInheritsNothingAndEndsByItsDeadline) {
    TempDir dir;
    CxRegistrySetPath(dir.File("registry.db").c_str());
    SetRegString("SOFTWARE\\Classes\\Installer\\Products\\{P}", "Package", "catalix");
    ScopedEnv admin("CX_DPKG_ADMINDIR", CX_SOFTWARE_DATA "/dpkg");
    // What a host holds without close-on-exec, as net-snmp holds its sockets.
    const int held = open(dir.File("held").c_str(), O_WRONLY | O_CREAT, 0600);
    const struct {
        const char* name;
        const char* script;
        const char* time_scale;  // 10: the 5 s limit lasts 0.5 s
        UINT result;
    } fakes[] = {
        {"lists-fds", "exec ls /proc/self/fd > \"$0.out\"\n", "1", ERROR_UNKNOWN_PRODUCT},
        {"hangs", "sleep 60 >/dev/null &\necho $$ $! > \"$0.out\"\nexec >&-\nwait\n", "10",
         ERROR_SUCCESS},
    };
    ScopedEnv query("CX_DPKG_QUERY", ""), scale("CX_TIME_SCALE", "1");
    for (const auto& fake : fakes) {
        const std::string path = dir.File(fake.name);
        WriteFile(path, std::string("#!/bin/sh\n") + fake.script);
        chmod(path.c_str(), 0755);
        query.Set(path);
        scale.Set(fake.time_scale);
        char version[64] = {};
        DWORD size = sizeof(version);
        EXPECT_EQ(MsiGetProductInfoA("{P}", "VersionString", version, &size), fake.result);
        EXPECT_STREQ(version, fake.result == ERROR_SUCCESS ? "4.2.10-1" : "");
    }
    // 3 is the directory ls reads.
    EXPECT_EQ(ReadFile(dir.File("lists-fds.out")), "0\n1\n2\n3\n");
    pid_t shell = 0, sleeper = 0;
    std::istringstream(ReadFile(dir.File("hangs.out"))) >> shell >> sleeper;
    ASSERT_GT(sleeper, 0);
    EXPECT_NE(kill(shell, 0), 0) << "reaped";
    EXPECT_TRUE(WaitUntil([&] { return !Running(sleeper); })) << "killed with its group";
    close(held);
    CxRegistrySetPath(nullptr);
}

}  // namespace
}  // namespace cx::test
