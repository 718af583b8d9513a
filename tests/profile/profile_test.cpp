// The profile functions and ProfileFile: the Windows rules, hostile files, the cache behind
// them (flushes, edits by others, threads, fork, a killed writer), the delivered table file and
// the cxini tool.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "dir_names.h"
#include "inventory/profile_file.h"
#include "last_error.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/handles.h"
#include "platform/profile.h"
#include "profile/change_record.h"
#include "temp_dir.h"
#include "text_rows.h"

// Helpers: reading through the profile functions into strings, and replacing a file on disk
// past the cache.
namespace cx::test {

// Writes a file the way another program would: a new file renamed into place.
inline void ReplaceText(const std::string& path, const std::string& text) {
    std::string temporary = path + ".other";
    WriteFile(temporary, text);
    std::rename(temporary.c_str(), path.c_str());
}

inline std::string Get(const std::string& file, const char* section, const char* key,
                       const char* fallback = "") {
    std::vector<char> buffer(4 << 20);
    DWORD length = GetPrivateProfileStringA(section, key, fallback, buffer.data(),
                                            static_cast<DWORD>(buffer.size()), file.c_str());
    return std::string(buffer.data(), length);
}

// A list result (names separated by '|', for readable expectations).
inline std::string GetList(const std::string& file, const char* section) {
    std::string list = Get(file, section, nullptr);
    for (char& c : list) {
        if (c == '\0') c = '|';
    }
    return list;
}

inline bool Set(const std::string& file, const char* section, const char* key, const char* value) {
    return WritePrivateProfileStringA(section, key, value, file.c_str()) != FALSE;
}

// Changes in the tests' notation, separated by ";": "S/k=v" sets k in [S], "S/k" deletes the
// key, "S/" the section.
struct Change {
    std::string section, key, value;
    bool set, whole_section;
};

inline std::vector<Change> ParseChanges(const std::string& text) {
    std::vector<Change> changes;
    const std::string all = text + ";";
    for (size_t start = 0, end; (end = all.find(';', start)) != std::string::npos;
         start = end + 1) {
        const std::string change = all.substr(start, end - start);
        const size_t slash = change.find('/'), equals = change.find('=', slash);
        const bool set = equals != std::string::npos;
        changes.push_back({change.substr(0, slash),
                           change.substr(slash + 1, (set ? equals : change.size()) - slash - 1),
                           set ? change.substr(equals + 1) : "", set, slash + 1 == change.size()});
    }
    return changes;
}

// Applies one change through the profile functions.
inline bool Apply(const std::string& file, const Change& change) {
    return WritePrivateProfileStringA(change.section.c_str(),
                                      change.whole_section ? nullptr : change.key.c_str(),
                                      change.set ? change.value.c_str() : nullptr, file.c_str());
}

inline bool Flush(const std::string& file) {
    return WritePrivateProfileStringA(nullptr, nullptr, nullptr, file.c_str()) != FALSE;
}

}  // namespace cx::test

