// Version data: PE version resources, ELF package notes and their JSON, images without any,
// CFileVersionInfo, and the notes our own build writes.
#include <gtest/gtest.h>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "base/file_version_info.h"
#include "child_process.h"
#include "images.h"
#include "platform/errors.h"
#include "platform/version.h"
#include "platform/version_resource.h"
#include "temp_dir.h"
#include "text_rows.h"

namespace {

// The images with the version resource of two languages (English 040904B0, German 040704E4),
// as a 32-bit and a 64-bit PE file.
const std::string kTwoLanguages = CX_TEST_DATA "/version/two_languages.dll";

std::vector<std::uint8_t> Bytes(const std::string& path) {
    const std::string text = cx::test::ReadFile(path);
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

std::vector<BYTE> BlockOf(const std::string& path) {
    DWORD handle = 7;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    EXPECT_EQ(handle, 0u);
    std::vector<BYTE> block(size);
    if (size == 0 || !GetFileVersionInfoA(path.c_str(), 0, size, block.data())) block.clear();
    return block;
}

std::string Query(const std::vector<BYTE>& block, const char* sub_block, UINT* length = nullptr) {
    LPVOID value = nullptr;
    UINT size = 0;
    if (!VerQueryValueA(block.data(), sub_block, &value, &size)) return "<none>";
    if (length != nullptr) *length = size;
    return static_cast<const char*>(value);
}

TEST(PeVersion, StringsTranslationsAndFixedPartOfEachLayout) {
    for (bool plus : {false, true}) {
        std::vector<BYTE> block =
            BlockOf(plus ? CX_TEST_DATA "/version/two_languages_64.dll" : kTwoLanguages);
        ASSERT_FALSE(block.empty());
        struct Case {
            const char* sub_block;
            std::string value;
        } cases[] = {
            {"\\StringFileInfo\\040904B0\\CompanyName", "Catalix"},
            {"\\StringFileInfo\\040904b0\\companyname", "Catalix"},  // without regard to case
            {"StringFileInfo\\040904B0\\FileVersion", "4.2.10.1"},
            {"\\StringFileInfo\\040904B0\\Empty", ""},
            {"\\StringFileInfo\\040704E4\\Umlaut",
             "Gr\xC3\xBC\xC3\x9F"
             "e \xF0\x9F\x98\x80"},
            {"\\StringFileInfo\\040904B0\\Missing", "<none>"},
            {"\\StringFileInfo\\040904B1\\CompanyName", "<none>"},
            {"\\Nothing", "<none>"},
        };
        for (const auto& c : cases)
            EXPECT_EQ(Query(block, c.sub_block), c.value) << c.sub_block << " plus=" << plus;

        UINT length = 0;
        EXPECT_EQ(Query(block, "\\StringFileInfo\\040904B0\\CompanyName", &length), "Catalix");
        EXPECT_EQ(length, 8u);  // characters with the NUL
        LPVOID value = nullptr;
        ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &value, &length));
        EXPECT_EQ(std::string(static_cast<const char*>(value), length),
                  "\x09\x04\xB0\x04\x07\x04\xE4\x04");
        ASSERT_TRUE(VerQueryValueA(block.data(), "\\", &value, &length));
        ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
        VS_FIXEDFILEINFO fixed;
        std::memcpy(&fixed, value, sizeof(fixed));
        EXPECT_EQ(fixed.dwSignature, VS_FFI_SIGNATURE);
        EXPECT_EQ(fixed.dwFileVersionMS, 0x00040002u);
        EXPECT_EQ(fixed.dwFileVersionLS, 0x000A0001u);
    }
}

