// PE version resources through GetFileVersionInfoSizeA, GetFileVersionInfoA and
// VerQueryValueA: strings, translations, the fixed part, and damaged images.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "images.h"
#include "platform/errors.h"
#include "platform/version.h"
#include "temp_dir.h"

namespace {

using cx::test::BuildPeImage;
using cx::test::PeVersionLayout;

PeVersionLayout TwoLanguages() {
    PeVersionLayout layout;
    layout.tables = {
        {"040904B0",
         {{"CompanyName", u"Catalix"},
          {"FileDescription", u"Inventory agent"},
          {"FileVersion", u"4.2.10.1"},
          {"Empty", u""}}},
        {"040704e4", {{"CompanyName", u"Catalix GmbH"}, {"Umlaut", u"Gr\u00FC\u00DFe \U0001F600"}}},
    };
    layout.translations = {0x04B00409, 0x04E40407};
    return layout;
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
    cx::test::TempDir dir;
    for (bool plus : {false, true}) {
        PeVersionLayout layout = TwoLanguages();
        layout.pe32_plus = plus;
        cx::test::WriteFile(dir.File("agent.dll"), BuildPeImage(layout));
        std::vector<BYTE> block = BlockOf(dir.File("agent.dll"));
        ASSERT_FALSE(block.empty());
        struct Case {
            const char* sub_block;
            std::string value;
        } cases[] = {
            {"\\StringFileInfo\\040904B0\\CompanyName", "Catalix"},
            {"\\StringFileInfo\\040904B0\\FileDescription", "Inventory agent"},
            {"\\StringFileInfo\\040904b0\\companyname", "Catalix"},  // without regard to case
            {"StringFileInfo\\040904B0\\FileVersion", "4.2.10.1"},
            {"\\StringFileInfo\\040904B0\\Empty", ""},
            {"\\StringFileInfo\\040704E4\\CompanyName", "Catalix GmbH"},
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
        ASSERT_EQ(length, 8u);
        DWORD pairs[2];
        std::memcpy(pairs, value, sizeof(pairs));
        EXPECT_EQ(pairs[0], 0x04B00409u);
        EXPECT_EQ(pairs[1], 0x04E40407u);
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
    std::vector<std::uint8_t> no_resources = BuildPeImage(TwoLanguages());
    no_resources[0x40 + 24 + 96 + 16] = 0;  // the resource directory's address
    no_resources[0x40 + 24 + 96 + 17] = 0;
    std::vector<std::uint8_t> damaged_block = BuildPeImage(TwoLanguages());
    damaged_block[0x200 + 0x58 + 6] = 'X';  // the root key is no longer VS_VERSION_INFO
    struct Case {
        std::string name;
        std::vector<std::uint8_t> bytes;
        DWORD error;
    } cases[] = {
        {"text.txt", {'h', 'e', 'l', 'l', 'o'}, ERROR_BAD_EXE_FORMAT},
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
    cx::test::WriteFile(dir.File("agent.dll"), BuildPeImage(TwoLanguages()));
    std::vector<BYTE> part(20);
    EXPECT_TRUE(GetFileVersionInfoA(dir.File("agent.dll").c_str(), 0, 20, part.data()));
    EXPECT_FALSE(GetFileVersionInfoA(dir.File("agent.dll").c_str(), 0, 4, part.data()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    LPVOID value = nullptr;
    UINT length = 0;
    const BYTE garbage[16] = {1, 2, 3, 4};
    EXPECT_FALSE(VerQueryValueA(nullptr, "\\", &value, &length));
    EXPECT_FALSE(VerQueryValueA(garbage, nullptr, &value, &length));
    EXPECT_FALSE(VerQueryValueA(garbage, "\\", &value, &length));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