namespace {

using namespace cx::test;

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

TEST(ProfileGarbage, BinaryGarbageReadsAsLinesAndSurvivesAChange) {
    TempDir dir;
    std::string file = dir.File("garbage.ini");
    std::mt19937 random(4);
    std::string garbage;
    for (int i = 0; i < 64 * 1024; ++i) {
        garbage += static_cast<char>(random() & 0xFF);
    }
    ReplaceText(file, garbage);
    Get(file, nullptr, nullptr);
    Get(file, "S", "k");
    ASSERT_TRUE(Set(file, "Added", "k", "v"));
    ASSERT_TRUE(Flush(file));
    EXPECT_EQ(Get(file, "Added", "k"), "v");
    std::string text = ReadFile(file);
    EXPECT_EQ(text.substr(text.size() - 14), "[Added]\r\nk=v\r\n");
    // Every byte is still there but line ends and the blanks around key names and values,
    // which a rewrite of a key line drops.
    auto content = [](const std::string& bytes) {
        std::string kept;
        for (char c : bytes) {
            if (std::string_view("\r\n\t\v\f ", 6).find(c) == std::string_view::npos && c != '\0') {
                kept += c;
            }
        }
        return kept;
    };
    EXPECT_EQ(content(text), content(garbage) + "[Added]k=v");
}

// Files that are no INI text for us read as empty with the reason, and are never rewritten.
TEST(ProfileGarbage, UnusableFilesSayWhyAndStayAsTheyAre) {
    TempDir dir;
    const std::string wide("\xFF\xFE[\0S\0]\0\r\0\n\0k\0=\0v\0", 18);
    ReplaceText(dir.File("wide.ini"), wide);
    ReplaceText(dir.File("huge.ini"), "[S]\r\nk=v\r\n");
    ASSERT_EQ(truncate(dir.File("huge.ini").c_str(), (64 << 20) + 1), 0);  // sparse
    struct Case {
        std::string file;
        DWORD error;
    } const cases[] = {
        {dir.File("wide.ini"), ERROR_NOT_SUPPORTED},
        {dir.File("huge.ini"), ERROR_NOT_ENOUGH_MEMORY},
        {dir.Path(), ERROR_ACCESS_DENIED},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Get(c.file, "S", "k", "default"), "default") << c.file;
        EXPECT_EQ(GetLastError(), c.error) << c.file;
        EXPECT_FALSE(Set(c.file, "S", "k", "x")) << c.file;
        EXPECT_EQ(GetLastError(), c.error) << "writing " << c.file;
    }
    EXPECT_EQ(ReadFile(dir.File("wide.ini")), wide);
    struct stat info {};
    stat(dir.File("huge.ini").c_str(), &info);
    EXPECT_EQ(info.st_size, (64 << 20) + 1);
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Each test's own directory and inventory file.
class ProfileCacheTest : public ::testing::Test {
  protected:
    TempDir dir_;
    std::string file_ = dir_.File("Catalix.act");
};
using ProfileDurability = ProfileCacheTest;
using ProfileExternalEdits = ProfileCacheTest;
using ProfileFork = ProfileCacheTest;
using ProfileThreads = ProfileCacheTest;

// A flush writes at once, a new file in the old one's place and nothing left over; without it
// the change gets there by itself.
TEST_F(ProfileDurability, FlushWritesAtOnceAndReplacesTheFileWholeOrTheChangeGetsThereAlone) {
    ReplaceText(file_, "[Last Date]\r\nScanState=DONE\r\n");
    struct stat before {};
    stat(file_.c_str(), &before);
    Set(file_, "Last Date", "ScanState", "SCANNING");
    ASSERT_TRUE(Flush(file_));
    EXPECT_EQ(ReadFile(file_), "[Last Date]\r\nScanState=SCANNING\r\n");
    struct stat after {};
    stat(file_.c_str(), &after);
    EXPECT_NE(before.st_ino, after.st_ino);
    EXPECT_EQ(cx::test::DirectoryNames(dir_.Path()), (std::set<std::string>{"Catalix.act"}));
    Set(file_, "Last Date", "ScanState", "DONE");
    EXPECT_TRUE(WaitUntil([&] { return Contains(ReadFile(file_), "ScanState=DONE"); }));
}

TEST_F(ProfileDurability, ChangesReachTheDiskAtExit) {
    auto result =
        RunTool({CX_PROFILE_WRITER, "once", file_, "S", "k", "written at exit"}, dir_.Path());
    ASSERT_EQ(result.exit_code, 0);
    EXPECT_EQ(ReadFile(file_), "[S]\r\nk=written at exit\r\n");
}

// Each file call that reads a file sees the content written just before it.
TEST_F(ProfileDurability, FileCallsSeeUnflushedContent) {
    const std::string expected = "[S]\r\nk=v\r\n";
    struct Case {
        const char* name;
        std::function<std::string()> read;
    };
    const Case cases[] = {
        {"CopyFileA",
         [&] {
             CopyFileA(file_.c_str(), dir_.File("copy").c_str(), FALSE);
             return ReadFile(dir_.File("copy"));
         }},
        {"CreateFileA",
         [&] {
             HANDLE handle = CreateFileA(file_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, 0, nullptr);
             char buffer[64] = {};
             DWORD done = 0;
             ::ReadFile(handle, buffer, sizeof(buffer), &done, nullptr);
             CloseHandle(handle);
             return std::string(buffer, done);
         }},
        {"CxOpenStream",
         [&] {
             FILE* stream = CxOpenStream(file_.c_str(), "rb");
             char buffer[64] = {};
             size_t done = stream != nullptr ? std::fread(buffer, 1, sizeof(buffer), stream) : 0;
             if (stream != nullptr) std::fclose(stream);
             return std::string(buffer, done);
         }},
        {"FindFirstFileA",
         [&] {
             WIN32_FIND_DATAA data{};
             HANDLE find = FindFirstFileA(dir_.File("*.act").c_str(), &data);
             if (find == INVALID_HANDLE_VALUE) return std::string("not found");
             FindClose(find);
             return std::string(data.nFileSizeLow, '.');
         }},
    };
    for (const auto& c : cases) {
        unlink(file_.c_str());
        Flush(file_);
        ASSERT_TRUE(Set(file_, "S", "k", "v")) << c.name;
        std::string seen = c.read();
        if (std::string(c.name) == "FindFirstFileA") {
            EXPECT_EQ(seen.size(), expected.size()) << c.name;
        } else {
            EXPECT_EQ(seen, expected) << c.name;
        }
    }
}

// Delete, move and copy by name act on the cached copy too: a deleted or moved file is not
// written again, and a copy over a cached file wins.
TEST_F(ProfileDurability, FileCallsByNameActOnTheCachedCopy) {
    std::string saved = dir_.File("Catalix.sav");
    Set(file_, "S", "k", "v");
    ASSERT_TRUE(DeleteFileA(file_.c_str()));
    EXPECT_EQ(Get(file_, "S", "k", "gone"), "gone");
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, nullptr);  // everything cached
    EXPECT_EQ(GetFileAttributesA(file_.c_str()), INVALID_FILE_ATTRIBUTES);

