#include "geometry/BMesh.h"

#include <cstring>

namespace kvo {

namespace {

void setHeader(BMHeader& h, BMType type) {
    h.index = -1;
    h.htype = type;
    h.select = 0;
    h.scratch = 0;
}

math3d::Vec3 position(const float* p) { return {p[0], p[1], p[2]}; }
math3d::Vec3 position(const BMVert* v) { return position(v->co); }

void store(float* dst, math3d::Vec3 v) {
    dst[0] = v.x;
    dst[1] = v.y;
    dst[2] = v.z;
}

} // namespace

BMesh::BMesh() { name = "BMesh"; }

BMesh::BMesh(const BMesh& other) : Renderable(other) { copyFrom(other); }

BMesh::~BMesh() = default;

void BMesh::clear() {
    m_vpool.reset();
    m_fpool.reset();
    m_epool.reset();
    m_lpool.reset();
    totVert = totEdge = totLoop = totFace = 0;
}

void BMesh::init(uint32_t nVert, uint32_t nEdge, uint32_t nLoop, uint32_t nFace) {
    clear();
    if (nVert == 0)
        return;
    m_vpool = std::make_unique<BLI_mempool>(sizeof(BMVert), nVert, kVertsPerChunk, BLI_mempool::kAllowIter);
    m_epool = std::make_unique<BLI_mempool>(sizeof(BMEdge), nEdge, kEdgesPerChunk, BLI_mempool::kAllowIter);
    m_lpool = std::make_unique<BLI_mempool>(sizeof(BMLoop), nLoop, kLoopsPerChunk, 0);
    m_fpool = std::make_unique<BLI_mempool>(sizeof(BMFace), nFace, kFacesPerChunk, BLI_mempool::kAllowIter);
}

void BMesh::ensurePools() {
    if (!m_vpool)
        init(1, 0, 0, 0);
}

void BMesh::copyFrom(const BMesh& other, std::unordered_map<const BMVert*, BMVert*>* vertMap) {
    if (&other == this)
        return;
    init(other.totVert, other.totEdge, other.totLoop, other.totFace);
    std::memcpy(faceColour, other.faceColour, sizeof faceColour);
    std::unordered_map<const BMVert*, BMVert*> localVerts;
    std::unordered_map<const BMVert*, BMVert*>& vmap = vertMap ? *vertMap : localVerts;
    vmap.clear();
    vmap.reserve(other.totVert);
    for (const BMVert* v : other.verts()) {
        BMVert* nv = createVert(v->co);
        if (!nv)
            return;
        nv->head = v->head;
        std::memcpy(nv->no, v->no, sizeof nv->no);
        vmap[v] = nv;
    }
    std::unordered_map<const BMEdge*, BMEdge*> emap;
    emap.reserve(other.totEdge);
    for (const BMEdge* e : other.edges()) {
        BMEdge* ne = newEdge(vmap[e->v1], vmap[e->v2]);
        if (!ne)
            return;
        ne->head = e->head;
        emap[e] = ne;
    }
    std::vector<BMVert*> fv;
    std::vector<BMEdge*> fe;
    for (const BMFace* f : other.faces()) {
        fv.clear();
        fe.clear();
        for (const BMLoop* l : faceLoops(f)) {
            fv.push_back(vmap[l->v]);
            fe.push_back(emap[l->e]);
        }
        BMFace* nf = createFace(fv.data(), fe.data(), static_cast<int>(fv.size()));
        if (!nf)
            continue;
        nf->head = f->head;
        std::memcpy(nf->no, f->no, sizeof nf->no);
        const BMLoop* src = f->l_first;
        for (BMLoop* l : faceLoops(nf)) {
            l->head = src->head;
            src = src->next;
        }
    }
}

std::vector<BMVert*> BMesh::vertList() const { return verts().list(totVert); }
std::vector<BMEdge*> BMesh::edgeList() const { return edges().list(totEdge); }
std::vector<BMFace*> BMesh::faceList() const { return faces().list(totFace); }

size_t BMesh::poolBytes() const {
    size_t n = 0;
    for (const BLI_mempool* p : {vertPool(), edgePool(), loopPool(), facePool()})
        if (p)
            n += p->chunkBytes();
    return n;
}

// ---- Creation ----

BMVert* BMesh::createVert(const float* co) {
    ensurePools();
    BMVert* v = static_cast<BMVert*>(m_vpool->calloc());
    if (!v)
        return nullptr;
    setHeader(v->head, BM_VERT);
    if (co)
        std::memcpy(v->co, co, sizeof v->co);
    ++totVert;
    return v;
}

BMEdge* BMesh::createEdge(BMVert* a, BMVert* b) {
    if (!a || !b || a == b)
        return nullptr;
    for (BMEdge* e : diskEdges(a))
        if (edgeOtherVert(e, a) == b)
            return e;
    return newEdge(a, b);
}

// A new edge between a and b without looking for an existing one.
BMEdge* BMesh::newEdge(BMVert* a, BMVert* b) {
    ensurePools();
    BMEdge* e = static_cast<BMEdge*>(m_epool->calloc());
    if (!e)
        return nullptr;
    setHeader(e->head, BM_EDGE);
    e->v1 = a;
    e->v2 = b;
    diskAppend(e, a);
    diskAppend(e, b);
    ++totEdge;
    return e;
}

void BMesh::diskAppend(BMEdge* e, BMVert* v) {
    BMDiskLink* dl = diskLink(e, v);
    if (!v->e) {
        v->e = e;
        dl->next = dl->prev = e;
        return;
    }
    BMEdge* first = v->e;
    BMDiskLink* firstLink = diskLink(first, v);
    BMEdge* last = firstLink->prev;
    dl->next = first;
    dl->prev = last;
    diskLink(last, v)->next = e;
    firstLink->prev = e;
}

void BMesh::diskRemove(BMEdge* e, BMVert* v) {
    BMDiskLink* dl = diskLink(e, v);
    if (dl->next == e) {
        v->e = nullptr;
    } else {
        diskLink(dl->prev, v)->next = dl->next;
        diskLink(dl->next, v)->prev = dl->prev;
        if (v->e == e)
            v->e = dl->next;
    }
    dl->next = dl->prev = nullptr;
}

void BMesh::radialAppend(BMLoop* l, BMEdge* e) {
    l->e = e;
    if (!e->l) {
        e->l = l;
        l->radial_next = l->radial_prev = l;
        return;
    }
    BMLoop* first = e->l;
    BMLoop* last = first->radial_prev;
    l->radial_next = first;
    l->radial_prev = last;
    last->radial_next = l;
    first->radial_prev = l;
}

void BMesh::radialRemove(BMLoop* l) {
    BMEdge* e = l->e;
    if (l->radial_next == l) {
        e->l = nullptr;
    } else {
        l->radial_prev->radial_next = l->radial_next;
        l->radial_next->radial_prev = l->radial_prev;
        if (e->l == l)
            e->l = l->radial_next;
    }
    l->radial_next = l->radial_prev = nullptr;
}

BMLoop* BMesh::newLoop(BMVert* v, BMEdge* e, BMFace* f) {
    BMLoop* l = static_cast<BMLoop*>(m_lpool->calloc());
    if (!l)
        return nullptr;
    setHeader(l->head, BM_LOOP);
    l->v = v;
    l->f = f;
    radialAppend(l, e);
    ++totLoop;
    return l;
}

void BMesh::freeLoop(BMLoop* l) {
    m_lpool->free(l);
    --totLoop;
}

BMFace* BMesh::createFace(BMVert* const* verts, BMEdge* const* edges, int len) {
    if (!verts || !edges || len < 3)
        return nullptr;
    for (int i = 0; i < len; ++i) {
        BMVert* a = verts[i];
        BMVert* b = verts[(i + 1) % len];
        BMEdge* e = edges[i];
        if (!a || !e || a == b || !edgeHasVert(e, a) || edgeOtherVert(e, a) != b)
            return nullptr;
        for (int j = 0; j < i; ++j)
            if (verts[j] == a)
                return nullptr;
    }
    ensurePools();
    BMFace* f = static_cast<BMFace*>(m_fpool->calloc());
    if (!f)
        return nullptr;
    setHeader(f->head, BM_FACE);
    ++totFace;
    BMLoop* prev = nullptr;
    for (int i = 0; i < len; ++i) {
        BMLoop* l = newLoop(verts[i], edges[i], f);
        if (!l) {
            killFace(f);
            return nullptr;
        }
        if (prev) {
            prev->next = l;
            l->prev = prev;
        } else {
            f->l_first = l;
        }
        l->next = f->l_first;
        f->l_first->prev = l;
        prev = l;
        ++f->len;
    }
    faceNormal(f);
    return f;
}

BMFace* BMesh::createFaceFromVerts(BMVert* const* verts, int len) {
    if (!verts || len < 3)
        return nullptr;
    // Check every corner before creating edges so a refused face leaves no edge behind.
    for (int i = 0; i < len; ++i) {
        if (!verts[i])
            return nullptr;
        for (int j = 0; j < i; ++j)
            if (verts[j] == verts[i])
                return nullptr;
    }
    constexpr int kInline = 16;
    BMEdge* inlineEdges[kInline];
    std::vector<BMEdge*> heapEdges;
    BMEdge** edges = inlineEdges;
    if (len > kInline) {
        heapEdges.resize(static_cast<size_t>(len));
        edges = heapEdges.data();
    }
    for (int i = 0; i < len; ++i)
        edges[i] = createEdge(verts[i], verts[(i + 1) % len]);
    return createFace(verts, edges, len);
}

// ---- Removal ----

void BMesh::killFace(BMFace* f) {
    if (!f)
        return;
    BMLoop* l = f->l_first;
    for (int32_t i = 0; i < f->len && l; ++i) {
        BMLoop* next = l->next;
        radialRemove(l);
        freeLoop(l);
        l = next;
    }
    m_fpool->free(f);
    --totFace;
}

void BMesh::killEdge(BMEdge* e) {
    if (!e)
        return;
    while (e->l)
        killFace(e->l->f);
    diskRemove(e, e->v1);
    diskRemove(e, e->v2);
    m_epool->free(e);
    --totEdge;
}

void BMesh::killVert(BMVert* v) {
    if (!v)
        return;
    while (v->e)
        killEdge(v->e);
    m_vpool->free(v);
    --totVert;
}

// ---- Geometry ----

math3d::Vec3 BMesh::faceNormal(BMFace* f) {
    using math3d::Vec3;
    if (!f)
        return {};
    Vec3 n;
    const BMLoop* l = f->l_first;
    if (f->len == 3) {
        const Vec3 a = position(l->v), b = position(l->next->v), c = position(l->next->next->v);
        n = math3d::cross(b - a, c - a);
    } else if (f->len == 4) {
        const Vec3 a = position(l->v), b = position(l->next->v), c = position(l->next->next->v),
                   d = position(l->prev->v);
        n = math3d::cross(c - a, d - b);
    } else if (f->len > 4) {
        for (const BMLoop* c : faceLoops(f)) {
            const Vec3 p = position(c->v), q = position(c->next->v);
            n.x += (p.y - q.y) * (p.z + q.z);
            n.y += (p.z - q.z) * (p.x + q.x);
            n.z += (p.x - q.x) * (p.y + q.y);
        }
    }
    n = math3d::normalize(n);
    store(f->no, n);
    return n;
}

void BMesh::computeNormals() {
    // Sequential passes over the pools (faces, then vertices) instead of a
    // walk around every vertex: far fewer cache misses on large meshes.
    for (BMVert* v : verts())
        v->no[0] = v->no[1] = v->no[2] = 0;
    for (BMFace* f : faces()) {
        faceNormal(f);
        for (BMLoop* l : faceLoops(f))
            for (int k = 0; k < 3; ++k)
                l->v->no[k] += f->no[k];
    }
    for (BMVert* v : verts())
        store(v->no, math3d::normalize(position(v->no)));
}

} // namespace kvo
