#include "geometry/ObjMesh.h"

#include "base/Trace.h"
#include "base/WholeFile.h"
#include "geometry/LineReader.h"
#include "geometry/MtlReader.h"
#include "geometry/ObjReader.h"
#include "geometry/ObjWriter.h"
#include "geometry/OffReader.h"
#include "geometry/TextScan.h"
#include "images/ResourceManager.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <new>

namespace {

const math3d::Vec3 kDefaultColour{0.8f, 0.8f, 0.8f};

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The part of path after its last "/" or "\"; the whole path when there is
// none or it is the first character.
std::string baseNameOf(const std::string& path) {
    const size_t cut = path.find_last_of("/\\");
    if (cut == std::string::npos || cut == 0)
        return path;
    return path.substr(cut + 1);
}

// The index after a "/" or "//" separator of a corner token.
int32_t indexAfter(std::string_view token, size_t separatorEnd) {
    const int32_t value = textscan::parseInt(token.substr(separatorEnd));
    return value == INT32_MIN ? INT32_MIN : value - 1;
}


bool writeTextFile(const std::string& path, const std::string& text) {
    return writeWholeFile(path, text.data(), text.size());
}

} // namespace

ObjMesh::ObjMesh() { name = "ObjMesh"; }

ObjMesh::ObjMesh(const ObjMesh& other) : ObjMesh() { copyFrom(other); }

ObjMesh::~ObjMesh() { releaseBMesh(); }

void ObjMesh::clear() {
    vertices.clear();
    normals.clear();
    colors.clear();
    faceNormals.clear();
    texCoords.clear();
    faces.clear();
    materials.clear();
    drawPositions.clear();
    drawNormals.clear();
    drawTexCoords.clear();
    drawColors.clear();
    vertexFlags.clear();
    filePath.clear();
    mtlFile.clear();
    boundsMin = {0, 0, 0};
    boundsMax = {0, 0, 0};
    releaseBMesh();
    node = nullptr;
    dirty = true;
    pickable = true;
}

// ---- Reading ----

bool ObjMesh::takeSourcePath(const std::string& path) {
    if (path.size() >= kMaxPathBytes) {
        Trace::err("Path too long (%zu bytes), not read: %s\n", path.size(), path.c_str());
        return false;
    }
    filePath = path;
    name = baseNameOf(path);
    return true;
}

int ObjMesh::loadObj(const std::string& path, bool forceNormals, bool normalize) {
    clear();
    LineReader source(path);
    if (!source.isOpen()) {
        Trace::err("Error reading file: %s\n", path.c_str());
        return 0;
    }
    return readObj(source, path, forceNormals, normalize);
}

int ObjMesh::loadObjBytes(std::string_view bytes, const std::string& path, bool forceNormals, bool normalize) {
    clear();
    LineReader source(bytes);
    return readObj(source, path, forceNormals, normalize);
}

// Element counts come from the text, so hostile input can ask for more
// memory than there is; that is a failed read, not a crash.
int ObjMesh::refuseOutOfMemory(const std::string& path) {
    clear();
    Trace::err("Out of memory reading %s\n", path.c_str());
    return 0;
}

int ObjMesh::readObj(LineReader& source, const std::string& path, bool forceNormals, bool normalize) {
    try {
        return readObjText(source, path, forceNormals, normalize);
    } catch (const std::bad_alloc&) {
        return refuseOutOfMemory(path);
    }
}

