#include "geometry/MtlReader.h"

#include "base/Trace.h"
#include "geometry/LineReader.h"
#include "geometry/TextScan.h"
#include "images/ResourceManager.h"

#include <algorithm>

#include <sys/stat.h>

using textscan::kValueSeparators;
using textscan::nextToken;

namespace {

float nextFloat(std::string_view& rest) {
    return static_cast<float>(textscan::parseDouble(nextToken(rest, kValueSeparators)));
}

math3d::Vec3 nextVec3(std::string_view& rest) {
    const float x = nextFloat(rest);
    const float y = nextFloat(rest);
    const float z = nextFloat(rest);
    return {x, y, z};
}

// The text of a "newmtl" or "usemtl" line after its keyword.
std::string_view nameOf(std::string_view rest) { return textscan::trim(rest); }

// The file name of a texture line: up to a tab, blanks around it removed.
std::string_view textureNameOf(std::string_view rest) {
    rest = textscan::trim(rest, " \t");
    const size_t tab = rest.find('\t');
    if (tab != std::string_view::npos)
        rest = rest.substr(0, tab);
    return textscan::trim(rest);
}

// Only regular files are textures: a device or a pipe named by a library
// would block or never end when the image is read.
bool isRegularFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

void resolveTexture(Material& material, std::string_view name, const std::string& directory) {
    if (name.size() >= Material::kMaxTextureBytes) {
        Trace::err("Texture name too long (%zu bytes), ignored\n", name.size());
        return;
    }
    std::string asGiven(name);
    std::replace(asGiven.begin(), asGiven.end(), '\\', '/');
    const std::string candidate = directory + asGiven;
    Trace::err("Load Texture %s\n", candidate.c_str());
    std::string found;
    if (candidate.size() < Material::kMaxTextureBytes && isRegularFile(candidate)) {
        found = candidate;
    } else {
        Trace::err("Relate path does not exist, Try Absolute path!\n");
        if (!isRegularFile(asGiven)) {
            Trace::err("Load Texture %s\n", asGiven.c_str());
            Trace::err("Absolute path does not exist!\n");
            material.textureFile = asGiven;
            return;
        }
        found = asGiven;
    }
    material.textureFile = found;
    ResourceManager::instance()->addTex(found);
}

// Applies one value line to m; false when the keyword is not a value keyword.
bool applyValue(Material& m, std::string_view key, std::string_view rest, const std::string& directory) {
    if (key == "Ka")
        m.Ka = nextVec3(rest);
    else if (key == "Kd")
        m.Kd = nextVec3(rest);
    else if (key == "Ks")
        m.Ks = nextVec3(rest);
    else if (key == "Ns")
        m.Ns = nextFloat(rest);
    else if (key == "Tr" || key == "d")
        m.Tr = nextFloat(rest);
    else if (key == "r")
        m.r = nextFloat(rest);
    else if (key == "ra")
        m.ra = nextFloat(rest);
    else if (key == "sharpness")
        m.sharpness = nextFloat(rest);
    else if (key == "Ni")
        m.Ni = nextFloat(rest);
    else if (key == "illum")
        return true;
    else if (key == "map_Ka" || key == "map_Kd") {
        const std::string_view name = textureNameOf(rest);
        if (!name.empty())
            resolveTexture(m, name, directory);
    } else
        return false;
    return true;
}

} // namespace

bool MtlReader::read(LineReader& source, const std::string& libraryPath, std::vector<Material>& result) {
    std::vector<Material> materials;
    const std::string directory = directoryOf(libraryPath);
    bool skipping = false; // inside a refused material
    std::string_view line;
    while (source.next(line)) {
        std::string_view rest = line;
        const std::string_view key = textscan::nextLineToken(rest);
        if (key.empty() || key == "#" || key == "//")
            continue;
        if (key == "newmtl") {
            const std::string_view name = nameOf(rest);
            skipping = name.size() >= Material::kMaxNameBytes;
            if (skipping) {
                Trace::err("Material name too long (%zu bytes) in %s at line %lld, material ignored\n", name.size(),
                           libraryPath.c_str(), static_cast<long long>(source.lineNumber()));
                continue;
            }
            materials.emplace_back().name = std::string(name);
            continue;
        }
        if (skipping)
            continue;
        if (materials.empty() || !applyValue(materials.back(), key, rest, directory)) {
            const std::string keyword(key);
            Trace::err("Unknown command '%s' in material file %s at line %lld:\n\t%s\n", keyword.c_str(),
                       libraryPath.c_str(), static_cast<long long>(source.lineNumber()), keyword.c_str());
        }
    }
    if (source.lineTooLong()) {
        source.reportTooLong(libraryPath);
        return false;
    }
    result = std::move(materials);
    return true;
}

bool MtlReader::readFile(const std::string& libraryPath, std::vector<Material>& materials, uint64_t maxBytes,
                         std::string* failure) {
    LineReader source(libraryPath, maxBytes);
    if (!source.isOpen()) {
        Trace::err("Error reading file: %s\n", libraryPath.c_str());
        if (failure)
            *failure = source.openFailure();
        return false;
    }
    if (read(source, libraryPath, materials))
        return true;
    if (failure)
        *failure = "has a line that is too long";
    return false;
}

int MtlReader::findMaterial(const std::vector<Material>& materials, std::string_view name) {
    for (size_t i = materials.size(); i-- > 0;)
        if (materials[i].name == name)
            return static_cast<int>(i);
    return -1;
}

std::string MtlReader::directoryOf(const std::string& path) {
    const size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}
