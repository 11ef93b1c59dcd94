// ResourceManager::loadObjGroups: one OBJ file read into one ObjMesh per
// group, faces as triangles with mesh-local indices. It lives with the mesh
// readers and shares their pieces (line reading, corner parsing, index
// resolution, MTL reading).

#include "geometry/ObjGroupReader.h"

#include "base/Trace.h"
#include "geometry/LineReader.h"
#include "geometry/MtlReader.h"
#include "geometry/ObjMesh.h"
#include "geometry/ObjReader.h"
#include "geometry/TextScan.h"
#include "images/ResourceManager.h"

#include <memory>
#include <new>
#include <vector>


namespace {

// Parsing state of one multi-group OBJ text.
//
// Positions, normals and texture coordinates gather in a pending buffer; a
// "g" line (or a face line while elements are pending) moves the buffer into
// a new mesh. Face indices are file-global: the totals moved before the
// buffer started filling again are the offsets that make them mesh-local.
class GroupParse {
public:
    GroupParse(const std::string& path, bool forceNormals) : m_path(path), m_forceNormals(forceNormals) {}

    void line(std::string_view text, int64_t lineNumber);
    // Hands the meshes over (checked, with normals and bounds).
    void finish(std::vector<ObjMesh*>& out);

private:
    bool bufferEmpty() const {
        return m_buffer.vertices.empty() && m_buffer.normals.empty() && m_buffer.texCoords.empty();
    }
    void startElement();
    void group(std::string_view rest);
    void moveBufferToNewMesh(std::string_view name);
    void face(std::string_view rest);
    void smoothing(std::string_view rest);
    void useMaterial(std::string_view rest);
    void readLibrary(std::string_view rest);
    ObjReader::Sizes seen() const;

