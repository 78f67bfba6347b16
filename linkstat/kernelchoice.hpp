#pragma once
// Which kernel of a family (packing, counting, EM, bounds) runs: the fastest that this processor runs,
// unless a test or benchmark chose another. The kernels of a family give the same results and differ in
// speed only; the enumerators are declared from the slowest (which runs anywhere, value 0) to the fastest.

#include <atomic>

namespace linkstat {

template <class Kernel, Kernel Fastest>
class KernelChoice {
public:
    // `runs` tells whether this processor runs a kernel.
    explicit constexpr KernelChoice(bool (*runs)(Kernel)) : runs_(runs) {}

    Kernel fastest() const {
        for (int k = static_cast<int>(Fastest); k > 0; --k)
            if (runs_(static_cast<Kernel>(k))) return static_cast<Kernel>(k);
        return static_cast<Kernel>(0);
    }

    Kernel current() const {
        const int chosen = chosen_.load(std::memory_order_relaxed);
        return chosen < 0 ? fastest() : static_cast<Kernel>(chosen);
    }

    // A kernel the processor cannot run leaves the choice as it is and gives false.
    bool use(Kernel kernel) {
        if (!runs_(kernel)) return false;
        chosen_.store(static_cast<int>(kernel), std::memory_order_relaxed);
        return true;
    }

private:
    bool (*runs_)(Kernel);
    std::atomic<int> chosen_{-1};
};

}  // namespace linkstat
