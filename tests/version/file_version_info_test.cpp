// CFileVersionInfo: strings by language, the language of a file, failures, and the package
// note our own build writes into shared objects.
#include <gtest/gtest.h>

#include <string>

#include "base/file_version_info.h"
#include "images.h"
#include "platform/errors.h"
#include "temp_dir.h"

namespace {

using cx::test::PeVersionLayout;

class FileVersionInfoTest : public ::testing::Test {
  protected:
    void SetUp() override {
        PeVersionLayout layout;
        layout.tables = {
            {"040704E4", {{"CompanyName", u"Catalix GmbH"}}},
            {"040904B0", {{"CompanyName", u"Catalix"}, {"FileVersion", u"4.2.10.1"}}},
        };
        layout.translations = {0x04B00409, 0x04E40407};  // English listed first
        path_ = dir_.File("CX_MIB.dll");
        cx::test::WriteFile(path_, cx::test::BuildPeImage(layout));
    }

    cx::test::TempDir dir_;
    std::string path_;
};

// Language 0 takes the first translation listed, another language its own table.
TEST_F(FileVersionInfoTest, StringsComeFromTheTableOfTheLanguage) {
    struct Case {
        WORD language;
        const char* name;
        const char* value;
        DWORD error;
    } const cases[] = {
        {0, "CompanyName", "Catalix", 0},
        {0, "FileVersion", "4.2.10.1", 0},
        {0x0407, "CompanyName", "Catalix GmbH", 0},
        {0x0407, "FileVersion", "", ERROR_RESOURCE_TYPE_NOT_FOUND},  // not in German
        {0x040C, "CompanyName", "", ERROR_RESOURCE_TYPE_NOT_FOUND},  // not listed
    };
    for (const Case& c : cases) {
        CFileVersionInfo info;
        EXPECT_STREQ(info.QueryValue(path_.c_str(), c.name, c.language), c.value) << c.name;
        EXPECT_EQ(info.LastError(), c.error) << c.language << " " << c.name;
    }
    CFileVersionInfo info(path_.c_str());
    EXPECT_STREQ(info.QueryValue(nullptr, "CompanyName"), "Catalix");
    EXPECT_EQ(info.ValueLength(), 8u);
    EXPECT_EQ(info.GetLanguage(), 0x0409);
}

// The reasons a file has no version data are those of GetFileVersionInfoSizeA; whatever the
// reason, callers get the empty text, never NULL.
TEST_F(FileVersionInfoTest, FailuresGiveTheEmptyTextAndTheErrorAndArgumentsAreChecked) {
    CFileVersionInfo missing(dir_.File("missing.dll").c_str());
    const char* value = missing.QueryValue(nullptr, "CompanyName");
    ASSERT_NE(value, nullptr);
    EXPECT_STREQ(value, "");
    EXPECT_EQ(missing.LastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(missing.GetLanguage(), 0);
    EXPECT_EQ(missing.LastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    CFileVersionInfo no_path;
    EXPECT_STREQ(no_path.QueryValue(nullptr, "CompanyName"), "");
    EXPECT_STREQ(no_path.QueryValue(path_.c_str(), nullptr), "");
    EXPECT_EQ(no_path.LastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    DWORD size = CFileVersionInfo::GetVersionInfoSize(path_.c_str());
    ASSERT_GT(size, 0u);
    EXPECT_FALSE(CFileVersionInfo::GetVersionInfo(path_.c_str(), nullptr, size));
    std::string buffer(size, '\0');
    EXPECT_FALSE(CFileVersionInfo::GetVersionInfo(path_.c_str(), buffer.data(), 0));
    ASSERT_TRUE(CFileVersionInfo::GetVersionInfo(path_.c_str(), buffer.data(), size));
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
    struct Case {
        const char* name;
        const char* value;
    } cases[] = {
        {"FileDescription", "Version \"probe\" of the tests"},
        {"CompanyName", "Catalix"},
        {"FileVersion", "4.2.10.1"},
        {"ProductVersion", "4.2"},
        {"InternalName", "CX_PROBE"},
    };
    for (const auto& c : cases) {
        EXPECT_STREQ(info.QueryValue(nullptr, c.name), c.value) << c.name;
        EXPECT_EQ(info.LastError(), 0u) << c.name;
    }
    EXPECT_EQ(info.GetLanguage(), 0x0409);
}

}  // namespace