    const std::string& m_path;
    bool m_forceNormals;
    int64_t m_lineNumber = 0;
    std::vector<std::unique_ptr<ObjMesh>> m_meshes;
    ObjMesh m_buffer;              // pending elements (only its arrays are used)
    ObjReader::Sizes m_moved;      // totals already moved into meshes
    ObjReader::Sizes m_offset;     // offsets of the faces being read
    bool m_offsetsTaken = true;    // the buffer has started filling since it was emptied
    std::string m_pendingName;     // a group name seen while nothing was pending
    int32_t m_smoothGroup = 0;
    int32_t m_material = -1;
    std::vector<Material> m_materials;
    int m_libraries = 0; // "mtllib" lines read
    std::string m_mtlFile;
    std::vector<int32_t> m_v, m_t, m_n;
    std::vector<std::vector<ObjReader::PendingFace>> m_forward; // per mesh
};

void GroupParse::line(std::string_view text, int64_t lineNumber) {
    m_lineNumber = lineNumber;
    std::string_view rest = text;
    const std::string_view key = textscan::nextLineToken(rest);
    if (key.empty() || key[0] == '#')
        return;
    float values[3] = {0, 0, 0};
    const auto readValues = [&](int n) {
        for (int i = 0; i < n; ++i)
            values[i] = static_cast<float>(textscan::nextDouble(rest));
    };
    if (key == "v") {
        startElement();
        readValues(3);
        m_buffer.vertices.push_back({values[0], values[1], values[2]});
    } else if (key == "vn") {
        startElement();
        readValues(3);
        m_buffer.normals.push_back({values[0], values[1], values[2]});
    } else if (key == "vt") {
        startElement();
        readValues(2);
        m_buffer.texCoords.push_back({values[0], values[1]});
    } else if (key == "f") {
        face(rest);
    } else if (key == "g") {
        group(rest);
    } else if (key == "s") {
        smoothing(rest);
    } else if (key == "usemtl") {
        useMaterial(rest);
    } else if (key == "mtllib") {
        readLibrary(rest);
    } else {
        ObjReader::reportUnknown(key, lineNumber);
    }
}

// The first element after the buffer was emptied fixes the offsets.
void GroupParse::startElement() {
    if (m_offsetsTaken)
        return;
    m_offset = m_moved;
    m_offsetsTaken = true;
}

void GroupParse::group(std::string_view rest) {
    const std::string_view name = textscan::nextLineToken(rest);
    if (bufferEmpty()) {
        m_pendingName = std::string(name);
        return;
    }
    moveBufferToNewMesh(name);
}

void GroupParse::moveBufferToNewMesh(std::string_view name) {
    auto mesh = std::make_unique<ObjMesh>();
    mesh->name = std::string(name);
    mesh->vertices = std::move(m_buffer.vertices);
    mesh->normals = std::move(m_buffer.normals);
    mesh->texCoords = std::move(m_buffer.texCoords);
    mesh->colors.assign(mesh->vertices.size(), math3d::Vec3{0.8f, 0.8f, 0.8f});
    m_buffer.vertices.clear();
    m_buffer.normals.clear();
    m_buffer.texCoords.clear();
    m_moved.v += mesh->vertices.size();
    m_moved.n += mesh->normals.size();
    m_moved.t += mesh->texCoords.size();
    m_offsetsTaken = false;
    m_smoothGroup = 0;
    m_pendingName.clear();
    m_meshes.push_back(std::move(mesh));
    m_forward.emplace_back();
}

ObjReader::Sizes GroupParse::seen() const {
    return {m_moved.v + m_buffer.vertices.size(), m_moved.t + m_buffer.texCoords.size(),
            m_moved.n + m_buffer.normals.size()};
}

void GroupParse::face(std::string_view rest) {
    if (m_meshes.empty() || !bufferEmpty())
        moveBufferToNewMesh(m_pendingName);
    const int32_t count = ObjMesh::parseFaceCorners(rest, nullptr, nullptr, nullptr, 0);
    if (count < 3) {
        ObjReader::reportTooFewCorners(m_path, m_lineNumber);
        return;
    }
    m_v.resize(count);
    m_t.resize(count);
    m_n.resize(count);
    ObjMesh::parseFaceCorners(rest, m_v.data(), m_t.data(), m_n.data(), count);
    bool forward = false;
    const ObjReader::Sizes seenSoFar = seen();
    for (int32_t i = 0; i < count; ++i) {
        if (!ObjReader::resolveCorner(m_v[i], m_t[i], m_n[i], seenSoFar, m_offset, !m_forceNormals, forward)) {
            ObjReader::reportDropped(m_path, m_lineNumber);
            return;
        }
    }
    ObjMesh& mesh = *m_meshes.back();
    const size_t first = mesh.faces.size();
    for (int32_t k = 2; k < count; ++k) {
        Face& f = mesh.faces.emplace_back();
        const int32_t corners[3] = {0, k - 1, k};
        for (int c = 0; c < 3; ++c) {
            f.v[c] = m_v[corners[c]];
            f.t[c] = m_t[corners[c]];
            f.n[c] = m_n[corners[c]];
        }
        f.count = 3;
        f.material = m_material;
        f.smoothGroup = m_smoothGroup;
    }
    if (forward)
        m_forward.back().push_back({first, m_lineNumber, mesh.faces.size() - first});
}

void GroupParse::smoothing(std::string_view rest) {
    if (textscan::trim(rest) != "off")
        ++m_smoothGroup;
}

void GroupParse::useMaterial(std::string_view rest) {
    const std::string_view name = textscan::trim(rest);
    m_material = m_materials.empty() ? -1 : MtlReader::findMaterial(m_materials, name);
}

void GroupParse::readLibrary(std::string_view rest) {
    const std::string_view token = textscan::nextLineToken(rest);
    const std::string library = ObjReader::libraryPathOf(m_path, token);
    if (library.empty())
        return;
    m_mtlFile = std::string(token);
    if (ObjReader::readLibrary(library, m_path, m_lineNumber, m_materials))
        ++m_libraries;
    Trace::out("obj_parse_mtl_file end\n");
}

void GroupParse::finish(std::vector<ObjMesh*>& out) {
    for (size_t i = 0; i < m_meshes.size(); ++i) {
        ObjMesh& mesh = *m_meshes[i];
        const bool keepsNormals = !m_forceNormals && !mesh.normals.empty();
        ObjReader::dropUnresolved(mesh, m_forward[i], m_path, keepsNormals, m_libraries, m_materials.size());
        mesh.mtlFile = m_mtlFile;
        mesh.materials = m_materials;
        if (m_forceNormals || mesh.normals.empty())
            mesh.computeNormals();
        else
            mesh.computeFaceNormals();
        mesh.computeBounds();
        mesh.vertexFlags.assign(mesh.vertices.size(), 0);
    }
    out.reserve(out.size() + m_meshes.size());
    for (auto& mesh : m_meshes)
        out.push_back(mesh.release());
    m_meshes.clear();
}

} // namespace

int ObjGroupReader::read(LineReader& source, const std::string& path, bool forceNormals, std::vector<ObjMesh*>& out) {
    // Counts come from the text: running out of memory is a failed read.
    try {
        GroupParse parse(path, forceNormals);
        std::string_view line;
        while (source.next(line))
            parse.line(line, source.lineNumber());
        if (source.lineTooLong()) {
            source.reportTooLong(path);
            return 0;
        }
        parse.finish(out);
    } catch (const std::bad_alloc&) {
        Trace::err("Out of memory reading %s\n", path.c_str());
        return 0;
    }
    return 1;
}

int ObjGroupReader::readBytes(std::string_view bytes, const std::string& path, bool forceNormals,
                              std::vector<ObjMesh*>& out) {
    LineReader source(bytes);
    return read(source, path, forceNormals, out);
}

int ResourceManager::loadObjGroups(const std::string& path, bool forceNormals, std::vector<ObjMesh*>& out) {
    LineReader source(path);
    if (!source.isOpen()) {
        Trace::out("Error reading file: %s\n", path.c_str());
        return 0;
    }
    return ObjGroupReader::read(source, path, forceNormals, out);
}
