// Splitting polygons of the half-edge mesh into triangles: ear cutting on the
// polygon projected to its dominant plane, then a fan for whatever ear
// cutting cannot finish.

#include "geometry/BMesh.h"

#include "base/Trace.h"

#include <cmath>

namespace kvo {

namespace {

struct Pt {
    double x, y;
};

// Twice the signed area of the triangle (a, b, c); positive when counter-clockwise.
double orient(Pt a, Pt b, Pt c) { return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x); }

bool samePoint(Pt a, Pt b) { return a.x == b.x && a.y == b.y; }

// Inside or on the border of the triangle (a, b, c), which is counter-clockwise
// after multiplying orientations by sign.
bool inTriangle(Pt q, Pt a, Pt b, Pt c, double sign) {
    return orient(a, b, q) * sign >= 0 && orient(b, c, q) * sign >= 0 && orient(c, a, q) * sign >= 0;
}

// Newell's normal of the loop cycle of f (not normalised; its length is twice the area).
math3d::Vec3 newellNormal(const BMFace* f) {
    double nx = 0, ny = 0, nz = 0;
    for (const BMLoop* l : faceLoops(f)) {
        const float* p = l->v->co;
        const float* q = l->next->v->co;
        nx += (double(p[1]) - q[1]) * (double(p[2]) + q[2]);
        ny += (double(p[2]) - q[2]) * (double(p[0]) + q[0]);
        nz += (double(p[0]) - q[0]) * (double(p[1]) + q[1]);
    }
    return {float(nx), float(ny), float(nz)};
}

// The corners of the face projected on the coordinate plane that the normal
// is most nearly perpendicular to.
std::vector<Pt> project(const std::vector<BMLoop*>& ring, math3d::Vec3 n) {
    const float ax = std::fabs(n.x), ay = std::fabs(n.y), az = std::fabs(n.z);
    int u = 0, v = 1; // drop z
    if (ax >= ay && ax >= az) {
        u = 1;
        v = 2;
    } else if (ay >= ax && ay >= az) {
        u = 2;
        v = 0;
    }
    std::vector<Pt> pts;
    pts.reserve(ring.size());
    for (const BMLoop* l : ring)
        pts.push_back({l->v->co[u], l->v->co[v]});
    return pts;
}

double signedArea(const std::vector<Pt>& pts) {
    double a = 0;
    for (size_t i = 0; i < pts.size(); ++i) {
        const Pt& p = pts[i];
        const Pt& q = pts[(i + 1) % pts.size()];
        a += p.x * q.y - q.x * p.y;
    }
    return a;
}

// Index of the first corner whose triangle with its neighbours is convex and
// holds no other corner; -1 when there is none.
int findEar(const std::vector<Pt>& pts, double sign) {
    const int m = static_cast<int>(pts.size());
    for (int i = 0; i < m; ++i) {
        const Pt p = pts[(i + m - 1) % m], c = pts[i], n = pts[(i + 1) % m];
        if (orient(p, c, n) * sign <= 0)
            continue;
        bool blocked = false;
        for (int j = 0; j < m && !blocked; ++j) {
            if (j == i || j == (i + m - 1) % m || j == (i + 1) % m)
                continue;
            const Pt q = pts[j];
            if (samePoint(q, p) || samePoint(q, c) || samePoint(q, n))
                continue;
            blocked = inTriangle(q, p, c, n, sign);
        }
        if (!blocked)
            return i;
    }
    return -1;
}

void reportSplitFailure() {
    Trace::err("%s: triangulator failed to split face! (bmesh internal error)\n", "kvo::BMesh::triangulate_face");
}

} // namespace

// Cuts the triangle (corner->prev, corner, corner->next) off f along a new
// edge. The two loops at corner->prev and corner move to the new triangle;
// f gets one new loop on the new edge in their place. nullptr (nothing
// changed except perhaps a new loose edge) when f has 3 corners, corner is
// not a corner of f, the cut edge already borders f, or memory runs out.
BMFace* BMesh::splitEar(BMFace* f, BMLoop* corner) {
    if (!f || !corner || corner->f != f || f->len <= 3)
        return nullptr;
    BMLoop* lp = corner->prev;
    BMLoop* ln = corner->next;
    BMEdge* e = createEdge(lp->v, ln->v);
    if (!e)
        return nullptr;
    for (const BMLoop* l : radialLoops(e))
        if (l->f == f)
            return nullptr;
    BMFace* t = static_cast<BMFace*>(m_fpool->calloc());
    if (!t)
        return nullptr;
    BMLoop* lf = newLoop(lp->v, e, f);
    BMLoop* lt = lf ? newLoop(ln->v, e, t) : nullptr;
    if (!lt) {
        if (lf) {
            radialRemove(lf);
            freeLoop(lf);
        }
        m_fpool->free(t);
        return nullptr;
    }
    t->head = f->head;
    ++totFace;

    // f: lp->prev -> lf -> ln
    lf->prev = lp->prev;
    lf->next = ln;
    lp->prev->next = lf;
    ln->prev = lf;
    if (f->l_first == lp || f->l_first == corner)
        f->l_first = lf;
    --f->len;

    // t: lp -> corner -> lt -> lp
    corner->next = lt;
    lt->prev = corner;
    lt->next = lp;
    lp->prev = lt;
    lp->f = corner->f = t;
    t->l_first = lp;
    t->len = 3;
    faceNormal(t);
    return t;
}

// Splits what is left of f into a fan from its first corner.
void BMesh::fanRemainder(BMFace* f) {
    while (f->len > 3) {
        if (!splitEar(f, f->l_first->next)) {
            Trace::err("triangle fan step of triangulator failed.\n");
            return;
        }
    }
}

int BMesh::triangulate_face(BMFace* f) {
    if (!f)
        return 0;
    if (f->len <= 3)
        return 1;
    const uint32_t facesBefore = totFace;
    std::vector<BMLoop*> ring;
    for (BMLoop* l : faceLoops(f))
        ring.push_back(l);
    std::vector<Pt> pts = project(ring, newellNormal(f));
    const double area = signedArea(pts);
    bool cut = area != 0;
    const double sign = area > 0 ? 1.0 : -1.0;
    while (cut && ring.size() > 3) {
        const int ear = findEar(pts, sign);
        if (ear < 0 || !splitEar(f, ring[static_cast<size_t>(ear)])) {
            cut = false;
            break;
        }
        const size_t m = ring.size();
        const size_t next = (static_cast<size_t>(ear) + 1) % m;
        const size_t prev = (static_cast<size_t>(ear) + m - 1) % m;
        ring[prev] = ring[next]->prev; // the new loop that replaced the ear's first corner
        ring.erase(ring.begin() + ear);
        pts.erase(pts.begin() + ear);
    }
    if (!cut) {
        reportSplitFailure();
        fanRemainder(f);
    }
    return static_cast<int>(totFace - facesBefore) + 1;
}

} // namespace kvo
