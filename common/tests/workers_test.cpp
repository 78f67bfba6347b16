// The thread-count option and the worker team: every index handed out once, members that really run
// side by side, a failing member that stops the job without stopping the team, and the ordered
// producer and consumer.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "workers.hpp"

namespace {

using ldtools::kMaxThreads;
using ldtools::processorsOnline;
using ldtools::threadCountOption;
using ldtools::WorkerTeam;

TEST(WorkerTeam, ThreadCountOptionTakesPositiveWholeNumbersAndOtherwiseEveryProcessor) {
    EXPECT_GE(processorsOnline(), 1);
    EXPECT_EQ(threadCountOption("1"), 1);
    EXPECT_EQ(threadCountOption("3"), 3);
    EXPECT_EQ(threadCountOption("+2"), 2);
    EXPECT_EQ(threadCountOption("256"), kMaxThreads);
    EXPECT_EQ(threadCountOption("257"), kMaxThreads);
    EXPECT_EQ(threadCountOption("99999999999999"), kMaxThreads);
    for (const char* other : {"", "0", "-2", "-99999999999999", "x", "2x", " 2", "2.0", "+"})
        EXPECT_EQ(threadCountOption(other), processorsOnline()) << '"' << other << '"';
}

TEST(WorkerTeam, ForEachHandsOutEveryIndexOnceToEveryTeamSize) {
    for (const int size : {1, 2, 3, 8}) {
        WorkerTeam team(size);
        EXPECT_EQ(team.size(), size);
        for (const std::size_t count : {std::size_t{0}, std::size_t{1}, std::size_t{7}, std::size_t{1000}}) {
            std::vector<std::atomic<int>> visits(count);
            std::vector<std::atomic<int>> byMember(static_cast<std::size_t>(size));
            team.forEach(count, [&](std::size_t index, int member) {
                ASSERT_GE(member, 0);
                ASSERT_LT(member, size);
                ++visits[index];
                ++byMember[static_cast<std::size_t>(member)];
            });
            for (std::size_t i = 0; i < count; ++i) EXPECT_EQ(visits[i], 1) << "size " << size << " index " << i;
            int total = 0;
            for (auto& n : byMember) total += n;
            EXPECT_EQ(total, static_cast<int>(count));
        }
    }
}

// Every member runs the job once, at the same time as the others: each waits until all have arrived.
TEST(WorkerTeam, RunStartsEveryMemberAtOnce) {
    WorkerTeam team(4);
    std::mutex mutex;
    std::vector<int> members;
    std::atomic<int> arrived{0};
    for (int round = 0; round < 3; ++round) {
        members.clear();
        arrived = 0;
        team.run([&](int member) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                members.push_back(member);
            }
            ++arrived;
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            while (arrived < 4 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
        });
        std::sort(members.begin(), members.end());
        EXPECT_EQ(members, (std::vector<int>{0, 1, 2, 3}));
        EXPECT_EQ(arrived, 4);
    }
}

// The first exception reaches the caller once every member has returned, further indices are no longer
// handed out, and the team serves the next job in full; the caller's own failure is handled alike.
TEST(WorkerTeam, FailureStopsTheJobAndReachesTheCaller) {
    WorkerTeam team(3);
    constexpr std::size_t kCount = 1000000;
    for (const int failingMember : {0, 1, 2}) {
        std::atomic<bool> failed{false};
        std::atomic<int> inside{0};
        std::atomic<std::size_t> after{0};
        try {
            team.forEach(kCount, [&](std::size_t, int member) {
                if (member == failingMember && !failed.exchange(true)) throw std::runtime_error("member failed");
                // the others wait for the failure, so that the failing member gets an index
                ++inside;
                const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
                while (!failed && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
                ++after;
                --inside;
            });
            ADD_FAILURE() << "no exception from member " << failingMember;
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), "member failed");
            EXPECT_EQ(inside, 0);  // every member had returned
            EXPECT_LT(after, kCount / 2);
        }
        std::atomic<int> done{0};
        team.forEach(50, [&](std::size_t, int) { ++done; });
        EXPECT_EQ(done, 50);
    }
}

