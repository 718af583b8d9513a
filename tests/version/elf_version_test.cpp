// ELF version data: our build's package note, notes of other layouts, kernel-module strings.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "images.h"
#include "platform/errors.h"
#include "platform/version_resource.h"

namespace {

using cx::test::BuildElfImage;
using cx::test::BuildPackageNote;

// The strings of the one table 040904B0 as name=value; in the order of their names.
std::string StringsOf(const CxVersionResource& resource) {
    std::map<std::string, std::string> strings;
    for (const auto& table : resource.string_tables) {
        EXPECT_EQ(table.key, "040904B0");
        for (const auto& item : table.strings)
            strings[item.name] = item.value;
    }
    std::string text;
    for (const auto& [name, value] : strings)
        text += name + "=" + value + ";";
    return text;
}

DWORD Read(const std::vector<std::uint8_t>& image, CxVersionResource* resource) {
    CxMemoryByteSource source(image.data(), image.size());
    return CxReadVersionResource(source, resource);
}

TEST(ElfVersion, PackageNoteInEachLayout) {
    const std::string json =
        R"({"type":"deb","name":"cx-mib","version":"4.2.10-1","CompanyName":"Catalix",)"
        R"("FileDescription":"Inventory \"agent\"","nested":{"a":[1,2,{"b":null}]},"n":1.5e3})";
    for (bool wide : {false, true}) {
        for (bool big_endian : {false, true}) {
            std::vector<std::uint8_t> image = BuildElfImage(
                {{".note.package", 7, BuildPackageNote(json, big_endian)}}, 3, wide, big_endian);
            CxVersionResource resource;
            ASSERT_EQ(Read(image, &resource), static_cast<DWORD>(ERROR_SUCCESS))
                << wide << big_endian;
            // The note's own name and version stand in for the missing strings.
            EXPECT_EQ(
                StringsOf(resource),
                "CompanyName=Catalix;FileDescription=Inventory \"agent\";FileVersion=4.2.10-1;"
                "InternalName=cx-mib;ProductName=cx-mib;ProductVersion=4.2.10-1;name=cx-mib;"
                "type=deb;version=4.2.10-1;");
            ASSERT_EQ(resource.translations, std::vector<DWORD>{0x04B00409});
            EXPECT_EQ(resource.fixed_info.dwFileVersionMS, 0x00040002u);
            EXPECT_EQ(resource.fixed_info.dwFileVersionLS, 0x000A0000u);
            EXPECT_EQ(resource.fixed_info.dwFileType, static_cast<DWORD>(VFT_DLL));
        }
    }
}

TEST(ElfVersion, KernelModuleStrings) {
    const char modinfo[] =
        "license=GPL\0author=First Author <a@example.org>\0author=Second\0"
        "description=Catalix RAID driver\0version=1.2.3\0name=cxraid\0vermagic=6.1.0 SMP";
    std::vector<std::uint8_t> data(modinfo, modinfo + sizeof(modinfo));
    CxVersionResource resource;
    ASSERT_EQ(Read(BuildElfImage({{".modinfo", 1, data}}, 1, true, false), &resource),
              static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(StringsOf(resource),
              "CompanyName=First Author <a@example.org>;FileDescription=Catalix RAID driver;"
              "FileVersion=1.2.3;InternalName=cxraid;ProductVersion=1.2.3;");
    EXPECT_EQ(resource.fixed_info.dwFileType, static_cast<DWORD>(VFT_DRV));
    EXPECT_EQ(resource.fixed_info.dwFileVersionMS, 0x00010002u);
}

TEST(ElfVersion, ImagesWithoutUsableData) {
    const std::vector<std::uint8_t> bad_json = BuildPackageNote("{\"name\":", false);
    const char license_only[] = "license=GPL";
    struct Case {
        const char* what;
        std::vector<std::uint8_t> image;
        DWORD error;
    } cases[] = {
        {"no sections", BuildElfImage({}, 3, true, false), ERROR_RESOURCE_TYPE_NOT_FOUND},
        {"broken JSON", BuildElfImage({{".note.package", 7, bad_json}}, 3, true, false),
         ERROR_RESOURCE_TYPE_NOT_FOUND},
        {"other note owner",
         BuildElfImage({{".note.package", 7, {4,    0,    0,   0,   3,   0, 0,   0,   0x7E, 0x1A,
                                              0xFE, 0xCA, 'G', 'N', 'U', 0, '{', '}', 0,    0}}},
                       3, true, false),
         ERROR_RESOURCE_TYPE_NOT_FOUND},
        {"modinfo without our keys",
         BuildElfImage({{".modinfo", 1, {license_only, license_only + sizeof(license_only)}}}, 1,
                       true, false),
         ERROR_RESOURCE_TYPE_NOT_FOUND},
        {"ELF class 3",
         {0x7F, 'E', 'L', 'F', 3, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         ERROR_BAD_EXE_FORMAT},
        {"short header", {0x7F, 'E', 'L', 'F'}, ERROR_BAD_EXE_FORMAT},
    };
    for (const auto& c : cases) {
        CxVersionResource resource;
        EXPECT_EQ(Read(c.image, &resource), c.error) << c.what;
    }
}

}  // namespace
