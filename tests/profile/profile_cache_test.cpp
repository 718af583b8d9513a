// The cache behind the profile functions: content reaches the disk on flush, by itself within
// a bounded time, and before any other file call of this process touches the file; changes by
// others are noticed and merged with this process's unwritten changes; writes replace files
// whole; threads and fork are safe.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "dir_names.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/handles.h"
#include "platform/profile.h"
#include "profile_test_util.h"
#include "temp_dir.h"

namespace {

using cx::test::Flush;
using cx::test::Get;
using cx::test::ReadFile;
using cx::test::ReplaceText;
using cx::test::RunTool;
using cx::test::Set;
using cx::test::TempDir;
using cx::test::WaitUntil;

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

}  // namespace