// forEachInOrder: every index is made once, on any member, and consumed once on the calling thread, in
// ascending order and after its make; no more than `window` indices are made and not yet consumed, so
// storage per index % window holds the index until it is consumed.
TEST(WorkerTeam, ForEachInOrderConsumesInOrderWithinTheWindow) {
    for (const int size : {1, 2, 3, 8}) {
        WorkerTeam team(size);
        for (const std::size_t window : {std::size_t{1}, std::size_t{2}, std::size_t{5}}) {
            for (const std::size_t count : {std::size_t{0}, std::size_t{1}, std::size_t{7}, std::size_t{300}}) {
                std::vector<std::atomic<int>> made(count);
                std::vector<std::atomic<std::size_t>> slots(window);
                std::atomic<std::size_t> ahead{0}, mostAhead{0};
                std::atomic<int> byHelpers{0};
                std::vector<std::size_t> order;
                bool onCaller = true;
                const std::thread::id caller = std::this_thread::get_id();
                team.forEachInOrder(
                    count, window,
                    [&](std::size_t index, int member) {
                        ++made[index];
                        slots[index % window] = index;
                        const std::size_t now = ++ahead;
                        std::size_t most = mostAhead;
                        while (now > most && !mostAhead.compare_exchange_weak(most, now)) {
                        }
                        if (member != 0) ++byHelpers;
                        // uneven work, so that later indices are often made first
                        if (index % 4 == 0) std::this_thread::sleep_for(std::chrono::microseconds(20));
                    },
                    [&](std::size_t index) {
                        onCaller = onCaller && std::this_thread::get_id() == caller;
                        EXPECT_EQ(made[index], 1) << index;
                        EXPECT_EQ(slots[index % window], index);
                        order.push_back(index);
                        --ahead;
                    });
                std::vector<std::size_t> expected(count);
                for (std::size_t i = 0; i < count; ++i) expected[i] = i;
                EXPECT_EQ(order, expected) << "size " << size << " window " << window;
                EXPECT_TRUE(onCaller);
                EXPECT_LE(mostAhead, window);
                for (std::size_t i = 0; i < count; ++i) EXPECT_EQ(made[i], 1);
                if (size == 1) {
                    EXPECT_EQ(byHelpers, 0);
                }
            }
        }
    }
}

// A make that throws on a helper or on the caller, or a consume that throws, ends the job: the exception
// reaches the caller, the indices after it are not all consumed, and the team serves the next job.
TEST(WorkerTeam, ForEachInOrderStopsAtAFailure) {
    WorkerTeam team(3);
    constexpr std::size_t kCount = 100000;
    for (const int failing : {0, 1, 2, -1}) {
        std::atomic<int> madeByFailing{0};
        std::size_t consumed = 0;
        try {
            team.forEachInOrder(
                kCount, 6,
                [&](std::size_t, int member) {
                    // every make takes a while, so that every member makes some
                    std::this_thread::sleep_for(std::chrono::microseconds(20));
                    if (member == failing && ++madeByFailing == 3) throw std::runtime_error("make failed");
                },
                [&](std::size_t index) {
                    if (failing < 0 && index == 50) throw std::runtime_error("consume failed");
                    ++consumed;
                });
            ADD_FAILURE() << "no exception with failing member " << failing;
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), failing < 0 ? "consume failed" : "make failed");
            EXPECT_LT(consumed, kCount);
        }
        std::atomic<int> made{0};
        std::size_t next = 0;
        team.forEachInOrder(
            40, 3, [&](std::size_t, int) { ++made; }, [&](std::size_t index) { EXPECT_EQ(index, next++); });
        EXPECT_EQ(made, 40);
        EXPECT_EQ(next, 40u);
    }
}

}  // namespace
