#pragma once
// A small team of threads that work on one job at a time, and the thread-count option.
//
// The calling thread is member 0 of the team and works like the others; the helpers wait between jobs,
// so starting a job costs a wake-up, not a thread. A job that throws makes stopping() true for the rest
// of that run; the first exception is rethrown by run() once every member has returned, so no member is
// still working when the caller unwinds.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

namespace ldtools {

// Processors online (at least 1).
int processorsOnline();
// Processors the calling thread may run on (its affinity mask, as `taskset` or a cluster's job slot
// restrict it; at least 1, at most kMaxThreads); the processors online where the mask cannot be read.
int processorsAvailable();

// Largest team a thread-count option asks for; larger values are taken as this.
inline constexpr int kMaxThreads = 256;

// The thread count that the value of a -T option asks for: a positive whole number as it stands (at
// most kMaxThreads), anything else, the empty value included, the processors available.
int threadCountOption(std::string_view value);

class WorkerTeam {
public:
    // A team of `threads` members (at least 1): the caller and threads - 1 helpers started here. When
    // the system refuses a thread, the team works with the members it has.
    explicit WorkerTeam(int threads);
    ~WorkerTeam();
    WorkerTeam(const WorkerTeam&) = delete;
    WorkerTeam& operator=(const WorkerTeam&) = delete;

    int size() const { return static_cast<int>(helpers_.size()) + 1; }

    // Runs job(member) on every member at once, member 0 on the calling thread, and returns when all
    // have returned; rethrows the first exception a member threw.
    void run(const std::function<void(int member)>& job);
    // True in a run after a member's job has thrown: long jobs should return early.
    bool stopping() const { return stopping_.load(std::memory_order_relaxed); }

    // Calls body(index, member) once for every index below count, handing out the indices in
    // ascending order to the members as they become free; hands out no more after a body has thrown.
    void forEach(std::size_t count, const std::function<void(std::size_t index, int member)>& body);

    // Calls make(index, member) once for every index below count on the members as they become free, and
    // consume(index) on the calling thread in ascending order of index, each once its make has returned:
    // a producer and an ordered consumer. At most `window` indices (at least 1) are made ahead of the
    // consuming, so that storage kept per index % window is never shared by two indices at once. The
    // calling thread makes indices itself while the next one to consume is not ready. After a make or a
    // consume has thrown, no more are started; the first exception reaches the caller once every
    // member has returned.
    void forEachInOrder(std::size_t count, std::size_t window,
                        const std::function<void(std::size_t index, int member)>& make,
                        const std::function<void(std::size_t index)>& consume);

private:
    void serve(int member);
    void perform(int member);

    std::vector<std::thread> helpers_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable finished_;
    const std::function<void(int)>* job_ = nullptr;
    std::uint64_t generation_ = 0;
    int working_ = 0;
    bool quit_ = false;
    std::atomic<bool> stopping_{false};
    std::exception_ptr failure_;
};

}  // namespace ldtools