    Set(file_, "S", "k", "moved");
    ASSERT_TRUE(MoveFileA(file_.c_str(), saved.c_str()));
    EXPECT_EQ(Get(saved, "S", "k"), "moved");
    EXPECT_EQ(Get(file_, "S", "k", "gone"), "gone");
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(GetFileAttributesA(file_.c_str()), INVALID_FILE_ATTRIBUTES);

    ReplaceText(file_, "[S]\r\nk=new\r\n");
    Set(saved, "S", "k", "old");
    ASSERT_TRUE(CopyFileA(file_.c_str(), saved.c_str(), FALSE));
    EXPECT_EQ(Get(saved, "S", "k"), "new");
    EXPECT_TRUE(Flush(saved));
    EXPECT_EQ(ReadFile(saved), "[S]\r\nk=new\r\n");
}

TEST_F(ProfileExternalEdits, ChangesByOthersAreNoticedAndMergedWithUnwrittenOnes) {
    ReplaceText(file_, "[S]\r\nk=first\r\n");
    EXPECT_EQ(Get(file_, "S", "k"), "first");
    ReplaceText(file_, "[S]\r\nk=second\r\n");  // new inode
    EXPECT_TRUE(WaitUntil([&] { return Get(file_, "S", "k") == "second"; }));
    std::ofstream(file_, std::ios::binary | std::ios::trunc) << "[S]\r\nk=third, longer\r\n";
    EXPECT_TRUE(WaitUntil([&] { return Get(file_, "S", "k") == "third, longer"; }))
        << "an edit in place changes size and time";

    ReplaceText(file_, "[S]\r\nbase=1\r\n");
    EXPECT_TRUE(WaitUntil([&] { return Get(file_, "S", "base") == "1"; }));
    Set(file_, "S", "mine", "1");
    // Started without fork handlers, so our change may or may not be on disk yet; either way
    // both changes must survive.
    cx::test::ChildOptions spawned;
    spawned.fork_handlers = false;
    auto result = RunTool({CX_CXINI, "set", file_, "S", "theirs", "2"}, dir_.Path(),
                          std::chrono::seconds(30), spawned);
    ASSERT_EQ(result.exit_code, 0);
    EXPECT_TRUE(WaitUntil([&] { return Get(file_, "S", "theirs") == "2"; }));
    ASSERT_TRUE(Flush(file_));
    std::string text = ReadFile(file_);
    EXPECT_TRUE(Contains(text, "base=1\r\n")) << text;
    EXPECT_TRUE(Contains(text, "mine=1\r\n")) << text;
    EXPECT_TRUE(Contains(text, "theirs=2\r\n")) << text;
}

