#include "geometry/ObjReader.h"

#include "base/LargeAllocator.h"
#include "base/Trace.h"
#include "geometry/LineReader.h"
#include "geometry/MtlReader.h"
#include "geometry/TextScan.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

namespace {

enum class Keyword { None, Comment, Vertex, Normal, TexCoord, Face, UseMtl, MtlLib, Other };

Keyword classify(std::string_view key) {
    if (key.empty())
        return Keyword::None;
    switch (key[0]) {
    case '#':
        return Keyword::Comment;
    case 'v':
        if (key.size() == 1)
            return Keyword::Vertex;
        if (key.size() == 2 && key[1] == 'n')
            return Keyword::Normal;
        if (key.size() == 2 && key[1] == 't')
            return Keyword::TexCoord;
        break;
    case 'f':
        if (key.size() == 1)
            return Keyword::Face;
        break;
    case 'u':
        if (key == "usemtl")
            return Keyword::UseMtl;
        break;
    case 'm':
        if (key == "mtllib")
            return Keyword::MtlLib;
        break;
    default:
        break;
    }
    return Keyword::Other;
}

int countTokens(std::string_view rest) {
    int n = 0;
    while (!textscan::nextLineToken(rest).empty())
        ++n;
    return n;
}

// Faces the face line text after "f" becomes. A line with fewer blanks than
// Face::kMaxCorners cannot hold more corners than fit one face, so only
// longer lines are tokenised; blanks are found with memchr (spaces hop,
// tabs are rare).
size_t facePieces(std::string_view rest) {
    if (rest.size() < size_t(2 * Face::kMaxCorners)) // too short for kMaxCorners + 1 tokens
        return 1;
    if (std::memchr(rest.data(), '\t', rest.size()))
        return size_t(ObjReader::piecesOf(countTokens(rest)));
    const char* p = rest.data();
    const char* const end = p + rest.size();
    for (int blanks = 0; blanks < Face::kMaxCorners; ++blanks) {
        p = static_cast<const char*>(std::memchr(p, ' ', static_cast<size_t>(end - p)));
        if (!p)
            return 1;
        ++p;
    }
    return size_t(ObjReader::piecesOf(countTokens(rest)));
}

// Reserves exactly n elements; large arrays are backed by huge pages where
// the system offers them, which saves most page faults while filling them.
template <class T>
void reserveExactly(std::vector<T>& v, size_t n) {
    v.reserve(n);
    constexpr size_t kHintFrom = size_t(8) << 20;
    if (n * sizeof(T) >= kHintFrom)
        largealloc::adviseHugePages(v.data(), n * sizeof(T));
}

void readFloats(std::string_view rest, float* out, int n) {
    for (int i = 0; i < n; ++i)
        out[i] = static_cast<float>(textscan::nextDouble(rest));
}

math3d::Vec3 readVec3(std::string_view rest) {
    float xyz[3];
    readFloats(rest, xyz, 3);
    return {xyz[0], xyz[1], xyz[2]};
}

// One polygon's corners as parsed, before resolution and splitting.
struct Corners {
    std::vector<int32_t> v, t, n;
    void resize(int count) {
        v.resize(count);
        t.resize(count);
        n.resize(count);
    }
};

// Parsing state of one OBJ text.
class ObjParse {
public:
    ObjParse(ObjMesh& mesh, const std::string& path, bool keepNormals)
        : m_mesh(mesh), m_path(path), m_keepNormals(keepNormals) {}

    void line(std::string_view text, int64_t lineNumber);
    void finish();

private:
    void addFace(std::string_view rest);
    bool resolveCorners(int32_t* v, int32_t* t, int32_t* n, int count, bool& forward) const;
    void storeFace(const int32_t* v, const int32_t* t, const int32_t* n, int count);
    void useMaterial(std::string_view rest);
    void readLibrary(std::string_view rest);
    void reportDropped(int64_t lineNumber) const;

