// Project file bytes through ProjectDocument::fromBytes. An accepted file is
// written back, and what is written must read again and write the same
// bytes: the writer never emits text its own reader refuses.

#include "fuzz/FuzzSupport.h"
#include "scene/ProjectDocument.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzSetUp();
    const std::string bytes(fuzzText(data, size));
    ProjectDocument doc;
    if (!ProjectDocument::fromBytes(bytes, "demo", doc))
        return 0;
    const std::string written = doc.toBytes();
    ProjectDocument again;
    if (!ProjectDocument::fromBytes(written, "demo", again) || again.toBytes() != written)
        std::abort();
    return 0;
}
