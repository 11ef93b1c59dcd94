#pragma once
// First-use creation of a process-wide object shared by reference count.
//
// The first caller takes `mutex`, checks `slot` again inside it and only then
// calls make(), so two threads calling at once cannot create two objects.
// Every caller gets a copy of the handle kept in `slot` (normally a static of
// the class's instance() function, which keeps the object alive until exit).

#include <atomic>
#include <memory>
#include <mutex>

template <class T, class Make>
std::shared_ptr<T> sharedInstance(std::shared_ptr<T>& slot, std::mutex& mutex, Make make) {
    if (std::shared_ptr<T> existing = std::atomic_load(&slot))
        return existing;
    std::lock_guard<std::mutex> lock(mutex);
    if (!std::atomic_load(&slot))
        std::atomic_store(&slot, std::shared_ptr<T>(make()));
    return std::atomic_load(&slot);
}
