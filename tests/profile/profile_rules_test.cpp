// The profile functions against the Windows rules, one table per rule: ordering, deletion,
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

class ProfileRules : public ::testing::Test {
  protected:
    // `text` on disk, and the cached copy of the previous case forgotten.
    void Start(const std::string& text) {
        ReplaceText(file_, text);
        Flush(file_);
    }
    cx::test::TempDir dir_;
    std::string file_ = dir_.File("rules.ini");
};

TEST_F(ProfileRules, OrderingNewSectionsLastNewKeysLastInTheirSectionReplacedKeysStay) {
    Start("[A]\r\na1=1\r\n\r\n[B]\r\nb1=1\r\n");
    EXPECT_TRUE(Set(file_, "A", "a2", "2"));  // after a1, before the blank separator line
    EXPECT_TRUE(Set(file_, "C", "c1", "1"));  // a new section at the end
    EXPECT_TRUE(Set(file_, "B", "b1", "x"));  // replaced in place
    EXPECT_TRUE(Set(file_, "A", "a1", "y"));
    ASSERT_TRUE(Flush(file_));
    EXPECT_EQ(ReadFile(file_), "[A]\r\na1=y\r\na2=2\r\n\r\n[B]\r\nb1=x\r\n[C]\r\nc1=1\r\n");
}

TEST_F(ProfileRules, DeletionNullKeyTakesTheSectionNullValueTheKeyMissingCreatesNothing) {
    std::string never = dir_.File("never.ini");
    EXPECT_TRUE(Set(never, "S", "k", nullptr));
    EXPECT_TRUE(Set(never, "S", nullptr, "ignored"));
    EXPECT_FALSE(Flush(never));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    struct stat info {};
    EXPECT_NE(stat(never.c_str(), &info), 0);

    Start("[A]\r\nk=1\r\nj=2\r\n[B]\r\nk=3\r\n[a]\r\nk=4\r\n");
    EXPECT_TRUE(Set(file_, "B", "k", nullptr));
    EXPECT_TRUE(Set(file_, "a", nullptr, "ignored"));
    ASSERT_TRUE(Flush(file_));
    EXPECT_EQ(ReadFile(file_), "[B]\r\n") << "both sections called A went, with their keys";
    EXPECT_EQ(Get(file_, "A", "k", "gone"), "gone");
}

TEST_F(ProfileRules, CaseIsIgnoredAndTheFirstSpellingKept) {
    Set(file_, "Last Date", "ScanState", "SCANNING");
    Set(file_, "LAST DATE", "scanstate", "DONE");
    EXPECT_EQ(Get(file_, "last date", "SCANSTATE"), "DONE");
    ASSERT_TRUE(Flush(file_));
    EXPECT_EQ(ReadFile(file_), "[Last Date]\r\nScanState=DONE\r\n");
}

