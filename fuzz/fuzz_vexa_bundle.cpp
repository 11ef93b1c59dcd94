// A bundle through the runtime's reader with the signature check switched
// off (the fuzzer cannot sign), then every entry read: header rules, zip
// directory limits, entry names and inflate must refuse bad input cleanly.

#include "fuzz/FuzzSupport.h"
#include "vexa/format/BundleReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzSetUp();
    std::string reason;
    auto bundle = vexa::format::openBundle(data, size, {}, vexa::format::SignatureCheck::SkipForTesting, reason);
    if (!bundle)
        return 0;
    std::vector<std::uint8_t> bytes;
    for (const auto& e : bundle->zip->entries())
        bundle->zip->read(e.name, bytes, reason);
    return 0;
}