int ObjMesh::readObjText(LineReader& source, const std::string& path, bool forceNormals, bool normalize) {
    const auto start = std::chrono::steady_clock::now();
    if (!takeSourcePath(path))
        return 0;
    if (!ObjReader::read(source, path, !forceNormals, *this)) {
        clear();
        return 0;
    }
    const bool fileHadNormals = !normals.empty();
    Trace::out("ObjLoaded: \n");
    Trace::out("\tnumber of vertices:%d\n", static_cast<int>(vertices.size()));
    Trace::out("\tnumber of normals:%d\n", static_cast<int>(normals.size()));
    Trace::out("\tnumber of tex_uvs:%d\n", static_cast<int>(texCoords.size()));
    Trace::out("\tnumber of faces:%d\n", static_cast<int>(faces.size()));
    Trace::out("\tnumber of materials:%d\n", static_cast<int>(materials.size()));
    Trace::out("Time cost:%f\n", secondsSince(start));
    if (forceNormals || !fileHadNormals)
        computeNormals();
    else
        computeFaceNormals();
    finishRead(normalize);
    return 1;
}

int ObjMesh::loadMtl(const std::string& path) { return MtlReader::readFile(path, materials) ? 1 : 0; }

int ObjMesh::loadMtlBytes(std::string_view bytes, const std::string& path) {
    LineReader source(bytes);
    try {
        return MtlReader::read(source, path, materials) ? 1 : 0;
    } catch (const std::bad_alloc&) {
        Trace::err("Out of memory reading %s\n", path.c_str());
        return 0;
    }
}

int ObjMesh::loadOff(const std::string& path, bool normalize) {
    clear();
    std::string bytes;
    if (!readWholeFile(path, bytes)) {
        Trace::err("Error reading file: %s\n", path.c_str());
        return 0;
    }
    return readOff(bytes, path, normalize);
}

int ObjMesh::loadOffBytes(std::string_view bytes, const std::string& path, bool normalize) {
    clear();
    return readOff(bytes, path, normalize);
}

int ObjMesh::readOff(std::string_view bytes, const std::string& path, bool normalize) {
    try {
        return readOffText(bytes, path, normalize);
    } catch (const std::bad_alloc&) {
        return refuseOutOfMemory(path);
    }
}

int ObjMesh::readOffText(std::string_view bytes, const std::string& path, bool normalize) {
    const auto start = std::chrono::steady_clock::now();
    if (!takeSourcePath(path) || !OffReader::read(bytes, path, *this))
        return 0;
    Trace::out("OffLoaded: \n");
    Trace::out("\tnumber of vertices:%d\n", static_cast<int>(vertices.size()));
    Trace::out("\tnumber of faces:%d\n", static_cast<int>(faces.size()));
    Trace::out("Time cost:%f\n", secondsSince(start));
    computeNormals();
    finishRead(normalize);
    return 1;
}

void ObjMesh::finishRead(bool normalize) {
    vertexFlags.assign(vertices.size(), 0);
    colors.assign(vertices.size(), kDefaultColour);
    computeBounds();
    if (normalize) {
        normalizeToUnit();
        computeBounds();
    }
}

namespace {

// value - 1 without overflow.
int32_t indexOf(int32_t value) { return value == INT32_MIN ? INT32_MIN : value - 1; }

bool atTokenEnd(const char* p, const char* end) { return p == end || textscan::isLineSeparator(*p); }

// The common corner forms made of numbers only ("v", "v/t", "v/t/", "v//n",
// "v/t/n"), read in one pass. False for anything else (p unchanged).
bool readPlainCorner(const char*& p, const char* end, int32_t& v, int32_t& t, int32_t& n) {
    const char* q = p;
    int32_t value = 0;
    if (!textscan::readInt(q, end, value))
        return false;
    v = indexOf(value);
    t = -1;
    n = -1;
    if (!atTokenEnd(q, end)) {
        if (*q++ != '/')
            return false;
        if (q < end && *q == '/') {
            if (!textscan::readInt(++q, end, value))
                return false;
            n = indexOf(value);
        } else {
            if (!textscan::readInt(q, end, value))
                return false;
            t = indexOf(value);
            if (!atTokenEnd(q, end)) {
                if (*q++ != '/')
                    return false;
                if (!atTokenEnd(q, end)) {
                    if (!textscan::readInt(q, end, value))
                        return false;
                    n = indexOf(value);
                }
            }
        }
    }
    if (!atTokenEnd(q, end))
        return false;
    p = q;
    return true;
}

// Any corner token, as atoi reads its parts.
void readAnyCorner(std::string_view token, int32_t& v, int32_t& t, int32_t& n) {
    v = indexAfter(token, 0);
    t = -1;
    n = -1;
    const size_t slash = token.find('/');
    if (slash == std::string_view::npos)
        return;
    const size_t doubleSlash = token.find("//", slash);
    if (doubleSlash != std::string_view::npos) {
        n = indexAfter(token, doubleSlash + 2);
        return;
    }
    t = indexAfter(token, slash + 1);
    const size_t second = token.find('/', slash + 1);
    if (second != std::string_view::npos)
        n = indexAfter(token, second + 1);
}

} // namespace

