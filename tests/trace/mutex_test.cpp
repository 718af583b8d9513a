// Mutexes: recursion and ownership, abandonment, and names shared within and between
// processes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "child_process.h"
#include "platform/windows.h"
#include "temp_dir.h"

namespace {

using namespace std::chrono_literals;

std::string UniqueName(const std::string& what) {
    static std::atomic<int> counter{0};
    return "cx-trace-test-" + what + "-" + std::to_string(getpid()) + "-" +
           std::to_string(++counter);
}

// What another thread gets from WaitForSingleObject(mutex, milliseconds); it lets go again.
DWORD WaitFromOtherThread(HANDLE mutex, DWORD milliseconds) {
    DWORD result = 0;
    std::thread([&] {
        result = WaitForSingleObject(mutex, milliseconds);
        if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) ReleaseMutex(mutex);
    }).join();
    return result;
}

// Unnamed and named alike: recursive for its owner, exclusive for others, and abandoned when
// the owning thread ends.
TEST(Mutex, IsRecursiveExcludesOthersAndIsAbandonedWithItsOwner) {
    for (bool named : {false, true}) {
        SCOPED_TRACE(named ? "named" : "unnamed");
        HANDLE mutex = CreateMutexA(nullptr, TRUE, named ? UniqueName("kinds").c_str() : nullptr);
        ASSERT_NE(mutex, nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
        EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0) << "again, by its owner";
        EXPECT_EQ(WaitFromOtherThread(mutex, 20), WAIT_TIMEOUT);
        DWORD error = 0;
        std::thread([&] {
            if (!ReleaseMutex(mutex)) error = GetLastError();
        }).join();
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_NOT_OWNER));
        EXPECT_TRUE(ReleaseMutex(mutex));
        EXPECT_EQ(WaitFromOtherThread(mutex, 0), WAIT_TIMEOUT) << "still held once";
        EXPECT_TRUE(ReleaseMutex(mutex));
        EXPECT_FALSE(ReleaseMutex(mutex));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_OWNER));
        EXPECT_EQ(WaitFromOtherThread(mutex, 0), WAIT_OBJECT_0);

        std::thread([&] { EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0); }).join();
        EXPECT_EQ(WaitForSingleObject(mutex, 1000), WAIT_ABANDONED);
        EXPECT_EQ(WaitFromOtherThread(mutex, 0), WAIT_TIMEOUT) << "the new owner has it";
        EXPECT_TRUE(ReleaseMutex(mutex));
        EXPECT_EQ(WaitFromOtherThread(mutex, 0), WAIT_OBJECT_0);
        EXPECT_TRUE(CloseHandle(mutex));
    }
}

TEST(NamedMutex, LongAndUnusualNamesStayApart) {
    std::string base = UniqueName("apart") + std::string(300, 'n');
    const std::string names[] = {base + "1",   base + "2",     base + "a/b",
                                 base + "a_b", base + "C:\\x", base + "C__x"};
    // Held by one thread each: names that shared a lock file would block each other.
    std::atomic<int> owned{0};
    std::atomic<bool> done{false};
    std::vector<std::thread> owners;
    for (const std::string& name : names) {
        owners.emplace_back([&, name] {
            HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
            if (WaitForSingleObject(mutex, 2000) == WAIT_OBJECT_0) ++owned;
            while (!done)
                std::this_thread::sleep_for(1ms);
            ReleaseMutex(mutex);
            CloseHandle(mutex);
        });
    }
    EXPECT_TRUE(
        cx::test::WaitUntil([&] { return owned.load() == static_cast<int>(std::size(names)); }));
    done = true;
    for (auto& owner : owners)
        owner.join();
}

// Child side of the test below: takes the mutex, says so with a file, then either ends
// holding it or holds it until told to let go.
TEST(NamedMutexChild, HoldsTheMutexForItsParent) {
    std::string name = cx::test::ChildSetting("CX_MUTEX_CHILD_NAME");
    if (name.empty()) GTEST_SKIP() << "runs only as a child of the cross-process test";
    std::string directory = cx::test::ChildSetting("CX_MUTEX_CHILD_DIR");
    HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
    ASSERT_EQ(WaitForSingleObject(mutex, 10000), WAIT_OBJECT_0);
    std::fclose(std::fopen((directory + "/held").c_str(), "w"));
    if (cx::test::ChildSetting("CX_MUTEX_CHILD_EXIT_HOLDING") == "1") _exit(0);
    ASSERT_TRUE(
        cx::test::WaitUntil([&] { return std::filesystem::exists(directory + "/release"); }));
    EXPECT_TRUE(ReleaseMutex(mutex));
}

// The child lets go by releasing the mutex, or by ending while it holds it (its lock file goes
// with it).
TEST(NamedMutexAcrossProcesses, ExcludesAnotherProcessUntilItLetsGo) {
    for (bool exit_holding : {false, true}) {
        SCOPED_TRACE(exit_holding ? "ends holding it" : "releases it");
        cx::test::TempDir directory;
        std::string name = UniqueName("process");
        cx::test::ChildOptions options;
        options.environment = {{"CX_MUTEX_CHILD_NAME", name},
                               {"CX_MUTEX_CHILD_DIR", directory.Path()},
                               {"CX_MUTEX_CHILD_EXIT_HOLDING", exit_holding ? "1" : "0"}};
        cx::test::ChildProcess child(
            {"/proc/self/exe", "--gtest_filter=NamedMutexChild.HoldsTheMutexForItsParent"},
            options);
        ASSERT_TRUE(
            cx::test::WaitUntil([&] { return std::filesystem::exists(directory.File("held")); }));
        HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
        ASSERT_NE(mutex, nullptr);
        if (!exit_holding) {
            EXPECT_EQ(WaitForSingleObject(mutex, 30), WAIT_TIMEOUT);
            std::fclose(std::fopen(directory.File("release").c_str(), "w"));
        }
        EXPECT_EQ(WaitForSingleObject(mutex, 10000), WAIT_OBJECT_0);
        EXPECT_TRUE(ReleaseMutex(mutex));
        EXPECT_EQ(child.Wait(10s), 0);
        CloseHandle(mutex);
    }
}

}  // namespace
