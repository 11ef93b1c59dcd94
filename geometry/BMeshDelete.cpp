// Deleting the selection of the half-edge mesh and handing the rest back as
// flat arrays.

#include "geometry/BMesh.h"

namespace kvo {

void BMesh::deleteSelected(BMWriteBack& out) {
    for (BMFace* f : faceList())
        if (f->head.select)
            killFace(f);
    // Killing a vertex frees only that vertex (and edges and faces), so the
    // snapshot of the other vertices stays valid.
    for (BMVert* v : vertList())
        if (v->head.select)
            killVert(v);
    writeBack(out);
}

void BMesh::writeBack(BMWriteBack& out) {
    for (BMFace* f : faceList())
        triangulate_face(f);
    out = BMWriteBack();
    out.positions.reserve(size_t(totVert) * 3);
    out.vertexOrigins.reserve(totVert);
    for (const BMVert* v : verts()) {
        out.vertexOrigins.push_back(v->head.index);
        out.positions.insert(out.positions.end(), v->co, v->co + 3);
    }
    out.triangles.reserve(size_t(totFace) * 3);
    out.triangleOrigins.reserve(totFace);
    numberElements(); // vertices first: the triangles below read the new numbers
    for (const BMFace* f : faces()) {
        // A face the triangulator could not finish still goes out whole, as a fan.
        const BMLoop* first = f->l_first;
        for (const BMLoop* l = first->next; l->next != first; l = l->next) {
            out.triangles.insert(out.triangles.end(), {first->v->head.index, l->v->head.index, l->next->v->head.index});
            out.triangleOrigins.push_back(f->head.index);
        }
    }
    int32_t i = 0;
    for (BMFace* f : faces())
        f->head.index = i++;
}

// head.index := position in pool order, for vertices and edges (writeBack
// numbers the faces once it has read their old indices).
void BMesh::numberElements() {
    int32_t i = 0;
    for (BMVert* v : verts())
        v->head.index = i++;
    i = 0;
    for (BMEdge* e : edges())
        e->head.index = i++;
}

} // namespace kvo
