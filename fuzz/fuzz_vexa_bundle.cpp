// A bundle through the runtime's lumoCreateItemFromPackage with the
// signature check switched off (the fuzzer cannot sign): header rules, zip
// limits, entry names, inflate, JSON, images and the script must refuse bad
// input cleanly. The runtime is set up once on a headless GL context.

#include "fuzz/FuzzSupport.h"
#include "vexa/Runtime.h"
#include "vexa/play/HeadlessGl.h"
#include "vexa/vexa.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#ifndef LUMO_SOURCE_DIR
#define LUMO_SOURCE_DIR "."
#endif

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzSetUp();
    static const bool ready = [] {
        std::string reason;
        if (!vexa::makeHeadlessGlCurrent(reason)) {
            std::fprintf(stderr, "fuzz_vexa_bundle: %s\n", reason.c_str());
            return false;
        }
        std::ifstream f(LUMO_SOURCE_DIR "/data/vexa/v3.bundle", std::ios::binary);
        const std::string blob((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        if (!lumoSetup(blob.data(), int(blob.size()))) {
            std::fprintf(stderr, "fuzz_vexa_bundle: set-up failed: %s\n", lumoGetLastError());
            return false;
        }
        vexa::internal::skipSignatureForTesting(true);
        return true;
    }();
    if (!ready || size > 0x7fffffff)
        return 0;
    const int item = lumoCreateItemFromPackage(data, int(size));
    if (item)
        lumoDestroyItem(item);
    return 0;
}