TEST_F(ProfileFork, ChildFindsTheParentsChangesOnDisk) {
    Set(file_, "S", "k", "before fork");
    pid_t child = fork();
    if (child == 0) _exit(ReadFile(file_) == "[S]\r\nk=before fork\r\n" ? 0 : 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(Get(file_, "S", "k"), "before fork");
}

TEST_F(ProfileThreads, ConcurrentWritersReadersAndFileCallsLoseNothing) {
    constexpr int kWriters = 4, kKeys = 300;
    std::atomic<bool> done{false};
    std::vector<std::thread> threads;
    for (int w = 0; w < kWriters; ++w) {
        threads.emplace_back([&, w] {
            for (int k = 0; k < kKeys; ++k) {
                std::string key = "w" + std::to_string(w) + "k" + std::to_string(k);
                Set(file_, "S", key.c_str(), std::to_string(k).c_str());
            }
        });
    }
    std::thread reader([&] {
        while (!done) {
            Get(file_, "S", "w0k0");
            GetPrivateProfileIntA("S", "w1k1", 0, file_.c_str());
            GetFileAttributesA(file_.c_str());
        }
    });
    for (auto& thread : threads) {
        thread.join();
    }
    done = true;
    reader.join();
    ASSERT_TRUE(Flush(file_));
    std::string text = ReadFile(file_);
    for (int w = 0; w < kWriters; ++w) {
        for (int k = 0; k < kKeys; k += 37) {
            std::string line = "w" + std::to_string(w) + "k" + std::to_string(k) + "=" +
                               std::to_string(k) + "\r\n";
            EXPECT_TRUE(Contains(text, line)) << line;
        }
    }
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1 + kWriters * kKeys);
}

using cx::platform::ChangeRecord;
using cx::platform::IniDocument;
using cx::platform::ProfileChange;
using Kind = ProfileChange::Kind;

TEST(ChangeRecord, MergesTheUnwrittenChangesOntoAFreshRead) {
    for (const auto& row : cx::test::ReadRows(CX_TEST_DATA "/profile/change_record.txt")) {
        SCOPED_TRACE(row[0]);
        ChangeRecord record(row.Number(3));
        const auto now = ChangeRecord::Clock::now();
        const auto changes = cx::test::ParseChanges(row[1]);
        const size_t written = row.Number(2);
        for (size_t i = 0; i < changes.size(); ++i) {
            const auto& change = changes[i];
            record.Add({change.set             ? Kind::kSet
                        : change.whole_section ? Kind::kDeleteSection
                                               : Kind::kDeleteKey,
                        change.section, change.key, change.value},
                       now);
            if (i + 1 == written) record.Written(record.Last());
        }
        EXPECT_EQ(record.Dirty(), written != changes.size());
        IniDocument fresh(row[4]);
        ASSERT_EQ(record.MergeInto(fresh), row[5] != "(refused)");
        if (row[5] != "(refused)") {
            EXPECT_EQ(fresh.Serialize(), row[5]);
        }
    }
}

