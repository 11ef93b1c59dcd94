// Template script text through scanTemplateDeclarations (each declaration's
// description is parsed as JSON by TemplateParam::fromDeclaration).

#include "fuzz/FuzzSupport.h"
#include "scene/TemplateParam.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzSetUp();
    std::vector<TemplateParam> globals, materials;
    scanTemplateDeclarations(std::string(fuzzText(data, size)), globals, materials);
    for (const TemplateParam& p : globals)
        FUZZ_CHECK(p.scope == "g" && !p.name.empty());
    for (const TemplateParam& p : materials)
        FUZZ_CHECK(p.scope == "m" && !p.name.empty());
    return 0;
}
