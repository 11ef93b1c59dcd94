#pragma once
// A small fork-join loop for the packers' independent per-item work.

#include <cstddef>
#include <functional>

// Worker count for a thread setting: 0 means one per core (at least 1);
// any positive value is taken as it is.
int resolveThreadCount(int threads);

// Runs fn(i) for every i in [0, count) on up to `threads` threads (the
// calling thread included), handing out indices in increasing order. When no
// further thread can be started the running ones share the work. fn is called
// at most once per index. An exception thrown by fn on any thread stops the
// hand-out of further indices; every thread is joined, then the first such
// exception is rethrown on the calling thread (none ends a worker).
void parallelFor(size_t count, int threads, const std::function<void(size_t)>& fn);
