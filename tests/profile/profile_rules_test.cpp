// The profile functions against the Windows rules, one group per rule: ordering, deletion,
// case, quotes and blanks, truncation lengths, lists, line ends, numbers and argument checks.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <string>

#include "platform/errors.h"
#include "platform/profile.h"
#include "profile_test_util.h"
#include "temp_dir.h"

namespace {

using cx::test::Flush;
using cx::test::Get;
using cx::test::GetList;
using cx::test::ReadFile;
using cx::test::ReplaceText;
using cx::test::Set;
using cx::test::TempDir;

TEST(ProfileOrdering, NewSectionsGoLastNewKeysLastInTheirSectionReplacedKeysStay) {
    TempDir dir;
    std::string file = dir.File("order.ini");
    ReplaceText(file, "[A]\r\na1=1\r\n\r\n[B]\r\nb1=1\r\n");
    EXPECT_TRUE(Set(file, "A", "a2", "2"));  // after a1, before the blank separator line
    EXPECT_TRUE(Set(file, "C", "c1", "1"));  // a new section at the end
    EXPECT_TRUE(Set(file, "B", "b1", "x"));  // replaced in place
    EXPECT_TRUE(Set(file, "A", "a1", "y"));
    ASSERT_TRUE(Flush(file));
    EXPECT_EQ(ReadFile(file), "[A]\r\na1=y\r\na2=2\r\n\r\n[B]\r\nb1=x\r\n[C]\r\nc1=1\r\n");
}

TEST(ProfileDeletion, NullKeyDeletesTheSectionNullValueTheKey) {
    TempDir dir;
    std::string file = dir.File("delete.ini");
    ReplaceText(file, "[A]\r\nk=1\r\nj=2\r\n[B]\r\nk=3\r\n[a]\r\nk=4\r\n");
    EXPECT_TRUE(Set(file, "B", "k", nullptr));
    EXPECT_TRUE(Set(file, "a", nullptr, "ignored"));
    ASSERT_TRUE(Flush(file));
    EXPECT_EQ(ReadFile(file), "[B]\r\n") << "both sections called A went, with their keys";
    EXPECT_EQ(Get(file, "A", "k", "gone"), "gone");
}

TEST(ProfileDeletion, DeletingWhatIsMissingSucceedsAndCreatesNothing) {
    TempDir dir;
    std::string file = dir.File("never.ini");
    EXPECT_TRUE(Set(file, "S", "k", nullptr));
    EXPECT_TRUE(Set(file, "S", nullptr, "ignored"));
    EXPECT_FALSE(Flush(file));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    struct stat info {};
    EXPECT_NE(stat(file.c_str(), &info), 0);
}

TEST(ProfileCase, NamesCompareWithoutRegardToCaseAndKeepTheirFirstSpelling) {
    TempDir dir;
    std::string file = dir.File("case.ini");
    Set(file, "Last Date", "ScanState", "SCANNING");
    Set(file, "LAST DATE", "scanstate", "DONE");
    EXPECT_EQ(Get(file, "last date", "SCANSTATE"), "DONE");
    ASSERT_TRUE(Flush(file));
    EXPECT_EQ(ReadFile(file), "[Last Date]\r\nScanState=DONE\r\n");
}

TEST(ProfileQuotesAndBlanks, ValuesAreTrimmedAndOnePairOfQuotesRemoved) {
    TempDir dir;
    std::string file = dir.File("quotes.ini");
    struct Case {
        const char* line;
        const char* value;
    };
    const Case cases[] = {
        {"k=plain", "plain"},
        {"  k  =  spaced  ", "spaced"},
        {"k=\"double\"", "double"},
        {"k='single'", "single"},
        {"k=\" kept \"", " kept "},
        {"k=\"mixed'", "\"mixed'"},
        {"k=\"", "\""},
        {"k=\"\"", ""},
        {"k=\"\"inner\"\"", "\"inner\""},
        {"k=a=b", "a=b"},
        {"k=", ""},
        {"k=\ttab\t", "tab"},
    };
    for (const auto& c : cases) {
        ReplaceText(file, std::string("[S]\r\n") + c.line + "\r\n");
        Flush(file);  // forget the previous case's copy
        EXPECT_EQ(Get(file, " S ", " k ", "default"), c.value) << c.line;
    }
}

TEST(ProfileQuotesAndBlanks, DefaultsLoseTrailingBlanksAndQuotes) {
    TempDir dir;
    std::string file = dir.File("defaults.ini");
    EXPECT_EQ(Get(file, "S", "k", "value   "), "value");
    EXPECT_EQ(Get(file, "S", "k", "\"quoted\""), "quoted");
    EXPECT_EQ(Get(file, "S", "k", nullptr), "");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(ProfileQuotesAndBlanks, WrittenValuesAreOneTrimmedLine) {
    TempDir dir;
    std::string file = dir.File("written.ini");
    Set(file, "S", "k", "  padded  ");
    Set(file, "S", "multi", "line one\r\nline two=2\nthree");
    ASSERT_TRUE(Flush(file));
    EXPECT_EQ(ReadFile(file), "[S]\r\nk=padded\r\nmulti=line one  line two=2 three\r\n");
    EXPECT_EQ(Get(file, "S", "line two", "none"), "none") << "no key smuggled in";
}

struct Truncation {
    DWORD size;
    DWORD result;
    const char* bytes;  // the buffer's first result + 2 bytes
    size_t byte_count;
};

TEST(ProfileTruncation, ValuesAreCutToSizeMinusOne) {
    TempDir dir;
    std::string file = dir.File("cut.ini");
    Set(file, "S", "k", "abcdef");
    const Truncation cases[] = {
        {100, 6, "abcdef\0", 7}, {8, 6, "abcdef\0", 7}, {7, 6, "abcdef\0", 7}, {6, 5, "abcde\0", 6},
        {4, 3, "abc\0", 4},      {2, 1, "a\0", 2},      {1, 0, "\0", 1},
    };
    for (const auto& c : cases) {
        char buffer[100];
        std::memset(buffer, 'X', sizeof(buffer));
        DWORD result = GetPrivateProfileStringA("S", "k", "", buffer, c.size, file.c_str());
        EXPECT_EQ(result, c.result) << "size " << c.size;
        EXPECT_EQ(std::string(buffer, c.byte_count), std::string(c.bytes, c.byte_count))
            << "size " << c.size;
        EXPECT_EQ(GetLastError(), c.result < 6 ? static_cast<DWORD>(ERROR_MORE_DATA) : 0u)
            << "size " << c.size;
    }
}

TEST(ProfileTruncation, ListsAreCutToSizeMinusTwoWithTwoNuls) {
    TempDir dir;
    std::string file = dir.File("list.ini");
    for (const char* key : {"a", "bb", "ccc"}) {
        Set(file, "S", key, "1");
    }
    const Truncation cases[] = {
        {100, 9, "a\0bb\0ccc\0\0", 10},
        {10, 9, "a\0bb\0ccc\0\0", 10},  // fills the buffer exactly
        {9, 7, "a\0bb\0cc\0\0", 9},
        {7, 5, "a\0bb\0\0", 7},  // ccc dropped: the list ends after
                                 // bb
        {6, 4, "a\0bb\0\0", 6},
        {4, 2, "a\0\0\0", 4},
        {2, 0, "\0\0", 2},
    };
    for (const auto& c : cases) {
        char buffer[100];
        std::memset(buffer, 'X', sizeof(buffer));
        DWORD result = GetPrivateProfileStringA("S", nullptr, "", buffer, c.size, file.c_str());
        EXPECT_EQ(result, c.result) << "size " << c.size;
        EXPECT_EQ(std::string(buffer, c.byte_count), std::string(c.bytes, c.byte_count))
            << "size " << c.size;
    }
}

TEST(ProfileLists, SectionAndKeyNamesInFileOrderEachOnce) {
    TempDir dir;
    std::string file = dir.File("names.ini");
    ReplaceText(file,
                "; preamble\r\nloose=1\r\n[First]\r\nx=1\r\n; note=1\r\nnovalue\r\ny=2\r\nx=3\r\n"
                "[Second]\r\n[first]\r\nz=4\r\n[]\r\nq=1\r\n");
    EXPECT_EQ(GetList(file, nullptr), "First|Second|");
    EXPECT_EQ(GetList(file, "FIRST"), "x|y|");
    EXPECT_EQ(Get(file, "First", "x"), "1") << "the first of duplicate keys";
    EXPECT_EQ(Get(file, "First", "z", "unseen"), "unseen") << "a repeated section is not read";
    EXPECT_EQ(Get(file, "First", "novalue", "none"), "none");
    EXPECT_EQ(Get(file, "First", "; note", "none"), "none");
    EXPECT_EQ(GetList(file, "Second"), "") << "an empty section lists nothing";
    EXPECT_EQ(Get(file, "Second", nullptr, "fallback"), "fallback");
    EXPECT_EQ(Get(file, "Missing", nullptr, "fallback"), "fallback");
}

TEST(ProfileLists, ChangesKeepEveryLineTheyDoNotTouch) {
    TempDir dir;
    std::string file = dir.File("keep.ini");
    std::string original =
        "; preamble\r\nloose=1\r\n[First]\r\nx=1\r\n; note=1\r\nnovalue\r\nx=3\r\n"
        "[broken\r\n\r\n[first]\r\nz=4\r\n";
    ReplaceText(file, original);
    Set(file, "First", "y", "2");
    ASSERT_TRUE(Flush(file));
    EXPECT_EQ(ReadFile(file),
              "; preamble\r\nloose=1\r\n[First]\r\nx=1\r\n; note=1\r\nnovalue\r\nx=3\r\n"
              "[broken\r\ny=2\r\n\r\n[first]\r\nz=4\r\n");
    Set(file, "First", "x", nullptr);
    ASSERT_TRUE(Flush(file));
    EXPECT_EQ(ReadFile(file),
              "; preamble\r\nloose=1\r\n[First]\r\n; note=1\r\nnovalue\r\n[broken\r\ny=2\r\n"
              "\r\n[first]\r\nz=4\r\n")
        << "a deleted key takes its duplicates with it";
}

TEST(ProfileLineEnds, EveryLineEndAndTheUtf8MarkAreRead) {
    TempDir dir;
    std::string file = dir.File("ends.ini");
    const char* const texts[] = {
        "[S]\r\nk=v\r\nj=w\r\n",         "[S]\nk=v\nj=w\n", "[S]\rk=v\rj=w", "[S]\r\nk=v\nj=w\r",
        "\xEF\xBB\xBF[S]\r\nk=v\r\nj=w", "[S]\0k=v\0j=w\0",
    };
    for (size_t i = 0; i < std::size(texts); ++i) {
        std::string text = i == 5 ? std::string(texts[i], 12) : texts[i];
        ReplaceText(file, text);
        Flush(file);
        EXPECT_EQ(Get(file, "S", "k"), "v") << i;
        EXPECT_EQ(Get(file, "S", "j"), "w") << i;
    }
    Set(file, "S", "k", "changed");
    Flush(file);
    EXPECT_EQ(ReadFile(file), "[S]\r\nk=changed\r\nj=w\r\n") << "NUL line ends become CRLF";
    ReplaceText(file, "\xEF\xBB\xBF[S]\nk=v\n");
    Set(file, "S", "k", "changed");
    Flush(file);
    EXPECT_EQ(ReadFile(file), "\xEF\xBB\xBF[S]\r\nk=changed\r\n") << "the mark is kept";
}

TEST(ProfileNumbers, ReadLikeWindows) {
    TempDir dir;
    std::string file = dir.File("numbers.ini");
    struct Case {
        const char* value;  // nullptr: key missing
        UINT result;
    };
    const Case cases[] = {
        {"42", 42},    {"  42  ", 42}, {"-1", 4294967295u},
        {"+7", 7},     {"0x1F", 31},   {"0o17", 15},
        {"0b101", 5},  {"0X1F", 0},    {"4294967297", 1},
        {"42abc", 42}, {"abc", 0},     {"\"7\"", 7},
        {"", 99},      {nullptr, 99},  {"-0x10", 4294967280u},
    };
    for (const auto& c : cases) {
        Set(file, "S", "k", c.value);
        EXPECT_EQ(GetPrivateProfileIntA("S", "k", 99, file.c_str()), c.result)
            << (c.value != nullptr ? c.value : "(missing)");
    }
    Set(file, "S", "k", nullptr);
    EXPECT_EQ(GetPrivateProfileIntA("S", "k", -1, file.c_str()), 4294967295u);
}

TEST(ProfileArguments, RefuseNamesThatCannotBeReadBack) {
    TempDir dir;
    std::string file = dir.File("args.ini");
    struct Case {
        const char* section;
        const char* key;
        const char* value;
        const char* name;
    };
    const Case cases[] = {
        {nullptr, "k", "v", "no section"},
        {"", "k", "v", "empty section"},
        {"  ", "k", "v", "blank section"},
        {"a\nb", "k", "v", "section with a line break"},
        {"S", "", "v", "empty key"},
        {"S", "a=b", "v", "key with ="},
        {"S", ";k", "v", "key like a comment"},
        {"S", "[k", "v", "key like a header"},
        {"S", "a\rb", "v", "key with a line break"},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(WritePrivateProfileStringA(c.section, c.key, c.value, file.c_str())) << c.name;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << c.name;
    }
    EXPECT_FALSE(WritePrivateProfileStringA("S", "k", "v", nullptr));
    EXPECT_FALSE(WritePrivateProfileStringA("S", "k", "v", ""));
    EXPECT_FALSE(Flush(file)) << "nothing was written";
}

TEST(ProfileArguments, ReportWhyAFileCannotBeWritten) {
    TempDir dir;
    EXPECT_FALSE(Set(dir.File("missing/f.ini"), "S", "k", "v"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    std::string readonly = dir.File("readonly.ini");
    ReplaceText(readonly, "[S]\r\nk=v\r\n");
    chmod(readonly.c_str(), 0444);
    EXPECT_FALSE(Set(readonly, "S", "k", "new"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Get(readonly, "S", "k"), "v");
}

}  // namespace
