// ObjMesh drawing with the fixed-function OpenGL pipeline.

#include "geometry/ObjMesh.h"

#include "images/TextureUpload.h"

#include <GL/gl.h>

#include <algorithm>

namespace {

const math3d::Vec3 kSelectedColour{1, 1, 0};
const math3d::Vec3 kHighlightColour{1, 1, 1};
const math3d::Vec3 kWireColour{0.2f, 0.3f, 0.6f};

void colour(const math3d::Vec3& c) { glColor3f(c.x, c.y, c.z); }

bool isValid(int32_t index, size_t size) { return index >= 0 && static_cast<size_t>(index) < size; }

bool faceIsValid(const Face& f, size_t vertexCount) {
    if (f.count < 0 || f.count > Face::kMaxCorners)
        return false;
    for (int i = 0; i < f.count; ++i)
        if (!isValid(f.v[i], vertexCount))
            return false;
    return true;
}

} // namespace

void ObjMesh::applyMaterial(const Material& m, bool textured) {
    const float ambient[4] = {m.Ka.x, m.Ka.y, m.Ka.z, m.Tr};
    const float diffuse[4] = {m.Kd.x, m.Kd.y, m.Kd.z, m.Tr};
    const float specular[4] = {m.Ks.x, m.Ks.y, m.Ks.z, m.Tr};
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specular);
    // OpenGL refuses shininess outside 0..128 (MTL files go up to 1000).
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, std::clamp(m.Ns, 0.0f, 128.0f));
    if (textured) {
        glEnable(GL_TEXTURE_2D);
        const int slot = std::clamp(m.contextIndex, 0, Material::kContextSlots - 1);
        glBindTexture(GL_TEXTURE_2D, m.texId[slot]);
    } else {
        glDisable(GL_TEXTURE_2D);
    }
}

void ObjMesh::render(int32_t mode) {
    if (!visible || vertices.empty())
        return;
    if (modeOverride)
        mode = modeOverrideValue;
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    if (vertexFlags.size() != vertices.size())
        vertexFlags.assign(vertices.size(), 0);
    if (colors.size() != vertices.size())
        colors.assign(vertices.size(), math3d::Vec3{0.8f, 0.8f, 0.8f});
    if (mode & RenderMode::lighting)
        glEnable(GL_LIGHTING);
    else
        glDisable(GL_LIGHTING);
    if (mode & RenderMode::wire) {
        glEnable(GL_POLYGON_OFFSET_FILL);
        glPolygonOffset(1.0f, 1.0f);
    }
    if (mode & RenderMode::faces)
        drawFaces(mode);
    if (mode & RenderMode::wire)
        drawWire();
    if (mode & RenderMode::points)
        drawPoints(mode);
    glDisable(GL_POLYGON_OFFSET_FILL);
    glPopAttrib();
    glEnable(GL_LIGHTING);
}

void ObjMesh::drawFaces(int32_t mode) {
    // The arrays depend on the smooth bit alone: views that draw in other
    // modes with the same shading share them.
    if (dirty || ((mode ^ lastMode) & RenderMode::smooth))
        buildDrawArrays(mode);
    const bool textured = (mode & RenderMode::textured) && !texCoords.empty();
    const bool withColours = (mode & RenderMode::vertexColors) && !colors.empty();
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    if (textured) {
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    }
    const Material defaultMaterial;
    for (size_t g = 0; g < drawPositions.size(); ++g) {
        const size_t count = drawPositions[g].size();
        if (count == 0)
            continue;
        applyMaterial(materials.empty() ? defaultMaterial : materials[g], textured);
        glVertexPointer(3, GL_FLOAT, sizeof(math3d::Vec3), drawPositions[g].data());
        glNormalPointer(GL_FLOAT, sizeof(math3d::Vec3), drawNormals[g].data());
        if (textured)
            glTexCoordPointer(2, GL_FLOAT, sizeof(TexCoord), drawTexCoords[g].data());
        const bool colourArray = withColours && drawColors[g].size() == count;
        if (colourArray) {
            glEnableClientState(GL_COLOR_ARRAY);
            glColorPointer(3, GL_FLOAT, sizeof(math3d::Vec3), drawColors[g].data());
        }
        glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(count));
        if (colourArray)
            glDisableClientState(GL_COLOR_ARRAY);
    }
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisable(GL_BLEND);
}

void ObjMesh::drawWire() {
    glDisable(GL_LIGHTING);
    glLineWidth(1.0f);
    glBegin(GL_LINES);
    for (const Face& f : faces) {
        if (f.hidden || !faceIsValid(f, vertices.size()))
            continue;
        for (int i = 0; i < f.count; ++i) {
            for (int32_t v : {f.v[i], f.v[(i + 1) % f.count]}) {
                colour(vertexFlags[v] ? kSelectedColour : (highlighted ? kHighlightColour : kWireColour));
                glVertex3f(vertices[v].x, vertices[v].y, vertices[v].z);
            }
        }
    }
    glEnd();
    colour(kHighlightColour);
}

void ObjMesh::drawPoints(int32_t mode) {
    const bool lighting = (mode & RenderMode::lighting) != 0;
    if (lighting)
        glEnable(GL_LIGHTING);
    else
        glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glPointSize(5.0f);
    glBegin(GL_POINTS);
    for (size_t i = 0; i < vertices.size(); ++i) {
        colour(vertexFlags[i] ? kSelectedColour : kWireColour);
        if (lighting && i < normals.size())
            glNormal3f(normals[i].x, normals[i].y, normals[i].z);
        glVertex3f(vertices[i].x, vertices[i].y, vertices[i].z);
    }
    glEnd();
    colour(kHighlightColour);
    glPointSize(1.0f);
}

void ObjMesh::renderFlat(const math3d::Vec3& c) {
    if (!pickable || !visible || vertices.empty() || faces.empty())
        return;
    glDisable(GL_LIGHTING);
    glPushAttrib(GL_CURRENT_BIT | GL_POINT_BIT | GL_PIXEL_MODE_BIT | GL_STENCIL_BUFFER_BIT | GL_VIEWPORT_BIT |
                 GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT);
    // The colour must reach the pixels unchanged: no texture, blending or
    // dithering may alter it.
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glDisable(GL_DITHER);
    colour(c);
    glBegin(GL_TRIANGLES);
    for (const Face& f : faces) {
        if (f.count < 3 || !faceIsValid(f, vertices.size()))
            continue;
        for (int k = 2; k < f.count; ++k) {
            for (int corner : {0, k - 1, k}) {
                const math3d::Vec3& p = vertices[f.v[corner]];
                glVertex3f(p.x, p.y, p.z);
            }
        }
    }
    glEnd();
    glPopAttrib();
    glEnable(GL_LIGHTING);
}

void ObjMesh::uploadTextures() {
    for (Material& m : materials) {
        if (m.pixels.empty())
            continue;
        uint32_t ids[kTextureSlots];
        std::copy(m.texId.begin(), m.texId.begin() + kTextureSlots, ids);
        uploadTexture(m.pixels, m.width, m.height, m.channels, ids, m.contextIndex, m.textureFile.c_str());
        std::copy(ids, ids + kTextureSlots, m.texId.begin());
    }
}
