// The thread-count option and the worker team: every index handed out once, members that really run
// side by side, and a failing member that stops the job without stopping the team.

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

}  // namespace
