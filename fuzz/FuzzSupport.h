#pragma once
// Shared by the fuzz targets: every target calls fuzzSetUp() first.

#include "base/Trace.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <string>
#include <string_view>

// Silences the console lines of the readers (once per process): the
// fuzzer runs millions of inputs and their messages would drown its report.
inline void fuzzSetUp() {
    static const bool done = [] {
        Trace::setEnabled(false);
        return true;
    }();
    (void)done;
}

inline std::string_view fuzzText(const uint8_t* data, size_t size) {
    return std::string_view(reinterpret_cast<const char*>(data), size);
}

// Ends the run with a message when a property every accepted input must
// have does not hold (the fuzzer then keeps the input as a crash).
[[noreturn]] inline void fuzzFail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}
#define FUZZ_CHECK(condition)                                                                       \
    do {                                                                                            \
        if (!(condition))                                                                           \
            fuzzFail(#condition);                                                                   \
    } while (0)
