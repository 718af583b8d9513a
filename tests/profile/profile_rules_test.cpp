// The profile functions against the Windows rules, one table per rule: ordering, deletion,
// case, quotes and blanks, truncation lengths, lists, line ends, numbers and argument checks.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <set>
#include <string>

#include "dir_names.h"
#include "last_error.h"
#include "platform/errors.h"
#include "platform/profile.h"
#include "profile_test_util.h"
#include "temp_dir.h"
#include "text_rows.h"

namespace {

using cx::test::Flush;
using cx::test::Get;
using cx::test::GetList;
using cx::test::ReadFile;
using cx::test::ReplaceText;
using cx::test::Set;

using cx::test::FailedWith;
using cx::test::TextRow;

const std::string kNone = "(none)";

// A field of a data row as a C string, "(none)" as NULL.
const char* Text(const std::string& field) { return field == kNone ? nullptr : field.c_str(); }

std::vector<TextRow> Rows(const char* name) {
    return cx::test::ReadRows(std::string(CX_TEST_DATA "/profile/") + name);
}

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

TEST_F(ProfileRules, WritesChangeOnlyTheirLines) {
    for (const TextRow& row : Rows("writes.txt")) {
        Start(row[0]);
        for (const auto& change : cx::test::ParseChanges(row[1]))
            EXPECT_TRUE(cx::test::Apply(file_, change)) << "row " << row.line;
        ASSERT_TRUE(Flush(file_));
        EXPECT_EQ(ReadFile(file_), row[2]) << "row " << row.line;
    }
}

TEST_F(ProfileRules, DeletionsInAMissingFileCreateNothing) {
    std::string never = dir_.File("never.ini");
    EXPECT_TRUE(Set(never, "S", "k", nullptr));
    EXPECT_TRUE(Set(never, "S", nullptr, "ignored"));
    EXPECT_EQ(FailedWith(Flush(never)), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(ReadFile(never), "");
    EXPECT_EQ(cx::test::DirectoryNames(dir_.Path()), std::set<std::string>{})
        << "no file left behind";
}

TEST_F(ProfileRules, QuotesAndBlanksOnRead) {
    for (const TextRow& row : Rows("read_values.txt")) {
        Start("[S]\r\n" + (row[0] == kNone ? "other=1" : row[0]) + "\r\n");
        EXPECT_EQ(Get(file_, " S ", " k ", Text(row[1])), row[2]) << "row " << row.line;
        EXPECT_EQ(GetLastError(), row[0] == kNone ? static_cast<DWORD>(ERROR_FILE_NOT_FOUND) : 0u);
    }
}

TEST_F(ProfileRules, TruncationLengths) {
    for (const char* key : {"a", "bb", "ccc"})
        Set(file_, "S", key, "abcdef");
    for (const TextRow& row : Rows("truncation.txt")) {
        char buffer[100];
        std::memset(buffer, 'X', sizeof(buffer));
        const char* key = row[0] == "(list)" ? nullptr : row[0].c_str();
        DWORD result = GetPrivateProfileStringA("S", key, "", buffer,
                                                static_cast<DWORD>(row.Number(1)), file_.c_str());
        EXPECT_EQ(result, row.Number(2)) << "row " << row.line;
        EXPECT_EQ(std::string(buffer, row[3].size()), row[3]) << "row " << row.line;
        if (key != nullptr) {
            EXPECT_EQ(GetLastError(), result < 6 ? static_cast<DWORD>(ERROR_MORE_DATA) : 0u);
        }
    }
}

// Lines without a name or '=' give no key, a header without ']' is an ordinary line, text
// after a header's ']' and blanks inside it do not count.
TEST_F(ProfileRules, ListsGiveNamesInFileOrderOnceAndBrokenLinesHaveDefinedMeanings) {
    const std::string huge(1 << 20, 'x');
    Start(
        "; preamble\r\nloose=1\r\n[First]\r\nx=1\r\n; note=1\r\nnovalue\r\n=no name\r\ny=2\r\n"
        "x=3\r\n[broken\r\nlong=" +
        huge +
        "\r\n\r\n[Second]\r\n[first]\r\nz=4\r\n[]\r\nq=1\r\n[T] trailing\r\nt=2\r\n"
        "[ Spaced ]\r\ns=3\r\n");
    EXPECT_EQ(GetList(file_, nullptr), "First|Second|T|Spaced|");
    EXPECT_EQ(GetList(file_, "FIRST"), "x|y|long|");
    EXPECT_EQ(Get(file_, "First", "x"), "1") << "the first of duplicate keys";
    EXPECT_EQ(Get(file_, "First", "long"), huge);
    EXPECT_EQ(Get(file_, "First", "z", "unseen"), "unseen") << "a repeated section is not read";
    EXPECT_EQ(Get(file_, "First", "novalue", "none"), "none");
    EXPECT_EQ(Get(file_, "First", "; note", "none"), "none");
    EXPECT_EQ(Get(file_, "T", "t") + Get(file_, "spaced", "s"), "23");
    EXPECT_EQ(GetList(file_, "Second"), "") << "an empty section lists nothing";
    EXPECT_EQ(Get(file_, "Second", nullptr, "fallback"), "fallback");
    EXPECT_EQ(Get(file_, "Missing", nullptr, "fallback"), "fallback");
}

TEST_F(ProfileRules, EveryLineEndAndTheUtf8MarkAreRead) {
    using namespace std::string_literals;
    const std::string texts[] = {
        "[S]\r\nk=v\r\nj=w\r\n",         "[S]\nk=v\nj=w\n",  "[S]\rk=v\rj=w", "[S]\r\nk=v\nj=w\r",
        "\xEF\xBB\xBF[S]\r\nk=v\r\nj=w", "[S]\0k=v\0j=w\0"s,
    };
    for (const std::string& text : texts) {
        Start(text);
        EXPECT_EQ(Get(file_, "S", "k") + Get(file_, "S", "j"), "vw") << text;
    }
}

TEST_F(ProfileRules, NumbersReadLikeWindows) {
    for (const TextRow& row : Rows("numbers.txt")) {
        Set(file_, "S", "k", Text(row[0]));
        EXPECT_EQ(GetPrivateProfileIntA("S", "k", 99, file_.c_str()), row.Number(1))
            << "row " << row.line;
    }
    EXPECT_EQ(GetPrivateProfileIntA("S", "missing", -1, file_.c_str()), 4294967295u);
}

// Names the file could not give back are refused, and so are files that cannot be written.
TEST_F(ProfileRules, RefusedArgumentsAndFilesSayWhy) {
    std::string readonly = dir_.File("readonly.ini");
    ReplaceText(readonly, "[S]\r\nk=v\r\n");
    chmod(readonly.c_str(), 0444);
    for (const TextRow& row : Rows("refused_writes.txt")) {
        const std::string file = row[2] == "FILE"       ? file_
                                 : row[2] == "READONLY" ? readonly
                                 : row[2].empty()       ? ""
                                                        : dir_.File(row[2]);
        EXPECT_EQ(FailedWith(
                      WritePrivateProfileStringA(Text(row[0]), row[1].c_str(), "v2", file.c_str())),
                  row.Number(3))
            << "row " << row.line;
    }
    EXPECT_FALSE(WritePrivateProfileStringA("S", "k", "v", nullptr));
    EXPECT_FALSE(Flush(file_)) << "nothing was written";
    EXPECT_EQ(Get(readonly, "S", "k"), "v");
}

}  // namespace
