#pragma once
// One tunable parameter declared by the 3D effect template, and the scanner
// that finds the declarations in the template script.
//
// A declaration is one match of the ECMAScript expression
//   [@]([gm])param[ \t]+([0-9a-zA-Z_]+)[ \t]*(.*)
// anywhere in the text (typically behind a "//" comment mark): scope letter,
// name, and the rest of the line (without its line break) as the JSON
// description, e.g.
//   // @gparam Speed {"type":"slider","min":0,"max":2,"default_value":0.5}

#include <string>
#include <vector>

struct TemplateParam {
    std::string scope;  // "g" global, "m" material
    std::string type;   // description's "type" string ("slider", "edit", "texture"); empty when absent
    std::string name;   // letters, digits and '_'
    std::string description; // raw description text as it stood on the line
    float min = 0;      // "min" number
    float max = 0;      // "max" number
    float valuef = 0;   // numeric value ("default_value" of a slider)
    std::string values; // string value ("default_value" of any other type)
    bool isStr = true;  // the value lives in `values` (true) or in `valuef` (false)
    bool isTex = false; // "isTex" number read as an integer, non-zero = true
    std::string texPath; // type "texture" only: template folder + values (set by the caller)

    // Builds the record for one declaration. A description that is not one
    // valid JSON document leaves every field but scope, name and description
    // at its default; a member of another JSON type than expected ("min"/"max"/
    // "isTex" numbers, "type" a string, "default_value" a number for a slider
    // and a string otherwise) leaves that member's field at its default.
    // Numbers beyond the float range are clamped to it. Traces
    // "name:%s min:%f max%f valuef:%f values:%s\n".
    static TemplateParam fromDeclaration(const std::string& scope, const std::string& name,
                                         const std::string& description);
};

// Scans template script text for declarations, in text order and without
// overlaps (a second declaration on the line of a first one belongs to the
// first one's description). Traces "%s %s %s\n" (scope, name, description)
// per declaration and appends the record to `globals` when the scope is "g",
// otherwise to `materials`; neither list is cleared. Any bytes are accepted;
// the time taken is linear in the text's length.
void scanTemplateDeclarations(const std::string& text, std::vector<TemplateParam>& globals,
                              std::vector<TemplateParam>& materials);
