#include "workers.hpp"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <system_error>
#include <vector>

#include "numbers.hpp"

namespace ldtools {

int processorsOnline() {
    const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    if (online < 1) return 1;
    return static_cast<int>(std::min<long>(online, kMaxThreads));
}

int processorsAvailable() {
    cpu_set_t mask;
    CPU_ZERO(&mask);
    if (::sched_getaffinity(0, sizeof mask, &mask) != 0) return processorsOnline();
    const int count = CPU_COUNT(&mask);
    if (count < 1) return processorsOnline();
    return std::min(count, kMaxThreads);
}

int threadCountOption(std::string_view value) {
    std::int32_t count = 0;
    switch (parseInt32(value, count)) {
        case WholeNumber::ok:
            if (count > 0) return std::min(count, kMaxThreads);
            break;
        case WholeNumber::outOfRange:
            if (value.front() != '-') return kMaxThreads;
            break;
        case WholeNumber::notWhole:
            break;
    }
    return processorsAvailable();
}

WorkerTeam::WorkerTeam(int threads) {
    helpers_.reserve(static_cast<std::size_t>(std::max(threads - 1, 0)));
    for (int member = 1; member < threads; ++member) {
        try {
            helpers_.emplace_back([this, member] { serve(member); });
        } catch (const std::system_error&) {
            break;
        }
    }
}

WorkerTeam::~WorkerTeam() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    for (std::thread& helper : helpers_) helper.join();
}

void WorkerTeam::perform(int member) {
    try {
        (*job_)(member);
    } catch (...) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!failure_) failure_ = std::current_exception();
        stopping_.store(true, std::memory_order_relaxed);
    }
}

void WorkerTeam::serve(int member) {
    std::uint64_t seen = 0;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [&] { return quit_ || generation_ != seen; });
            if (quit_) return;
            seen = generation_;
        }
        perform(member);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (--working_ > 0) continue;
        }
        finished_.notify_one();
    }
}

void WorkerTeam::run(const std::function<void(int member)>& job) {
    stopping_.store(false, std::memory_order_relaxed);
    failure_ = nullptr;
    job_ = &job;
    if (!helpers_.empty()) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            working_ = static_cast<int>(helpers_.size());
            ++generation_;
        }
        wake_.notify_all();
    }
    perform(0);
    std::exception_ptr failure;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        finished_.wait(lock, [&] { return working_ == 0; });
        failure = failure_;
        failure_ = nullptr;
        job_ = nullptr;
    }
    if (failure) std::rethrow_exception(failure);
}

void WorkerTeam::forEach(std::size_t count, const std::function<void(std::size_t index, int member)>& body) {
    std::atomic<std::size_t> next{0};
    run([&](int member) {
        while (!stopping()) {
            const std::size_t index = next.fetch_add(1, std::memory_order_relaxed);
            if (index >= count) return;
            body(index, member);
        }
    });
}

void WorkerTeam::forEachInOrder(std::size_t count, std::size_t window,
                                const std::function<void(std::size_t index, int member)>& make,
                                const std::function<void(std::size_t index)>& consume) {
    window = std::max<std::size_t>(window, 1);
    struct Shared {
        std::mutex mutex;
        std::condition_variable ready;  // an index was made
        std::condition_variable room;   // an index was consumed, or the work ends
        std::size_t claimed = 0;        // indices handed out to be made
        std::size_t consumed = 0;
        std::vector<bool> done;         // per index % window: made, not yet consumed
        bool abandoned = false;
    } shared;
    shared.done.assign(window, false);
    // Claims the next index if the window allows; the lock is held.
    auto claim = [&](std::size_t& index) {
        if (shared.claimed == count || shared.claimed >= shared.consumed + window) return false;
        index = shared.claimed++;
        return true;
    };
    run([&](int member) {
        try {
            if (member != 0) {
                for (;;) {
                    std::size_t index = 0;
                    bool claimed = false;
                    {
                        std::unique_lock<std::mutex> lock(shared.mutex);
                        shared.room.wait(lock, [&] {
                            if (shared.abandoned) return true;
                            claimed = claim(index);
                            return claimed || shared.claimed == count;
                        });
                    }
                    if (!claimed) return;
                    make(index, member);
                    {
                        std::lock_guard<std::mutex> lock(shared.mutex);
                        shared.done[index % window] = true;
                    }
                    shared.ready.notify_one();
                }
            }
            std::unique_lock<std::mutex> lock(shared.mutex);
            while (shared.consumed < count) {
                if (shared.abandoned) return;
                const std::size_t index = shared.consumed;
                if (shared.done[index % window]) {
                    lock.unlock();
                    consume(index);
                    lock.lock();
                    shared.done[index % window] = false;
                    ++shared.consumed;
                    shared.room.notify_all();
                    continue;
                }
                std::size_t mine;
                if (claim(mine)) {
                    lock.unlock();
                    make(mine, 0);
                    lock.lock();
                    shared.done[mine % window] = true;
                    continue;
                }
                shared.ready.wait(lock);
            }
        } catch (...) {
            {
                std::lock_guard<std::mutex> lock(shared.mutex);
                shared.abandoned = true;
            }
            shared.room.notify_all();
            shared.ready.notify_all();
            throw;
        }
    });
}

}  // namespace ldtools