    ObjMesh& m_mesh;
    const std::string& m_path;
    bool m_keepNormals;
    int64_t m_lineNumber = 0;
    int32_t m_material = -1;
    int m_libraries = 0; // "mtllib" lines read
    Corners m_long;                                // corners of a polygon too long for one Face
    std::vector<ObjReader::PendingFace> m_forward; // faces with forward references
};

void ObjParse::line(std::string_view text, int64_t lineNumber) {
    m_lineNumber = lineNumber;
    std::string_view rest = text;
    const std::string_view key = textscan::nextLineToken(rest);
    switch (classify(key)) {
    case Keyword::None:
    case Keyword::Comment:
        return;
    case Keyword::Vertex:
        m_mesh.vertices.push_back(readVec3(rest));
        return;
    case Keyword::Normal:
        m_mesh.normals.push_back(readVec3(rest));
        return;
    case Keyword::TexCoord: {
        float uv[2];
        readFloats(rest, uv, 2);
        m_mesh.texCoords.push_back({uv[0], uv[1]});
        return;
    }
    case Keyword::Face:
        addFace(rest);
        return;
    case Keyword::UseMtl:
        useMaterial(rest);
        return;
    case Keyword::MtlLib:
        readLibrary(rest);
        return;
    case Keyword::Other:
        ObjReader::reportUnknown(key, lineNumber);
        return;
    }
}

// Corners that already index elements read so far stand as they are;
// the others are resolved (relative indices) or found invalid.
bool ObjParse::resolveCorners(int32_t* v, int32_t* t, int32_t* n, int count, bool& forward) const {
    const ObjReader::Sizes seen{m_mesh.vertices.size(), m_mesh.texCoords.size(), m_mesh.normals.size()};
    const auto below = [](int32_t index, size_t size) { return static_cast<uint32_t>(index) < size; };
    for (int i = 0; i < count; ++i) {
        const bool plain = below(v[i], seen.v) && (t[i] == -1 || below(t[i], seen.t)) &&
                           (n[i] == -1 || below(n[i], seen.n));
        if (!plain && !ObjReader::resolveCorner(v[i], t[i], n[i], seen, ObjReader::Sizes{}, m_keepNormals, forward))
            return false;
    }
    return true;
}

void ObjParse::storeFace(const int32_t* v, const int32_t* t, const int32_t* n, int count) {
    Face& f = m_mesh.faces.emplace_back();
    std::copy(v, v + count, f.v);
    std::copy(t, t + count, f.t);
    std::copy(n, n + count, f.n);
    f.count = count;
    f.material = m_material;
}

void ObjParse::addFace(std::string_view rest) {
    bool forward = false;
    Face& f = m_mesh.faces.emplace_back();
    const int count = ObjMesh::parseFaceCorners(rest, f.v, f.t, f.n, Face::kMaxCorners);
    if (count < 3) {
        m_mesh.faces.pop_back();
        ObjReader::reportTooFewCorners(m_path, m_lineNumber);
        return;
    }
    if (count <= Face::kMaxCorners) {
        f.count = count;
        f.material = m_material;
        if (!resolveCorners(f.v, f.t, f.n, count, forward)) {
            m_mesh.faces.pop_back();
            reportDropped(m_lineNumber);
        } else if (forward) {
            m_forward.push_back({m_mesh.faces.size() - 1, m_lineNumber, 1});
        }
        return;
    }
    // A long polygon: a fan of faces that fit, all sharing corner 0.
    m_mesh.faces.pop_back();
    m_long.resize(count);
    ObjMesh::parseFaceCorners(rest, m_long.v.data(), m_long.t.data(), m_long.n.data(), count);
    if (!resolveCorners(m_long.v.data(), m_long.t.data(), m_long.n.data(), count, forward)) {
        reportDropped(m_lineNumber);
        return;
    }
    const size_t first = m_mesh.faces.size();
    int32_t v[Face::kMaxCorners], t[Face::kMaxCorners], n[Face::kMaxCorners];
    for (int start = 1; start + 1 < count;) {
        const int end = std::min(count, start + Face::kMaxCorners - 1);
        v[0] = m_long.v[0];
        t[0] = m_long.t[0];
        n[0] = m_long.n[0];
        std::copy(m_long.v.begin() + start, m_long.v.begin() + end, v + 1);
        std::copy(m_long.t.begin() + start, m_long.t.begin() + end, t + 1);
        std::copy(m_long.n.begin() + start, m_long.n.begin() + end, n + 1);
        storeFace(v, t, n, 1 + end - start);
        start = end - 1;
    }
    if (forward)
        m_forward.push_back({first, m_lineNumber, m_mesh.faces.size() - first});
}

void ObjParse::useMaterial(std::string_view rest) {
    const std::string_view name = textscan::trim(rest);
    m_material = m_mesh.materials.empty() ? -1 : MtlReader::findMaterial(m_mesh.materials, name);
}

void ObjParse::readLibrary(std::string_view rest) {
    const std::string_view token = textscan::nextLineToken(rest);
    const std::string library = ObjReader::libraryPathOf(m_path, token);
    if (library.empty())
        return;
    m_mesh.mtlFile = std::string(token);
    if (ObjReader::readLibrary(library, m_path, m_lineNumber, m_mesh.materials))
        ++m_libraries;
}

void ObjParse::reportDropped(int64_t lineNumber) const { ObjReader::reportDropped(m_path, lineNumber); }

void ObjParse::finish() {
    ObjReader::dropUnresolved(m_mesh, m_forward, m_path, m_keepNormals, m_libraries, m_mesh.materials.size());
}

} // namespace

