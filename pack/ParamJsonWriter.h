#pragma once
// The texts of globals.json and materials.json of a 3D bundle: the template
// parameters of the "Global Params" item (meshRole 1) and of every mesh part
// (meshRole 3). A texture parameter whose file exists is converted to
// <outDir><stem>.webp and written as "<stem>.webp"; a missing file keeps the
// stored value. Names and string values are JSON-escaped.

#include <string>
#include <vector>

class PackCache;
struct Item3dSnapshot;
struct TemplateParam;

class ParamJsonWriter {
public:
    // outDir: the folder texture conversions go to, ending in "/". cache
    // (may be null): converted textures are kept there, keyed by the source
    // file's content.
    explicit ParamJsonWriter(std::string outDir, PackCache* cache = nullptr)
        : m_outDir(std::move(outDir)), m_cache(cache) {}

    // "{\n", per Global Params item "\"name\":\"<project>\"\n", "," when it has
    // parameters, "\n", its parameter lines; then "}".
    std::string globalsText(const std::vector<Item3dSnapshot>& items, const std::string& projectName) const;
    // "{\n", per mesh part "\n\"<name>\":{\n", its parameter lines, "},"; the
    // last character dropped, then "}" (so "{}" without parts).
    std::string materialsText(const std::vector<Item3dSnapshot>& items) const;

    // "\"<name>\":" then "\"<string value>\"" or the float value (6
    // significant digits), "\n", "," unless last, "\n".
    std::string parameterLine(const TemplateParam& p, bool last) const;

private:
    // The value a texture parameter is written with (converting its file).
    std::string textureValue(const TemplateParam& p) const;

    std::string m_outDir;
    PackCache* m_cache;
};
