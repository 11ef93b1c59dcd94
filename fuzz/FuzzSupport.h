#pragma once
// Shared by the fuzz targets: every target calls fuzzSetUp() first.

#include "base/Trace.h"

#include <cstddef>
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