// Values read lose blanks and one pair of quotes; defaults lose trailing blanks and quotes.
TEST_F(ProfileRules, QuotesAndBlanksOnRead) {
    struct Case {
        const char* line;  // nullptr: the key is missing and the default answers
        const char* fallback;
        const char* value;
    };
    const Case cases[] = {
        {.line = "k=plain", .fallback = "d", .value = "plain"},
        {.line = "  k  =  spaced  ", .fallback = "d", .value = "spaced"},
        {.line = "k=\"double\"", .fallback = "d", .value = "double"},
        {.line = "k='single'", .fallback = "d", .value = "single"},
        {.line = "k=\" kept \"", .fallback = "d", .value = " kept "},
        {.line = "k=\"mixed'", .fallback = "d", .value = "\"mixed'"},
        {.line = "k=\"", .fallback = "d", .value = "\""},
        {.line = "k=\"\"", .fallback = "d", .value = ""},
        {.line = "k=\"\"inner\"\"", .fallback = "d", .value = "\"inner\""},
        {.line = "k=a=b", .fallback = "d", .value = "a=b"},
        {.line = "k=", .fallback = "d", .value = ""},
        {.line = "k=\ttab\t", .fallback = "d", .value = "tab"},
        {.line = nullptr, .fallback = "value   ", .value = "value"},
        {.line = nullptr, .fallback = "\"quoted\"", .value = "quoted"},
        {.line = nullptr, .fallback = nullptr, .value = ""},
    };
    for (const auto& c : cases) {
        Start(std::string("[S]\r\n") + (c.line != nullptr ? c.line : "other=1") + "\r\n");
        EXPECT_EQ(Get(file_, " S ", " k ", c.fallback), c.value) << (c.line ? c.line : c.fallback);
        EXPECT_EQ(GetLastError(), c.line ? 0u : static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    }
}

TEST_F(ProfileRules, WrittenValuesAreOneTrimmedLine) {
    Set(file_, "S", "k", "  padded  ");
    Set(file_, "S", "multi", "line one\r\nline two=2\nthree");
    ASSERT_TRUE(Flush(file_));
    EXPECT_EQ(ReadFile(file_), "[S]\r\nk=padded\r\nmulti=line one  line two=2 three\r\n");
    EXPECT_EQ(Get(file_, "S", "line two", "none"), "none") << "no key smuggled in";
}

// A value is cut to size - 1 (ERROR_MORE_DATA); a list to size - 2 and ends with two NULs.
TEST_F(ProfileRules, TruncationLengths) {
    for (const char* key : {"a", "bb", "ccc"})
        Set(file_, "S", key, "abcdef");
    struct Case {
        const char* key;  // nullptr: the key list
        DWORD size;
        DWORD result;
        std::string bytes;  // the buffer's first result + 1 or + 2 bytes
    };
    using namespace std::string_literals;
    const Case cases[] = {
        {.key = "a", .size = 100, .result = 6, .bytes = "abcdef\0"s},
        {.key = "a", .size = 7, .result = 6, .bytes = "abcdef\0"s},
        {.key = "a", .size = 6, .result = 5, .bytes = "abcde\0"s},
        {.key = "a", .size = 2, .result = 1, .bytes = "a\0"s},
        {.key = "a", .size = 1, .result = 0, .bytes = "\0"s},
        {.key = nullptr, .size = 100, .result = 9, .bytes = "a\0bb\0ccc\0\0"s},
        {.key = nullptr, .size = 10, .result = 9, .bytes = "a\0bb\0ccc\0\0"s},  // exactly full
        {.key = nullptr, .size = 9, .result = 7, .bytes = "a\0bb\0cc\0\0"s},
        {.key = nullptr, .size = 7, .result = 5, .bytes = "a\0bb\0\0\0"s},  // ccc dropped
        {.key = nullptr, .size = 4, .result = 2, .bytes = "a\0\0\0"s},
        {.key = nullptr, .size = 2, .result = 0, .bytes = "\0\0"s},
    };
    for (const auto& c : cases) {
        char buffer[100];
        std::memset(buffer, 'X', sizeof(buffer));
        DWORD result = GetPrivateProfileStringA("S", c.key, "", buffer, c.size, file_.c_str());
        const std::string label =
            std::string(c.key ? "value" : "list") + " in " + std::to_string(c.size);
        EXPECT_EQ(result, c.result) << label;
        EXPECT_EQ(std::string(buffer, c.bytes.size()), c.bytes) << label;
        if (c.key != nullptr) {
            EXPECT_EQ(GetLastError(), c.result < 6 ? static_cast<DWORD>(ERROR_MORE_DATA) : 0u)
                << label;
        }
    }
}

TEST_F(ProfileRules, ListsGiveNamesInFileOrderOnceAndChangesKeepUntouchedLines) {
    Start(
        "; preamble\r\nloose=1\r\n[First]\r\nx=1\r\n; note=1\r\nnovalue\r\ny=2\r\nx=3\r\n"
        "[broken\r\n\r\n[Second]\r\n[first]\r\nz=4\r\n[]\r\nq=1\r\n");
    EXPECT_EQ(GetList(file_, nullptr), "First|Second|");
    EXPECT_EQ(GetList(file_, "FIRST"), "x|y|");
    EXPECT_EQ(Get(file_, "First", "x"), "1") << "the first of duplicate keys";
    EXPECT_EQ(Get(file_, "First", "z", "unseen"), "unseen") << "a repeated section is not read";
    EXPECT_EQ(Get(file_, "First", "novalue", "none"), "none");
    EXPECT_EQ(Get(file_, "First", "; note", "none"), "none");
    EXPECT_EQ(GetList(file_, "Second"), "") << "an empty section lists nothing";
    EXPECT_EQ(Get(file_, "Second", nullptr, "fallback"), "fallback");
    EXPECT_EQ(Get(file_, "Missing", nullptr, "fallback"), "fallback");

    Set(file_, "First", "w", "2");
    Set(file_, "First", "x", nullptr);
    ASSERT_TRUE(Flush(file_));
    EXPECT_EQ(ReadFile(file_),
              "; preamble\r\nloose=1\r\n[First]\r\n; note=1\r\nnovalue\r\ny=2\r\n"
              "[broken\r\nw=2\r\n\r\n[Second]\r\n[first]\r\nz=4\r\n[]\r\nq=1\r\n")
        << "a deleted key takes its duplicates with it";
}

TEST_F(ProfileRules, EveryLineEndAndTheUtf8MarkAreReadAndTheMarkKept) {
    using namespace std::string_literals;
    const std::string texts[] = {
        "[S]\r\nk=v\r\nj=w\r\n",         "[S]\nk=v\nj=w\n",  "[S]\rk=v\rj=w", "[S]\r\nk=v\nj=w\r",
        "\xEF\xBB\xBF[S]\r\nk=v\r\nj=w", "[S]\0k=v\0j=w\0"s,
    };
    for (const std::string& text : texts) {
        Start(text);
        EXPECT_EQ(Get(file_, "S", "k") + Get(file_, "S", "j"), "vw") << text;
    }
    Set(file_, "S", "k", "changed");
    Flush(file_);
    EXPECT_EQ(ReadFile(file_), "[S]\r\nk=changed\r\nj=w\r\n") << "NUL line ends become CRLF";
    Start("\xEF\xBB\xBF[S]\nk=v\n");
    Set(file_, "S", "k", "changed");
    Flush(file_);
    EXPECT_EQ(ReadFile(file_), "\xEF\xBB\xBF[S]\r\nk=changed\r\n");
}

TEST_F(ProfileRules, NumbersReadLikeWindows) {
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
        Set(file_, "S", "k", c.value);
        EXPECT_EQ(GetPrivateProfileIntA("S", "k", 99, file_.c_str()), c.result)
            << (c.value != nullptr ? c.value : "(missing)");
    }
    EXPECT_EQ(GetPrivateProfileIntA("S", "missing", -1, file_.c_str()), 4294967295u);
}

