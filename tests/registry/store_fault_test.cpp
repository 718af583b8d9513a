// The store under faults: damaged files, a store the process may not write, a writer killed
// mid-write, and several processes and threads writing at once.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "registry_fixture.h"

namespace cx::test {
namespace {

using namespace std::chrono_literals;

using StoreFaults = RegistryTest;
using StoreConcurrency = RegistryTest;

TEST_F(StoreFaults, AFileThatIsNoStoreFailsEveryCall) {
    std::string foreign = dir_.File("foreign.db");
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(foreign.c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "CREATE TABLE t (x); INSERT INTO t VALUES (1);", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    struct Case {
        std::string name;
        std::string path;
    } cases[] = {{"text", dir_.File("text.db")}, {"foreign SQLite database", foreign}};
    WriteFile(cases[0].path, std::string(2000, 'x') + "\nnot a registry\n");
    for (const Case& c : cases) {
        CxRegistrySetPath(c.path.c_str());
        HKEY key = nullptr;
        EXPECT_EQ(Open("SOFTWARE", &key), ERROR_BADDB) << c.name;
        EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\X", 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_BADDB)
            << c.name;
        EXPECT_EQ(SetDword(HKEY_LOCAL_MACHINE, "v", 1), ERROR_BADDB) << c.name;
        EXPECT_EQ(Names(HKEY_LOCAL_MACHINE, true), std::vector<std::string>{"<error 1009>"})
            << c.name;
    }
    std::ifstream kept(foreign, std::ios::binary);
    std::string head(16, '\0');
    kept.read(head.data(), 16);
    EXPECT_EQ(head, std::string("SQLite format 3\0", 16)) << "another database is never written";
}

TEST_F(StoreFaults, AStoreThatCannotBeWrittenStillReads) {
    HKEY key = Create("SOFTWARE\\Probe");
    ASSERT_EQ(SetDword(key, "v", 7), ERROR_SUCCESS);
    RegCloseKey(Create("SOFTWARE\\Probe\\Leaf"));
    RegCloseKey(key);
    // Readable by all, writable by its owner only; as root the child runs as nobody.
    chmod(dir_.Path().c_str(), 0755);
    if (geteuid() != 0) {
        chmod(dir_.Path().c_str(), 0555);
        chmod(store_.c_str(), 0444);
    }
    ChildOptions options(ChildOutput::kPipe);
    options.as_nobody = true;
    ChildProcess child({REGISTRY_CHILD_PATH, "probe", store_}, options);
    ASSERT_TRUE(child.Started());
    std::string line;
    bool read = child.ReadLine(&line, 60s);
    int status = child.Wait(60s);
    chmod(dir_.Path().c_str(), 0700);
    if (status == 127) GTEST_SKIP() << "the helper cannot be run as another user here";
    ASSERT_TRUE(read);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(
        line,
        "open=0 query=0 value=7 set=5 create=5 deletevalue=5 deletekey=5 deletetree=5 import=5 ");
}

TEST_F(StoreFaults, AWriterKilledMidWriteLosesNothingCommitted) {
    ChildProcess child({REGISTRY_CHILD_PATH, "write", store_, "SOFTWARE\\Crash", "v", "1000000"},
                       ChildOutput::kPipe);
    ASSERT_TRUE(child.Started());
    std::string line;
    int last = -1;
    while (last < 300 && child.ReadLine(&line, 60s))
        last = std::stoi(line);
    ASSERT_GE(last, 300) << "the writer did not get going";
    child.Kill();
    while (child.ReadLine(&line, 10s)) {
        if (!line.empty()) last = std::stoi(line);  // committed before the kill
    }
    EXPECT_EQ(child.Wait(10s), 128 + SIGKILL);

    CxRegistrySetPath(store_.c_str());
    HKEY key = nullptr;
    ASSERT_EQ(Open("SOFTWARE\\Crash", &key), ERROR_SUCCESS);
    int missing = 0;
    for (int i = 0; i <= last; ++i) {
        DWORD value = 0, size = sizeof(value);
        if (RegQueryValueExA(key, ("v" + std::to_string(i)).c_str(), nullptr, nullptr,
                             reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
            value != static_cast<DWORD>(i))
            ++missing;
    }
    EXPECT_EQ(missing, 0) << "of " << last + 1 << " committed values";
    EXPECT_EQ(SetDword(key, "after", 1), ERROR_SUCCESS) << "the store takes writes again";
    RegCloseKey(key);
}

// Two processes and, in this one, threads creating volatile keys next to threads opening
// their parent: no write is lost and no call fails.
TEST_F(StoreConcurrency, ProcessesAndThreadsWritingAtOnceLoseNothing) {
    // Made first: a volatile key made on the way would refuse the children's plain keys.
    RegCloseKey(Create("SOFTWARE\\Both"));
    ChildProcess first({REGISTRY_CHILD_PATH, "write", store_, "SOFTWARE\\Both", "a", "1000"},
                       ChildOutput::kPipe);
    ChildProcess second({REGISTRY_CHILD_PATH, "write", store_, "SOFTWARE\\Both", "b", "1000"},
                        ChildOutput::kPipe);
    constexpr int kThreads = 4;
    constexpr size_t kWrites = 100;
    std::vector<std::thread> threads;
    std::vector<int> failures(kThreads * 2, 0);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &failures] {
            std::string path = "SOFTWARE\\Threads\\T" + std::to_string(t);
            for (size_t i = 0; i < kWrites; ++i) {
                HKEY key = nullptr;
                LONG status =
                    RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr,
                                    REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr);
                if (status == ERROR_SUCCESS)
                    status = SetDword(key, ("n" + std::to_string(i)).c_str(), 1);
                if (status != ERROR_SUCCESS) failures[t] = static_cast<int>(status);
                RegCloseKey(key);
            }
        });
        threads.emplace_back([t, &failures] {
            for (size_t i = 0; i < kWrites; ++i) {
                HKEY key = nullptr;
                LONG status =
                    RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Threads", 0, KEY_READ, &key);
                if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
                    failures[kThreads + t] = static_cast<int>(status);
                RegCloseKey(key);
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures, std::vector<int>(kThreads * 2, 0));
    first.ReadAll(120s);
    second.ReadAll(120s);
    ASSERT_EQ(first.Wait(120s), 0);
    ASSERT_EQ(second.Wait(120s), 0);
    for (int t = -1; t < kThreads; ++t) {
        std::string path = t < 0 ? "SOFTWARE\\Both" : "SOFTWARE\\Threads\\T" + std::to_string(t);
        HKEY key = nullptr;
        ASSERT_EQ(Open(path.c_str(), &key, KEY_READ), ERROR_SUCCESS) << path;
        EXPECT_EQ(Names(key, false).size(), t < 0 ? 2000u : kWrites) << path;
        RegCloseKey(key);
    }
}

}  // namespace
}  // namespace cx::test