int ObjReader::piecesOf(int corners) {
    if (corners <= Face::kMaxCorners)
        return 1;
    const int perPiece = Face::kMaxCorners - 2; // new corners each further piece adds
    return 1 + (corners - Face::kMaxCorners + perPiece - 1) / perPiece;
}

ObjReader::Counts ObjReader::count(LineReader& source) {
    Counts c;
    std::string_view line;
    while (source.next(line)) {
        std::string_view rest = line;
        switch (classify(textscan::nextLineToken(rest))) {
        case Keyword::Vertex:
            ++c.vertices;
            break;
        case Keyword::Normal:
            ++c.normals;
            break;
        case Keyword::TexCoord:
            ++c.texCoords;
            break;
        case Keyword::Face:
            if (mayHoldTriangle(rest))
                c.faces += facePieces(rest);
            break;
        default:
            break;
        }
    }
    return c;
}

bool ObjReader::read(LineReader& source, const std::string& objPath, bool keepFileNormals, ObjMesh& mesh) {
    const Counts counts = count(source);
    if (source.lineTooLong()) {
        source.reportTooLong(objPath);
        return false;
    }
    if (!source.rewind()) {
        Trace::err("Error reading file: %s\n", objPath.c_str());
        return false;
    }
    reserveExactly(mesh.vertices, counts.vertices);
    reserveExactly(mesh.normals, counts.normals);
    reserveExactly(mesh.texCoords, counts.texCoords);
    reserveExactly(mesh.faces, counts.faces);
    ObjParse parse(mesh, objPath, keepFileNormals && counts.normals > 0);
    std::string_view line;
    while (source.next(line))
        parse.line(line, source.lineNumber());
    if (source.lineTooLong()) { // the file changed since the first pass
        source.reportTooLong(objPath);
        return false;
    }
    parse.finish();
    return true;
}

namespace {

// One index resolved and made mesh-local; false when it can never be valid.
bool resolveOne(int32_t& index, size_t seen, size_t offset, bool& forward) {
    const int64_t local = ObjReader::resolveIndex(index, seen) - static_cast<int64_t>(offset);
    if (local < 0 || local > INT32_MAX)
        return false;
    forward |= local >= static_cast<int64_t>(seen) - static_cast<int64_t>(offset);
    index = static_cast<int32_t>(local);
    return true;
}

bool inRange(int32_t index, size_t size) { return index >= 0 && static_cast<size_t>(index) < size; }

} // namespace

