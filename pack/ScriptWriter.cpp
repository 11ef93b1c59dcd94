#include "pack/ScriptWriter.h"

#include "base/Trace.h"
#include "pack/TextOut.h"

namespace {
const std::string kNameMarker = "dummy";
const std::string kActionMarker = "//#action";

void replaceFirst(std::string& text, const std::string& marker, const std::string& with) {
    const size_t at = text.find(marker);
    if (at == std::string::npos) {
        Trace::out("script template has no \"%s\", left unchanged\n", marker.c_str());
        return;
    }
    text.replace(at, marker.size(), with);
}
} // namespace

std::string ScriptWriter::actionCases(const std::vector<FaceAction>& actions) {
    std::string block;
    for (const FaceAction& a : actions) {
        block += "\n\t\t\tcase \"";
        block += textout::jsonEscape(a.name);
        block += "\":\n\t\t\t\treturn ";
        block += a.condition;
        block += ";\n\t\t\t\tbreak;\n";
    }
    return block;
}

std::string ScriptWriter::fillTemplate(const std::string& templ, const std::string& scriptName,
                                       const std::vector<FaceAction>& actions) {
    std::string text = templ;
    replaceFirst(text, kNameMarker, scriptName);
    replaceFirst(text, kActionMarker, actionCases(actions));
    return text;
}