int ObjMesh::parseFaceCorners(std::string_view corners, int32_t* v, int32_t* t, int32_t* n, int capacity) {
    int count = 0;
    const char* p = corners.data();
    const char* const end = p + corners.size();
    for (;;) {
        while (p < end && textscan::isLineSeparator(*p))
            ++p;
        if (p == end)
            return count;
        int32_t cv, ct, cn;
        if (!readPlainCorner(p, end, cv, ct, cn)) {
            const char* tokenEnd = p;
            while (tokenEnd < end && !textscan::isLineSeparator(*tokenEnd))
                ++tokenEnd;
            readAnyCorner(std::string_view(p, static_cast<size_t>(tokenEnd - p)), cv, ct, cn);
            p = tokenEnd;
        }
        if (count < capacity) {
            v[count] = cv;
            t[count] = ct;
            n[count] = cn;
        }
        ++count;
    }
}

// ---- Writing ----

bool ObjMesh::saveObj(const std::string& path) {
    if (!writeTextFile(path, ObjWriter::objText(*this))) {
        Trace::err("Open file failed: %s\n", path.c_str());
        return false;
    }
    return true;
}

bool ObjMesh::saveMtl(const std::string& path) {
    if (!writeTextFile(path, ObjWriter::mtlText(materials))) {
        Trace::err("Error reading file: %s\n", path.c_str());
        return false;
    }
    return true;
}

// ---- Geometry ----

math3d::Vec3 ObjMesh::faceSum(const Face& f) const {
    math3d::Vec3 sum{0, 0, 0};
    const int count = std::min(f.count, Face::kMaxCorners);
    for (int i = 0; i < count; ++i)
        if (f.v[i] < 0 || static_cast<size_t>(f.v[i]) >= vertices.size())
            return sum;
    for (int k = 2; k < count; ++k) {
        const math3d::Vec3& a = vertices[f.v[k - 2]];
        sum = sum + math3d::cross(vertices[f.v[k - 1]] - a, vertices[f.v[k]] - a);
    }
    return sum;
}

void ObjMesh::computeNormals() {
    faceNormals.resize(faces.size());
    normals.assign(vertices.size(), math3d::Vec3{0, 0, 0});
    for (size_t fi = 0; fi < faces.size(); ++fi) {
        Face& f = faces[fi];
        const int count = std::min(f.count, Face::kMaxCorners);
        const bool triangle = count == 3 && static_cast<uint32_t>(f.v[0]) < vertices.size() &&
                              static_cast<uint32_t>(f.v[1]) < vertices.size() &&
                              static_cast<uint32_t>(f.v[2]) < vertices.size();
        const math3d::Vec3 sum = triangle ? math3d::cross(vertices[f.v[1]] - vertices[f.v[0]],
                                                          vertices[f.v[2]] - vertices[f.v[0]])
                                          : faceSum(f);
        for (int i = 0; i < count; ++i) {
            if (f.v[i] < 0 || static_cast<size_t>(f.v[i]) >= vertices.size())
                continue;
            normals[f.v[i]] = normals[f.v[i]] + sum;
            f.n[i] = f.v[i];
        }
        const float len = math3d::length(sum);
        if (len != 0.0f)
            faceNormals[fi] = sum * (1.0f / len);
    }
    for (math3d::Vec3& nrm : normals) {
        const float len = math3d::length(nrm);
        if (len != 0.0f)
            nrm = nrm * (1.0f / len);
    }
    dirty = true;
}

