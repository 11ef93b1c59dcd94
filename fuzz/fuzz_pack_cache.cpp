// A pack cache entry through PackCache::payloadOf, under the key its own
// header names (so that the payload hash check is reached).

#include "fuzz/FuzzSupport.h"
#include "pack/PackCache.h"

#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzSetUp();
    std::unique_ptr<uint8_t[]> entry(new uint8_t[size]);
    if (size)
        std::memcpy(entry.get(), data, size);
    PackCache::Key key;
    if (size >= 32) {
        std::memcpy(&key.low, data + 16, 8);
        std::memcpy(&key.high, data + 24, 8);
    }
    std::vector<uint8_t> payload;
    if (!PackCache::payloadOf(entry.get(), size, key, payload)) {
        FUZZ_CHECK(payload.empty());
        return 0;
    }
    // Whatever is accepted is the tail of the entry, whose hash the header names.
    FUZZ_CHECK(payload.size() <= size && (payload.empty() || std::memcmp(payload.data(), data + size - payload.size(), payload.size()) == 0));
    return 0;
}
