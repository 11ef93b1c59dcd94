// Fixed-function drawing of the half-edge mesh (edit mode overlay).

#include "geometry/BMesh.h"

#include <GL/gl.h>

namespace kvo {

namespace {

constexpr int32_t kDrawVerts = 0x1;
constexpr int32_t kDrawEdges = 0x2;
constexpr int32_t kDrawFaces = 0x4;
constexpr int32_t kVertexNormals = 0x20;

const float kSelectedFace[3] = {79 / 255.0f, 56 / 255.0f, 79 / 255.0f};
const float kSelectedVert[3] = {175 / 255.0f, 175 / 255.0f, 48 / 255.0f};
const float kBlack[3] = {0, 0, 0};

const float* vertColour(const BMVert* v) { return v->head.select ? kSelectedVert : kBlack; }

void drawFaces(const BMesh& bm, bool vertexNormals) {
    for (const BMFace* f : bm.faces()) {
        glColor3fv(f->head.select ? kSelectedFace : bm.faceColour);
        glBegin(GL_POLYGON);
        if (!vertexNormals)
            glNormal3fv(f->no);
        for (const BMLoop* l : faceLoops(f)) {
            if (vertexNormals)
                glNormal3fv(l->v->no);
            glVertex3fv(l->v->co);
        }
        glEnd();
    }
}

void drawEdges(const BMesh& bm) {
    glBegin(GL_LINES);
    for (const BMEdge* e : bm.edges()) {
        glColor3fv(vertColour(e->v1));
        glVertex3fv(e->v1->co);
        glColor3fv(vertColour(e->v2));
        glVertex3fv(e->v2->co);
    }
    glEnd();
}

void drawVerts(const BMesh& bm) {
    glDisable(GL_LIGHTING);
    glPointSize(3.0f);
    glBegin(GL_POINTS);
    for (const BMVert* v : bm.verts()) {
        glColor3fv(vertColour(v));
        glVertex3fv(v->co);
    }
    glEnd();
}

} // namespace

void BMesh::render(int32_t mode) {
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glEnable(GL_COLOR_MATERIAL);
    if (mode & (kDrawVerts | kDrawEdges)) {
        glEnable(GL_POLYGON_OFFSET_FILL);
        glPolygonOffset(1.0f, 1.0f);
    }
    if (mode & kDrawFaces)
        drawFaces(*this, (mode & kVertexNormals) != 0);
    if (mode & kDrawEdges)
        drawEdges(*this);
    if (mode & kDrawVerts)
        drawVerts(*this);
    glPopAttrib();
}

void BMesh::renderFlat(const math3d::Vec3& colour) {
    glPushAttrib(GL_CURRENT_BIT | GL_LIGHTING_BIT);
    glDisable(GL_LIGHTING);
    glColor3f(colour.x, colour.y, colour.z);
    for (const BMFace* f : faces()) {
        glBegin(GL_POLYGON);
        for (const BMLoop* l : faceLoops(f))
            glVertex3fv(l->v->co);
        glEnd();
    }
    glPopAttrib();
}

} // namespace kvo
