// A face-action table through FaceActions::loadFromBytes.

#include "fuzz/FuzzSupport.h"
#include "scene/FaceActions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzSetUp();
    FaceActions table;
    if (table.loadFromBytes(std::string(fuzzText(data, size)))) {
        FUZZ_CHECK(table.count() > 0);
        for (const FaceAction& a : table.all())
            FUZZ_CHECK(!a.name.empty() && a.name != "null");
    } else {
        FUZZ_CHECK(table.count() == 0);
    }
    return 0;
}