void ObjMesh::computeFaceNormals() {
    faceNormals.resize(faces.size());
    for (size_t fi = 0; fi < faces.size(); ++fi)
        faceNormals[fi] = math3d::normalize(faceSum(faces[fi]));
    dirty = true;
}

void ObjMesh::computeBounds() {
    boundsMin = {1e15f, 1e15f, 1e15f};
    boundsMax = {-1e15f, -1e15f, -1e15f};
    for (const math3d::Vec3& p : vertices) {
        for (int i = 0; i < 3; ++i) {
            boundsMin[i] = std::min(boundsMin[i], p[i]);
            boundsMax[i] = std::max(boundsMax[i], p[i]);
        }
    }
}

void ObjMesh::normalizeToUnit() {
    const math3d::Vec3 size = boundsMax - boundsMin;
    const float extent = std::max({size.x, size.y, size.z});
    if (!(extent > 0.0f))
        return;
    const math3d::Vec3 centre = (boundsMin + boundsMax) * 0.5f;
    for (math3d::Vec3& p : vertices)
        p = (p - centre) * (1.0f / extent);
    dirty = true;
}

void ObjMesh::buildDrawArrays(int32_t mode) {
    const size_t groups = std::max<size_t>(1, materials.size());
    for (auto* arrays : {&drawPositions, &drawNormals, &drawColors})
        arrays->assign(groups, {});
    drawTexCoords.assign(groups, {});
    const bool smooth = (mode & RenderMode::smooth) != 0;
    const bool withTex = !texCoords.empty();
    const bool withColours = !colors.empty();
    const math3d::Vec3 zero{0, 0, 0};
    for (size_t fi = 0; fi < faces.size(); ++fi) {
        const Face& f = faces[fi];
        if (f.hidden || f.count < 3)
            continue;
        size_t group = 0;
        if (!materials.empty()) {
            if (f.material < 0 || static_cast<size_t>(f.material) >= materials.size())
                continue;
            group = static_cast<size_t>(f.material);
        }
        const math3d::Vec3 faceNormal = fi < faceNormals.size() ? faceNormals[fi] : zero;
        const int count = std::min(f.count, Face::kMaxCorners);
        const auto validVertex = [&](int corner) { return static_cast<uint32_t>(f.v[corner]) < vertices.size(); };
        for (int k = 2; k < count; ++k) {
            // A triangle with a bad corner is left out whole: a partial one
            // would shift every later triangle of its list.
            if (!validVertex(0) || !validVertex(k - 1) || !validVertex(k))
                continue;
            for (int corner : {0, k - 1, k}) {
                const int32_t v = f.v[corner];
                drawPositions[group].push_back(vertices[v]);
                const int32_t n = f.n[corner];
                const bool cornerNormal = smooth && n >= 0 && static_cast<size_t>(n) < normals.size();
                drawNormals[group].push_back(cornerNormal ? normals[n] : faceNormal);
                if (withTex) {
                    const int32_t t = f.t[corner];
                    const bool valid = t >= 0 && static_cast<size_t>(t) < texCoords.size();
                    drawTexCoords[group].push_back(valid ? texCoords[t] : TexCoord{});
                }
                if (withColours)
                    drawColors[group].push_back(static_cast<size_t>(v) < colors.size() ? colors[v] : kDefaultColour);
            }
        }
    }
    lastMode = mode;
    dirty = false;
}

