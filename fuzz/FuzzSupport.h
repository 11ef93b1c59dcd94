#pragma once
// Shared by the fuzz targets: every target calls fuzzSetUp() first.

#include "base/Trace.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <memory>
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

// A mesh bundle input: avatar.json, one 0 byte, then avatar.bin (an input
// without a 0 byte is all JSON). Each part is copied into a buffer of its own
// exact size, so that a read past either end is caught.
struct FuzzMeshBundle {
    std::unique_ptr<char[]> json;
    std::unique_ptr<uint8_t[]> bin;
    size_t jsonSize = 0, binSize = 0;
};

inline FuzzMeshBundle fuzzMeshBundle(const uint8_t* data, size_t size) {
    FuzzMeshBundle in;
    const void* zero = std::memchr(data, 0, size);
    in.jsonSize = zero ? size_t(static_cast<const uint8_t*>(zero) - data) : size;
    in.binSize = zero ? size - in.jsonSize - 1 : 0;
    in.json.reset(new char[in.jsonSize]);
    in.bin.reset(new uint8_t[in.binSize]);
    if (in.jsonSize)
        std::memcpy(in.json.get(), data, in.jsonSize);
    if (in.binSize)
        std::memcpy(in.bin.get(), data + in.jsonSize + 1, in.binSize);
    return in;
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