bool ObjReader::resolveCorner(int32_t& v, int32_t& t, int32_t& n, const Sizes& seen, const Sizes& offset,
                              bool checkNormals, bool& forward) {
    if (v == -1 || !resolveOne(v, seen.v, offset.v, forward))
        return false;
    if (t != -1 && !resolveOne(t, seen.t, offset.t, forward))
        return false;
    if (n != -1) {
        bool normalForward = false;
        const bool usable = resolveOne(n, seen.n, offset.n, normalForward);
        if (checkNormals && !usable)
            return false;
        if (!usable)
            n = -1;
        if (checkNormals)
            forward |= normalForward;
    }
    return true;
}

bool ObjReader::cornerInRange(const Face& f, int i, const Sizes& sizes, bool checkNormals) {
    if (!inRange(f.v[i], sizes.v))
        return false;
    if (f.t[i] != -1 && !inRange(f.t[i], sizes.t))
        return false;
    return !checkNormals || f.n[i] == -1 || inRange(f.n[i], sizes.n);
}

void ObjReader::dropUnresolved(ObjMesh& mesh, const std::vector<PendingFace>& pending, const std::string& path,
                               bool checkNormals, int librariesRead, size_t materialCount) {
    const Sizes sizes{mesh.vertices.size(), mesh.texCoords.size(), mesh.normals.size()};
    std::vector<char> drop;
    const auto inRangeWhole = [&](const PendingFace& p) {
        for (size_t k = p.face; k < p.face + p.pieces; ++k)
            for (int i = 0; i < mesh.faces[k].count; ++i)
                if (!cornerInRange(mesh.faces[k], i, sizes, checkNormals))
                    return false;
        return true;
    };
    for (const PendingFace& p : pending) {
        if (inRangeWhole(p))
            continue;
        if (drop.empty())
            drop.assign(mesh.faces.size(), 0);
        reportDropped(path, p.line);
        std::fill(drop.begin() + std::ptrdiff_t(p.face), drop.begin() + std::ptrdiff_t(p.face + p.pieces), 1);
    }
    if (!drop.empty()) {
        size_t kept = 0;
        for (size_t i = 0; i < mesh.faces.size(); ++i)
            if (!drop[i])
                mesh.faces[kept++] = mesh.faces[i];
        mesh.faces.resize(kept);
    }
    if (librariesRead <= 1)
        return;
    for (Face& f : mesh.faces)
        if (f.material >= static_cast<int64_t>(materialCount))
            f.material = -1;
}

void ObjReader::reportDropped(const std::string& path, int64_t lineNumber) {
    Trace::err("Face dropped: index out of range in %s at line %lld\n", path.c_str(),
               static_cast<long long>(lineNumber));
}

void ObjReader::reportTooFewCorners(const std::string& path, int64_t lineNumber) {
    Trace::err("Face dropped: fewer than three corners in %s at line %lld\n", path.c_str(),
               static_cast<long long>(lineNumber));
}

void ObjReader::reportUnknown(std::string_view keyword, int64_t lineNumber) {
    const std::string key(keyword);
    Trace::out("Unknown command '%s' in scene code at line %lld: \"%s\".\n", key.c_str(),
               static_cast<long long>(lineNumber), key.c_str());
}

bool ObjReader::readLibrary(const std::string& libraryPath, const std::string& objPath, int64_t lineNumber,
                            std::vector<Material>& materials) {
    std::string failure;
    if (MtlReader::readFile(libraryPath, materials, kMaxLibraryBytes, &failure))
        return true;
    Trace::err("Material library %s %s, named in %s at line %lld: not read\n", libraryPath.c_str(),
               failure.c_str(), objPath.c_str(), static_cast<long long>(lineNumber));
    return false;
}

std::string ObjReader::libraryPathOf(const std::string& objPath, std::string_view token) {
    std::string library = MtlReader::directoryOf(objPath);
    library.append(token);
    if (library.size() >= ObjMesh::kMaxPathBytes || token.size() >= ObjMesh::kMaxPathBytes) {
        Trace::err("Material library path too long (%zu bytes), ignored\n", library.size());
        return {};
    }
    return library;
}