TEST(ChangeRecord, WritingOrDiscardingEverythingMakesTheRecordWholeAgain) {
    ChangeRecord record(1);
    const auto first = ChangeRecord::Clock::now();
    record.Add({Kind::kSet, "S", "a", "1"}, first);
    EXPECT_EQ(record.OldestKept(), first);
    record.Add({Kind::kSet, "S", "b", "2"}, first);  // beyond the limit: the record gives up
    EXPECT_FALSE(record.OldestKept().has_value());
    IniDocument fresh("");
    EXPECT_FALSE(record.MergeInto(fresh));

    record.Discard();
    EXPECT_FALSE(record.Dirty());
    record.Add({Kind::kSet, "S", "c", "3"}, first);
    EXPECT_TRUE(record.MergeInto(fresh));
    EXPECT_EQ(fresh.Serialize(), "[S]\r\nc=3\r\n");
    record.Written(record.Last());
    EXPECT_FALSE(record.Dirty());
    EXPECT_FALSE(record.OldestKept().has_value());
}

constexpr int kComponents = 1500;
constexpr size_t kKeysPerComponent = 12;

ino_t InodeOf(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

// Checks the file as the crash writer leaves it and returns a description of the first flaw,
// or "" when it is whole.
std::string Flaw(const std::string& text) {
    if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0) return "cut line";
    std::map<std::string, std::string> values;
    std::string section;
    long newest = 0, oldest = 0;
    size_t keys = 0;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find("\r\n", start);
        std::string line = text.substr(start, end - start);
        start = end + 2;
        if (!line.empty() && line.front() == '[') {
            section = line;
            continue;
        }
        size_t equals = line.find('=');
        if (equals == std::string::npos) return "line without a key: " + line;
        std::string key = line.substr(0, equals), value = line.substr(equals + 1);
        if (section != "[Component Table]" || key == "NrComponents") continue;
        // g<generation>-c<component>-<key name>-padding...
        size_t dot = key.find('.');
        std::string expected_tail =
            "-c" + key.substr(dot + 1) + "-" + key.substr(0, dot) + "-padding-padding-padding";
        size_t dash = value.find('-');
        if (value.empty() || value[0] != 'g' || dash == std::string::npos ||
            value.substr(dash) != expected_tail) {
            return "damaged value: " + line;
        }
        long generation = std::stol(value.substr(1, dash - 1));
        if (newest == 0) newest = oldest = generation;
        // Keys are rewritten in file order, so generations only fall, and by one at most.
        if (generation > oldest || generation < newest - 1) return "out of order: " + line;
        oldest = generation;
        ++keys;
    }
    if (keys != kComponents * kKeysPerComponent) return "keys missing: " + std::to_string(keys);
    if (text.find("[Done]\r\nGeneration=") == std::string::npos) return "no [Done] section";
    return "";
}

TEST(ProfileCrash, KilledWriterLeavesTheOldOrACompleteNewFile) {
    TempDir dir;
    for (int round = 1; round <= 6; ++round) {
        std::string file = dir.File("Catalix" + std::to_string(round) + ".act");
        ChildProcess writer({CX_PROFILE_WRITER, "endless", file, std::to_string(kComponents)});
        ASSERT_TRUE(writer.Started());
        ASSERT_TRUE(WaitUntil([&] { return ReadFile(file).find("[Done]") != std::string::npos; }))
            << "the first generation never reached the disk";
        // Let the writer replace the file a different number of times in each round, so that
        // the kill lands at different points of its work.
        for (int seen = 0; seen < round; ++seen) {
            ino_t before = InodeOf(file);
            ASSERT_TRUE(WaitUntil([&] { return InodeOf(file) != before; }));
        }
        writer.Kill();
        ASSERT_EQ(writer.Wait(std::chrono::seconds(10)), 128 + SIGKILL);
        EXPECT_EQ(Flaw(ReadFile(file)), "") << "round " << round;
    }
}

