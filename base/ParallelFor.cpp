#include "base/ParallelFor.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

int resolveThreadCount(int threads) {
    if (threads > 0)
        return threads;
    return std::max(1, int(std::thread::hardware_concurrency()));
}

void parallelFor(size_t count, int threads, const std::function<void(size_t)>& fn) {
    const size_t workers = std::min<size_t>(size_t(std::max(threads, 1)), std::max<size_t>(count, 1));
    std::atomic<size_t> next{0};
    std::mutex errorLock;
    std::exception_ptr firstError;
    auto work = [&]() {
        try {
            for (size_t i = next++; i < count; i = next++)
                fn(i);
        } catch (...) {
            next = count; // hand out no further index
            const std::lock_guard<std::mutex> lock(errorLock);
            if (!firstError)
                firstError = std::current_exception();
        }
    };
    std::vector<std::thread> pool;
    pool.reserve(workers - 1); // no reallocation below, so a throw never leaves a thread unjoined
    try {
        for (size_t t = 1; t < workers; ++t)
            pool.emplace_back(work);
    } catch (const std::system_error&) {
        // No more threads to be had: the ones running and this one share the work.
    }
    work();
    for (std::thread& t : pool)
        t.join();
    if (firstError)
        std::rethrow_exception(firstError);
}
