#include "pack/ParamJsonWriter.h"

#include "base/Paths.h"
#include "base/Trace.h"
#include "scene/SplitPath.h"
#include "base/WholeFile.h"
#include "pack/PackCache.h"
#include "pack/TextOut.h"
#include "pack/WebpAtlasEncoder.h"
#include "images/ImageBuffer.h"
#include "scene/Item_3d.h"
#include "scene/ProjectSnapshot.h"
#include "scene/TemplateParam.h"

std::string ParamJsonWriter::textureValue(const TemplateParam& p) const {
    if (p.texPath.empty() || !fileExists(p.texPath))
        return p.values;
    const std::string stem = splitPath(p.texPath).base;
    const std::string target = m_outDir + stem + ".webp";
    // The picture is decoded from the very bytes its cache key hashes, so a
    // file rewritten during the pack never stores new pixels under old bytes.
    std::vector<uint8_t> source;
    if (!readWholeFile(p.texPath, source)) {
        Trace::err("texture parameter %s: can not read %s; stored value kept\n", p.name.c_str(), p.texPath.c_str());
        return p.values;
    }
    PackCache::Key key;
    if (m_cache) {
        PackCache::Hasher h;
        h.text("texture imwrite webp").text(WebpAtlasEncoder::settingsTag());
        key = h.array(source).digest();
        std::vector<uint8_t> stored;
        if (m_cache->get(PackCache::Texture, key, stored) && writeWholeFile(target, stored.data(), stored.size()))
            return stem + ".webp";
    }
    ImageBuffer image;
    std::vector<uint8_t> encoded;
    if (!image.imreadMemory(source.data(), source.size(), p.texPath.c_str()) || !image.imwriteMemory(target, encoded) ||
        !writeWholeFile(target, encoded.data(), encoded.size())) {
        Trace::err("texture parameter %s: can not convert %s to WebP; stored value kept\n", p.name.c_str(),
                   p.texPath.c_str());
        return p.values;
    }
    if (m_cache)
        m_cache->put(PackCache::Texture, key, encoded.data(), encoded.size());
    return stem + ".webp";
}

std::string ParamJsonWriter::parameterLine(const TemplateParam& p, bool last) const {
    std::string s = "\"" + textout::jsonEscape(p.name) + "\":";
    if (p.isStr) {
        const std::string value = p.type == "texture" ? textureValue(p) : p.values;
        s += "\"" + textout::jsonEscape(value) + "\"";
    } else {
        s += textout::floatText(p.valuef);
    }
    s += "\n";
    if (!last)
        s += ",";
    return s + "\n";
}

std::string ParamJsonWriter::globalsText(const std::vector<Item3dSnapshot>& items,
                                         const std::string& projectName) const {
    std::string s = "{\n";
    bool first = true;
    for (const Item3dSnapshot& item : items) {
        const Item3dSnapshot* g = &item;
        if (g->meshRole != kRoleGlobalParams)
            continue;
        if (!first)
            s += ","; // a second Global Params item would otherwise break the JSON
        first = false;
        s += "\"name\":\"" + textout::jsonEscape(projectName) + "\"\n";
        if (!g->param.empty())
            s += ",";
        s += "\n";
        for (size_t i = 0; i < g->param.size(); ++i)
            s += parameterLine(g->param[i], i + 1 == g->param.size());
    }
    return s + "}";
}

std::string ParamJsonWriter::materialsText(const std::vector<Item3dSnapshot>& items) const {
    std::string s = "{\n";
    for (const Item3dSnapshot& item : items) {
        const Item3dSnapshot* part = &item;
        if (part->meshRole != kRoleMeshPart)
            continue;
        s += "\n\"" + textout::jsonEscape(part->name) + "\":{\n";
        for (size_t i = 0; i < part->param.size(); ++i)
            s += parameterLine(part->param[i], i + 1 == part->param.size());
        s += "},";
    }
    s.pop_back();
    return s + "}";
}