TEST(ProfileFilePath, NameWithoutDirectoryMeansTheWorkingDirectory) {
    // The name given | the path kept.
    for (const auto& [given, stored] : std::initializer_list<std::pair<const char*, const char*>>{
             {"Catalix.act", "./Catalix.act"},
             {"data/Catalix.act", "data/Catalix.act"},
             {"C:\\Catalix\\Catalix.act", "C:\\Catalix\\Catalix.act"}}) {
        ProfileFile profile;
        profile.SetPath(given);
        EXPECT_STREQ(profile.Path(), stored);
    }
    ProfileFile profile;
    profile.SetPath(nullptr);
    EXPECT_EQ(profile.Path(), nullptr);

    TempDir dir;
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof(previous)), nullptr);
    ASSERT_EQ(chdir(dir.Path().c_str()), 0);
    profile.SetPath("Catalix.act");
    EXPECT_FALSE(profile.Open(FALSE));
    EXPECT_TRUE(profile.WriteString("S", "k", "here"));
    EXPECT_TRUE(Flush("Catalix.act"));
    EXPECT_EQ(chdir(previous), 0);
    EXPECT_EQ(ReadFile(dir.File("Catalix.act")), "[S]\r\nk=here\r\n");
}

TEST(ProfileFileOpen, OnlyAUsableFileIsReadOrWritten) {
    TempDir dir;
    ProfileFile profile;
    profile.SetPath(dir.File("Catalix.sav").c_str());
    EXPECT_FALSE(profile.WriteString("S", "k", "v")) << "not opened yet";
    EXPECT_FALSE(profile.Open(TRUE));
    EXPECT_FALSE(profile.IsUsable());
    EXPECT_FALSE(profile.WriteInt("S", "k", 1));
    EXPECT_STREQ(profile.ReadString("S", "k", "default"), "default");
    EXPECT_EQ(profile.ReadInt("S", "k", 7), 7u);
    EXPECT_STREQ(profile.FirstKey("S"), "");
    EXPECT_FALSE(profile.Open(FALSE)) << "still does not exist";
    EXPECT_TRUE(profile.IsUsable()) << "but may be created by writing";
    EXPECT_TRUE(profile.WriteString("S", "k", "v"));
    EXPECT_TRUE(profile.Open(TRUE)) << "an open flushes first, so the new file exists";
    EXPECT_STREQ(profile.ReadString("S", "k", ""), "v");
    ProfileFile without_path;
    EXPECT_FALSE(without_path.Open(FALSE));
    EXPECT_STREQ(without_path.ReadString("S", "k", nullptr), "");
}

TEST(ProfileFileBuffers, GrowToTheValueUpTo64512Bytes) {
    TempDir dir;
    std::string file = dir.File("long.ini");
    const struct {
        size_t length;
        bool whole;
    } cases[] = {{1023, true}, {1024, true}, {64509, true}, {64510, false}};
    for (const auto& c : cases) {
        ReplaceText(file, "[S]\r\nk=" + std::string(c.length, 'v') + "\r\n");
        Flush(file);
        ProfileFile profile;
        profile.SetPath(file.c_str());
        ASSERT_TRUE(profile.Open(TRUE));
        std::string value = profile.ReadString("S", "k", "default");
        EXPECT_EQ(value, c.whole ? std::string(c.length, 'v') : "default") << c.length;
        EXPECT_STREQ(profile.ReadString("S", "missing", "next"), "next") << "usable after";
    }
}

TEST(ProfileFileKeys, WalkInFileOrderAndGiveUpOnHugeLists) {
    TempDir dir;
    std::string file = dir.File("keys.ini");
    ReplaceText(file, "[Component Type]\r\nBIOS=A0\r\nProcessor=0A\r\n[Empty]\r\n");
    ProfileFile profile;
    profile.SetPath(file.c_str());
    ASSERT_TRUE(profile.Open(TRUE));
    EXPECT_STREQ(profile.FirstKey("component type"), "BIOS");
    EXPECT_STREQ(profile.ReadString("Component Type", "BIOS", ""), "A0") << "reads between";
    EXPECT_STREQ(profile.NextKey(), "Processor");
    EXPECT_STREQ(profile.NextKey(), "");
    EXPECT_STREQ(profile.NextKey(), "") << "stays at the end";
    EXPECT_STREQ(profile.FirstKey("Empty"), "");
    EXPECT_STREQ(profile.FirstKey("Missing"), "");

    std::string many = "[Big]\r\n";
    for (int n = 1; n <= 5000; ++n) {
        many += "LongKeyName." + std::to_string(n) + "=1\r\n";
    }
    ReplaceText(file, many);  // about 85 KiB of key names
    Flush(file);
    EXPECT_STREQ(profile.FirstKey("Big"), "") << "a list beyond 64512 bytes reads as empty";
}

