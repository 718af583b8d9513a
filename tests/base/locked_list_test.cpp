// LockedList: indexes, ownership and concurrent use.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "base/locked_list.h"

namespace {

struct Tracked {
    explicit Tracked(int v, std::atomic<int>* live) : value(v), live(live) { ++*live; }
    ~Tracked() { --*live; }
    int value;
    std::atomic<int>* live;
};

TEST(LockedListBasics, IndexesAndOwnership) {
    std::atomic<int> live{0};
    {
        LockedList<Tracked> list(TRUE);
        EXPECT_EQ(list.Append(new Tracked(10, &live)), 0);
        EXPECT_EQ(list.Append(new Tracked(11, &live)), 1);
        EXPECT_EQ(list.Count(), 2);
        EXPECT_EQ(list.GetAt(1)->value, 11);
        EXPECT_EQ(list.GetAt(2), nullptr);
        EXPECT_EQ(list.GetAt(-1), nullptr);
        list.RemoveAll();
        EXPECT_EQ(live.load(), 0) << "RemoveAll frees the items";
        EXPECT_EQ(list.Count(), 0);
        EXPECT_EQ(list.Append(new Tracked(12, &live)), 0);
    }
    EXPECT_EQ(live.load(), 0) << "the destructor frees what is left";

    LockedList<Tracked> unlocked(FALSE);
    EXPECT_EQ(unlocked.Append(new Tracked(1, &live)), 0);
    EXPECT_EQ(unlocked.GetAt(0)->value, 1);
}

TEST(LockedListConcurrency, AppendGetAtAndRemoveAllFromManyThreads) {
    std::atomic<int> live{0};
    LockedList<Tracked> list(TRUE);
    std::atomic<bool> stop{false};
    std::vector<std::thread> writers;
    for (int w = 0; w < 3; ++w) {
        writers.emplace_back([&, w] {
            for (int i = 0; i < 2000; ++i)
                list.Append(new Tracked(w * 10000 + i, &live));
        });
    }
    std::thread reader([&] {
        while (!stop) {
            int count = list.Count();
            if (count > 0) (void)list.GetAt(count - 1);
        }
    });
    for (auto& writer : writers)
        writer.join();
    EXPECT_EQ(list.Count(), 6000);
    std::thread([&] { list.RemoveAll(); }).join();
    stop = true;
    reader.join();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(live.load(), 0);
}

}  // namespace