int ObjMesh::loadTexture(const std::string& imagePath) {
    Trace::err("Load Texture %s\n", imagePath.c_str());
    if (imagePath.size() >= Material::kMaxTextureBytes) {
        Trace::err("Texture path too long (%zu bytes), ignored\n", imagePath.size());
        return 0;
    }
    if (materials.empty()) {
        materials.emplace_back();
        for (Face& f : faces)
            f.material = 0;
    }
    if (!faces.empty() && faces[0].material < 0) {
        materials.emplace_back();
        for (Face& f : faces)
            f.material = static_cast<int32_t>(materials.size()) - 1;
    }
    Material& m = materials[faces.empty() ? 0 : faces[0].material];
    std::fill(m.texId.begin(), m.texId.begin() + 4, 0u);
    m.textureFile = imagePath;
    ResourceManager::instance()->addTex(imagePath);
    return 1;
}

// ---- Copies ----

void ObjMesh::copyArraysFrom(const ObjMesh& other) {
    vertices = other.vertices;
    normals = other.normals;
    colors = other.colors;
    faceNormals = other.faceNormals;
    texCoords = other.texCoords;
    faces = other.faces;
    materials = other.materials;
    vertexFlags = other.vertexFlags;
    boundsMin = other.boundsMin;
    boundsMax = other.boundsMax;
    filePath = other.filePath;
    mtlFile = other.mtlFile;
    pickable = other.pickable;
    modeOverride = other.modeOverride;
    modeOverrideValue = other.modeOverrideValue;
}

void ObjMesh::copyFrom(const ObjMesh& other) {
    if (&other == this)
        return;
    clear();
    copyArraysFrom(other);
    copyBMeshFrom(other);
    syncVertexFlags();
}

bool ObjMesh::copySubmeshVertices(const std::vector<int32_t>& vertexIds, ObjMesh& out,
                                  std::vector<int32_t>& newIndex) const {
    newIndex.assign(vertices.size(), -1);
    out.vertices.reserve(vertexIds.size());
    out.colors.reserve(vertexIds.size());
    for (size_t i = 0; i < vertexIds.size(); ++i) {
        const int32_t id = vertexIds[i];
        if (id < 0 || static_cast<size_t>(id) >= vertices.size()) {
            Trace::out("error: not valid vertex id: %d", id);
            return false;
        }
        out.vertices.push_back(vertices[id]);
        out.colors.push_back(static_cast<size_t>(id) < colors.size() ? colors[id] : kDefaultColour);
        newIndex[id] = static_cast<int32_t>(i);
    }
    return true;
}

void ObjMesh::extractSubmesh(const std::vector<int32_t>& vertexIds, ObjMesh* out, std::vector<int32_t>* faceMap) {
    if (!out) {
        Trace::out("error: null pointer provided!");
        return;
    }
    if (out == this) {
        ObjMesh copy(*this);
        copy.extractSubmesh(vertexIds, out, faceMap);
        return;
    }
    out->clear();
    std::vector<int32_t> newIndex;
    if (!copySubmeshVertices(vertexIds, *out, newIndex)) {
        out->vertexFlags.assign(out->vertices.size(), 0);
        return;
    }
    // Texture and normal indices are kept as they are: the texture
    // coordinates and materials travel along so they stay meaningful.
    out->texCoords = texCoords;
    out->materials = materials;
    out->mtlFile = mtlFile;
    if (faceMap)
        faceMap->assign(faces.size(), -1);
    for (size_t fi = 0; fi < faces.size(); ++fi) {
        const Face& f = faces[fi];
        const int count = std::min(f.count, Face::kMaxCorners);
        bool inside = true;
        for (int i = 0; i < count && inside; ++i)
            inside = f.v[i] >= 0 && static_cast<size_t>(f.v[i]) < vertices.size() && newIndex[f.v[i]] >= 0;
        if (!inside)
            continue;
        Face copy = f;
        for (int i = 0; i < count; ++i)
            copy.v[i] = newIndex[f.v[i]];
        if (faceMap)
            (*faceMap)[fi] = static_cast<int32_t>(out->faces.size());
        out->faces.push_back(copy);
    }
    out->computeNormals();
    out->computeBounds();
    out->resetBMeshSelection();
}
