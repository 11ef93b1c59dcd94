#pragma once
// The 2D bundle's effect script, made from the template data/tools/script.js:
// the first "dummy" becomes the script name and the first "//#action" becomes
// one `case` block per face action.

#include "scene/FaceActions.h"

#include <string>
#include <vector>

class ScriptWriter {
public:
    // For each action: "\n\t\t\tcase \"<name>\":\n\t\t\t\treturn <condition>;\n\t\t\t\tbreak;\n".
    // Names are escaped for a JavaScript string; conditions are script source
    // and go in unchanged.
    static std::string actionCases(const std::vector<FaceAction>& actions);

    // The template with both replacements made. A template without "dummy" or
    // without "//#action" keeps that part unchanged; the missing marker is
    // reported on the console.
    static std::string fillTemplate(const std::string& templ, const std::string& scriptName,
                                    const std::vector<FaceAction>& actions);
};
