#include "geometry/ObjWriter.h"

#include <cstdarg>
#include <cstdio>

namespace {

// Appends printf-formatted text.
void appendf(std::string& out, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void appendf(std::string& out, const char* fmt, ...) {
    char small[256];
    va_list args;
    va_start(args, fmt);
    const int n = std::vsnprintf(small, sizeof small, fmt, args);
    va_end(args);
    if (n < 0)
        return;
    if (static_cast<size_t>(n) < sizeof small) {
        out.append(small, n);
        return;
    }
    const size_t at = out.size();
    out.resize(at + n + 1);
    va_start(args, fmt);
    std::vsnprintf(&out[at], n + 1, fmt, args);
    va_end(args);
    out.resize(at + n);
}

void appendCorner(std::string& out, const Face& f, int i) {
    appendf(out, "%d/", f.v[i] + 1);
    if (f.t[i] >= 0)
        appendf(out, "%d", f.t[i] + 1);
    out += '/';
    if (f.n[i] >= 0)
        appendf(out, "%d", f.n[i] + 1);
}

void appendFaces(std::string& out, const ObjMesh& mesh) {
    int32_t lastMaterial = -1;
    const int32_t materialCount = static_cast<int32_t>(mesh.materials.size());
    for (const Face& f : mesh.faces) {
        if (f.material != lastMaterial && f.material >= 0 && f.material < materialCount) {
            appendf(out, "usemtl %s\n", mesh.materials[f.material].name.c_str());
            lastMaterial = f.material;
        }
        out += "f ";
        for (int i = 0; i < f.count && i < Face::kMaxCorners; ++i) {
            if (i > 0)
                out += ' ';
            appendCorner(out, f, i);
        }
        out += '\n';
    }
}

} // namespace

std::string ObjWriter::objText(const ObjMesh& mesh) {
    std::string out;
    out.reserve(mesh.vertices.size() * 40 + mesh.faces.size() * 40 + 256);
    if (!mesh.materials.empty())
        appendf(out, "mtllib %s\n", mesh.mtlFile.c_str());
    appendf(out, "#number of vertices: %d\n", static_cast<int>(mesh.vertices.size()));
    for (const math3d::Vec3& p : mesh.vertices)
        appendf(out, "v %f %f %f\n", p.x, p.y, p.z);
    appendf(out, "#number of normals: %d\n", static_cast<int>(mesh.normals.size()));
    for (const math3d::Vec3& n : mesh.normals)
        appendf(out, "vn %f %f %f\n", n.x, n.y, n.z);
    appendf(out, "#number of texcoords: %d\n", static_cast<int>(mesh.texCoords.size()));
    for (const TexCoord& t : mesh.texCoords)
        appendf(out, "vt %f %f\n", t.u, t.v);
    appendFaces(out, mesh);
    return out;
}

std::string ObjWriter::mtlText(const std::vector<Material>& materials) {
    std::string out;
    for (const Material& m : materials) {
        appendf(out, "\nnewmtl %s \n", m.name.c_str());
        appendf(out, "\tNs %f \n", m.Ns);
        appendf(out, "\tNi %f \n", m.Ni);
        appendf(out, "\tTr %f \n", m.Tr);
        appendf(out, "\tr %f \n", m.r);
        appendf(out, "\tra %f \n", m.ra);
        appendf(out, "\tsharpness %f \n", m.sharpness);
        appendf(out, "\tKa %f %f %f \n", m.Ka.x, m.Ka.y, m.Ka.z);
        appendf(out, "\tKd %f %f %f \n", m.Kd.x, m.Kd.y, m.Kd.z);
        appendf(out, "\tKs %f %f %f \n", m.Ks.x, m.Ks.y, m.Ks.z);
        appendf(out, "\tmap_Kd %s \n", m.textureFile.c_str());
    }
    return out;
}