const char* const kRequestSections[] = {
    "Info.Cabinets",    "Info.Chassis",        "Info.PowerBackplane",
    "Info.RSBBoard",    "Info.RSBBoardFW",     "Info.Environment",
    "Info.MicroCtrl",   "Info.MicroCtrlFW",    "Info.ManagementCtrl",
    "Info.MgmtCtrlFW",  "Info.SDRVersion",     "Info.Fans",
    "Info.FrontPanel",  "Info.SCSIBackplane",  "Info.SCSITerminator",
    "Info.LVDExtender", "Info.FibreBackplane", "Info.FibreLinkAdapt",
    "Info.UPS",         "Info.UPS1",           "Info.UPS2",
    "Info.UPS3",        "Info.BaseBoard",      "Info.BaseBoard2",
    "Info.BIOS",        "Info.MemorySw",       "Info.MemoryExpand",
    "Info.PowerSupply"};

const char* const kFields[] = {"Info.Vendor",       "Info.ProdName", "Info.ProdNumber",
                               "Info.ProdDescript", "Info.Version",  "Info.ManuDate",
                               "Info.SerialNo",     "Info.Language", "Info.CompId"};

// Every request section of the shipped table names a method it can be asked by, a class the
// table names, and item codes no other section uses.
TEST(TableFile, RequestSectionsAnswerEveryField) {
    ProfileFile table;
    table.SetPath(CX_TABLE_FILE);
    ASSERT_TRUE(table.Open(TRUE));
    std::set<unsigned> numbers;
    for (const char* key = table.FirstKey("Component Type"); *key; key = table.NextKey())
        numbers.insert(std::stoul(table.ReadString("Component Type", key, ""), nullptr, 16));
    std::map<std::string, std::string> owners;  // item code -> section
    for (const char* section : kRequestSections) {
        EXPECT_TRUE(numbers.count(table.ReadInt(section, "Class", -1))) << section;
        std::string method = table.ReadString(section, "Method", "");
        ASSERT_TRUE(method == "SWITCH" || method == "SNMP") << section;
        if (method == "SNMP") {
            EXPECT_STRNE(table.ReadString(section, "Info.ProdName", ""), "") << section;
            continue;
        }
        EXPECT_EQ(table.ReadInt(section, "OpCode", 0), 0x0C00u) << section;
        for (const char* field : kFields) {
            std::string code = table.ReadString(section, field, "");
            ASSERT_EQ(code.rfind("0x", 0), 0u) << section << " " << field;
            auto [owner, inserted] = owners.emplace(code, section);
            EXPECT_TRUE(inserted) << code << " used by " << owner->second << " and " << section;
        }
    }
}

TEST(Cxini, CommandsReadAndChangeTheFileAndRefuseWrongUsage) {
    cx::test::TempDir dir;
    std::string file = dir.File("Catalix.sav");
    auto help = RunTool({CX_CXINI, "--help"}, dir.Path());
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_NE(help.out.find("Usage: cxini COMMAND FILE"), std::string::npos);
    for (const cx::test::TextRow& row :
         cx::test::ReadRows(CX_TEST_DATA "/profile/cxini_steps.txt")) {
        std::vector<std::string> argv{CX_CXINI};
        for (size_t i = 2; i < row.fields.size(); ++i) {
            const std::string& argument = row[i];
            if (!argument.empty())
                argv.push_back(argument == "FILE"      ? file
                               : argument == "MISSING" ? dir.File("missing/t.ini")
                                                       : argument);
        }
        auto result = RunTool(argv, dir.Path());
        EXPECT_EQ(result.exit_code, static_cast<int>(row.Number(0))) << "row " << row.line;
        EXPECT_EQ(result.out, row[1]) << "row " << row.line;
    }
    EXPECT_EQ(cx::test::ReadFile(file), "[Last Date]\r\nLastDate=4539A1F0\r\n");
}

}  // namespace