// Names the file could not give back are refused, and so are files that cannot be written.
TEST_F(ProfileRules, RefusedArgumentsAndFilesSayWhy) {
    std::string readonly = dir_.File("readonly.ini");
    ReplaceText(readonly, "[S]\r\nk=v\r\n");
    chmod(readonly.c_str(), 0444);
    struct Case {
        const char* section;
        const char* key;
        std::string file;
        DWORD error;
    };
    const Case cases[] = {
        {nullptr, "k", file_, ERROR_INVALID_PARAMETER},
        {"", "k", file_, ERROR_INVALID_PARAMETER},
        {"  ", "k", file_, ERROR_INVALID_PARAMETER},
        {"a\nb", "k", file_, ERROR_INVALID_PARAMETER},
        {"S", "", file_, ERROR_INVALID_PARAMETER},
        {"S", "a=b", file_, ERROR_INVALID_PARAMETER},
        {"S", ";k", file_, ERROR_INVALID_PARAMETER},
        {"S", "[k", file_, ERROR_INVALID_PARAMETER},
        {"S", "a\rb", file_, ERROR_INVALID_PARAMETER},
        {"S", "k", "", ERROR_INVALID_PARAMETER},
        {"S", "k", dir_.File("missing/f.ini"), ERROR_PATH_NOT_FOUND},
        {"S", "k", readonly, ERROR_ACCESS_DENIED},
    };
    for (const auto& c : cases) {
        const std::string label =
            std::string(c.section ? c.section : "(null)") + "/" + c.key + " in " + c.file;
        EXPECT_FALSE(WritePrivateProfileStringA(c.section, c.key, "v2", c.file.c_str())) << label;
        EXPECT_EQ(GetLastError(), c.error) << label;
    }
    EXPECT_FALSE(WritePrivateProfileStringA("S", "k", "v", nullptr));
    EXPECT_FALSE(Flush(file_)) << "nothing was written";
    EXPECT_EQ(Get(readonly, "S", "k"), "v");
}

}  // namespace