TEST(PeVersion, RefusedFilesBuffersAndArguments) {
    cx::test::TempDir dir;
    std::vector<std::uint8_t> no_resources = Bytes(kTwoLanguages);
    no_resources[0x40 + 24 + 96 + 16] = 0;  // the resource directory's address
    no_resources[0x40 + 24 + 96 + 17] = 0;
    std::vector<std::uint8_t> damaged_block = Bytes(kTwoLanguages);
    damaged_block[0x200 + 0x58 + 6] = 'X';  // the root key is no longer VS_VERSION_INFO
    struct Case {
        std::string name;
        std::vector<std::uint8_t> bytes;
        DWORD error;
    } cases[] = {
        {"empty.dll", {}, ERROR_BAD_EXE_FORMAT},
        {"mz_only.dll", {'M', 'Z'}, ERROR_BAD_EXE_FORMAT},
        {"no_resources.dll", no_resources, ERROR_RESOURCE_DATA_NOT_FOUND},
        {"damaged.dll", damaged_block, ERROR_RESOURCE_TYPE_NOT_FOUND},
    };
    for (const auto& c : cases) {
        cx::test::WriteFile(dir.File(c.name), c.bytes);
        EXPECT_EQ(GetFileVersionInfoSizeA(dir.File(c.name).c_str(), nullptr), 0u) << c.name;
        EXPECT_EQ(GetLastError(), c.error) << c.name;
    }
    EXPECT_EQ(GetFileVersionInfoSizeA(dir.File("missing.dll").c_str(), nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(GetFileVersionInfoSizeA(dir.Path().c_str(), nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(GetFileVersionInfoSizeA(nullptr, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    // A buffer shorter than the block gets as much of it as fits (the readers stay inside what
    // the block header says; the fuzz target holds them to that), but not less than the header.
    std::vector<BYTE> part(20);
    EXPECT_TRUE(GetFileVersionInfoA(kTwoLanguages.c_str(), 0, 20, part.data()));
    EXPECT_FALSE(GetFileVersionInfoA(kTwoLanguages.c_str(), 0, 4, part.data()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    LPVOID value = nullptr;
    UINT length = 0;
    const BYTE garbage[16] = {1, 2, 3, 4};
    EXPECT_FALSE(VerQueryValueA(nullptr, "\\", &value, &length));
    EXPECT_FALSE(VerQueryValueA(garbage, nullptr, &value, &length));
    EXPECT_FALSE(VerQueryValueA(garbage, "\\", &value, &length));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

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

std::string Members(const std::string& json) {
    std::vector<CxVersionString> members;
    if (!CxParseJsonStringMembers(json.data(), json.size(), &members)) return "<refused>";
    std::string text;
    for (const auto& member : members)
        text += member.name + "=" + member.value + ";";
    return text;
}

TEST(JsonStringMembers, KeepsTopLevelStringsAndRefusesWhatIsNotOneObject) {
    for (const auto& row : cx::test::ReadRows(CX_TEST_DATA "/version/json_members.txt"))
        EXPECT_EQ(Members(row[0]), row[1]) << "row " << row.line << ": " << row[0];
    std::string too_deep = R"({"a":)" + std::string(100, '[') + std::string(100, ']') + "}";
    EXPECT_EQ(Members(too_deep), "<refused>");
}

// Tables 040704E4 (CompanyName) and 040904B0 (CompanyName, FileVersion); English listed first
// among the translations.
const std::string kEnglishFirst = CX_TEST_DATA "/version/english_first.dll";

// Language 0 takes the first translation listed, another language its own table.
TEST(FileVersionInfo, StringsComeFromTheTableOfTheLanguage) {
    struct Case {
        WORD language;
        const char* name;
        const char* value;
        DWORD error;
    } const cases[] = {
        {0, "CompanyName", "Catalix", 0},
        {0x0407, "CompanyName", "Catalix GmbH", 0},
        {0x0407, "FileVersion", "", ERROR_RESOURCE_TYPE_NOT_FOUND},  // not in German
        {0x040C, "CompanyName", "", ERROR_RESOURCE_TYPE_NOT_FOUND},  // not listed
    };
    for (const Case& c : cases) {
        CFileVersionInfo info;
        EXPECT_STREQ(info.QueryValue(kEnglishFirst.c_str(), c.name, c.language), c.value) << c.name;
        EXPECT_EQ(info.LastError(), c.error) << c.language << " " << c.name;
    }
    CFileVersionInfo info(kEnglishFirst.c_str());
    EXPECT_STREQ(info.QueryValue(nullptr, "CompanyName"), "Catalix");
    EXPECT_EQ(info.ValueLength(), 8u);
    EXPECT_EQ(info.GetLanguage(), 0x0409);
}

// The reasons a file has no version data are those of GetFileVersionInfoSizeA; whatever the
// reason, callers get the empty text, never NULL.
TEST(FileVersionInfo, FailuresGiveTheEmptyTextAndTheErrorAndArgumentsAreChecked) {
    CFileVersionInfo missing((kEnglishFirst + ".missing").c_str());
    const char* value = missing.QueryValue(nullptr, "CompanyName");
    ASSERT_NE(value, nullptr);
    EXPECT_STREQ(value, "");
    EXPECT_EQ(missing.LastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(missing.GetLanguage(), 0);
    EXPECT_EQ(missing.LastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    CFileVersionInfo no_path;
    EXPECT_STREQ(no_path.QueryValue(nullptr, "CompanyName"), "");
    EXPECT_STREQ(no_path.QueryValue(kEnglishFirst.c_str(), nullptr), "");
    EXPECT_EQ(no_path.LastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    DWORD size = CFileVersionInfo::GetVersionInfoSize(kEnglishFirst.c_str());
    ASSERT_GT(size, 0u);
    EXPECT_FALSE(CFileVersionInfo::GetVersionInfo(kEnglishFirst.c_str(), nullptr, size));
    std::string buffer(size, '\0');
    EXPECT_FALSE(CFileVersionInfo::GetVersionInfo(kEnglishFirst.c_str(), buffer.data(), 0));
    ASSERT_TRUE(CFileVersionInfo::GetVersionInfo(kEnglishFirst.c_str(), buffer.data(), size));
    WORD language = 0x0407, code_page = 0;
    EXPECT_TRUE(CFileVersionInfo::ContainsLanguageId(buffer.data(), &language, &code_page));
    EXPECT_EQ(code_page, 0x04E4);
    language = 0x0411;
    EXPECT_FALSE(CFileVersionInfo::ContainsLanguageId(buffer.data(), &language, &code_page));
    EXPECT_FALSE(CFileVersionInfo::ContainsLanguageId(nullptr, &language, &code_page));
}

// The build stamps shared objects from the project's CMake; the reader finds those strings.
TEST(PackageNote, OurSharedObjectsCarryTheirVersionStrings) {
    CFileVersionInfo info(CX_VERSION_PROBE_PATH);
    std::string strings;
    for (const char* name :
         {"FileDescription", "CompanyName", "FileVersion", "ProductVersion", "InternalName"})
        strings += std::string(info.QueryValue(nullptr, name)) + "|";
    EXPECT_EQ(strings, "Version \"probe\" of the tests|Catalix|4.2.10.1|4.2|CX_PROBE|");
    EXPECT_EQ(info.LastError(), 0u);
    EXPECT_EQ(info.GetLanguage(), 0x0409);
}

}  // namespace
