// bench_views: the 3D views on Mesa's software OpenGL. One view of
// 1280 x 800 draws the Stanford bunny (or a generated mesh of 70 k
// triangles), textured and lit, against the floor of a plain vertex-array
// draw of the same triangles in the same context; the pick pass with its
// read-back against one draw; the CPU taken by an idle editor (three views,
// a 2D and then a 3D scene, nothing moving); and Laplacian smoothing from
// 10 k to 1 M vertices. The Part's ways (repaint and pick with every timer
// tick) run beside them as references.
//
// Runs itself under xvfb-run when no display is set.

#include "BenchSupport.h"

#include "geometry/ObjMesh.h"
#include "scenegraph/SceneRegistry.h"
#include "viewer/BaseMeshViewer.h"
#include "viewer/ViewSetup.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QTimer>
#include <QWidget>

#include <GL/gl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using math3d::Vec3;

namespace {

void runEvents(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

double cpuSeconds() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) + 1e-6 * double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec);
}

// A closed torus of n x m quads split in triangles.
std::unique_ptr<ObjMesh> torus(int n, int m) {
    auto mesh = std::make_unique<ObjMesh>();
    const double pi = 3.14159265358979323846;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < m; ++j) {
            const double a = 2 * pi * i / n, b = 2 * pi * j / m, r = 3 + std::cos(b);
            mesh->vertices.emplace_back(float(r * std::cos(a)), float(r * std::sin(a)), float(std::sin(b)));
        }
    auto id = [n, m](int i, int j) { return ((i + n) % n) * m + ((j + m) % m); };
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < m; ++j) {
            const int tri[2][3] = {{id(i, j), id(i + 1, j), id(i + 1, j + 1)}, {id(i, j), id(i + 1, j + 1), id(i, j + 1)}};
            for (const auto& t : tri) {
                Face f;
                f.count = 3;
                for (int k = 0; k < 3; ++k)
                    f.v[k] = t[k], f.n[k] = f.t[k] = -1;
                mesh->faces.push_back(f);
            }
        }
    mesh->vertexFlags.assign(mesh->vertices.size(), 0);
    mesh->computeNormals();
    mesh->computeBounds();
    return mesh;
}

// The bunny (or a 70 k-triangle torus) with spherical texture coordinates.
std::unique_ptr<ObjMesh> bunny() {
    auto mesh = std::make_unique<ObjMesh>();
    const std::string path = bench::fixturesDir() + "/meshes/stanford-bunny.obj";
    if (!mesh->loadObj(path, false, false)) {
        std::printf("fixture %s absent: a generated torus of 70 k triangles instead\n", path.c_str());
        mesh = torus(187, 187);
    }
    mesh->computeBounds();
    const Vec3 c = (mesh->boundsMin + mesh->boundsMax) * 0.5f;
    mesh->texCoords.clear();
    for (const Vec3& v : mesh->vertices) {
        const Vec3 d = math3d::normalize(v - c);
        mesh->texCoords.push_back({0.5f + std::atan2(d.z, d.x) / 6.2831853f, 0.5f + std::asin(std::clamp(d.y, -1.0f, 1.0f)) / 3.1415926f});
    }
    for (Face& f : mesh->faces)
        for (int k = 0; k < f.count; ++k)
            f.t[k] = f.v[k];
    mesh->materials.assign(1, Material());
    for (Face& f : mesh->faces)
        f.material = 0;
    mesh->dirty = true;
    return mesh;
}

GLuint checkerTexture() {
    std::vector<unsigned char> px(256 * 256 * 4);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            unsigned char* p = &px[size_t(y * 256 + x) * 4];
            const bool on = ((x / 32) + (y / 32)) % 2;
            p[0] = on ? 230 : 60, p[1] = on ? 180 : 90, p[2] = on ? 120 : 160, p[3] = 255;
        }
    GLuint tex = 0;
    glGenTextures(1, &tex);
    glBindTexture(GL_TEXTURE_2D, tex);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 256, 256, 0, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
    return tex;
}

// Seconds per call of f, the best of 3 rounds of `frames` calls, each ended by glFinish.
template <class F>
double perFrame(int frames, F f) {
    double best = 1e30;
    for (int round = 0; round < 3; ++round) {
        bench::Stopwatch sw;
        for (int i = 0; i < frames; ++i)
            f();
        glFinish();
        best = std::min(best, sw.seconds() / frames);
    }
    return best;
}

// The floor: the same triangles, lit and textured, from one plain vertex array.
struct Floor {
    std::vector<float> pos, nrm, uv;
    explicit Floor(const ObjMesh& m) {
        for (const Face& f : m.faces)
            for (int k = 2; k < f.count; ++k)
                for (int c : {0, k - 1, k}) {
                    const Vec3& p = m.vertices[size_t(f.v[c])];
                    const Vec3& n = m.normals[size_t(f.v[c])];
                    const TexCoord& t = m.texCoords[size_t(f.v[c])];
                    pos.insert(pos.end(), {p.x, p.y, p.z});
                    nrm.insert(nrm.end(), {n.x, n.y, n.z});
                    uv.insert(uv.end(), {t.u, t.v});
                }
    }
    void draw(BaseMeshViewer& view, GLuint tex) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_LIGHTING);
        glEnable(GL_LIGHT0);
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, tex);
        view.camera().apply();
        glPushMatrix();
        glMultMatrixf(view.sceneNode().localMatrix().data());
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_NORMAL_ARRAY);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glVertexPointer(3, GL_FLOAT, 0, pos.data());
        glNormalPointer(GL_FLOAT, 0, nrm.data());
        glTexCoordPointer(2, GL_FLOAT, 0, uv.data());
        glDrawArrays(GL_TRIANGLES, 0, GLsizei(pos.size() / 3));
        glDisableClientState(GL_VERTEX_ARRAY);
        glDisableClientState(GL_NORMAL_ARRAY);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        glPopMatrix();
    }
};

char fmtBuf[64];
const char* fmt(double v) {
    std::snprintf(fmtBuf, sizeof fmtBuf, "%.3f", v);
    return fmtBuf;
}

// Runs the event loop until the views have drawn nothing for 400 ms (the
// first frames of a new scene are not idle time).
void settle(BaseMeshViewer* const* views, int count) {
    auto frames = [&] {
        uint64_t n = 0;
        for (int i = 0; i < count; ++i)
            n += views[i]->framesDrawn();
        return n;
    };
    uint64_t last = frames();
    for (int quiet = 0; quiet < 2;) {
        runEvents(200);
        const uint64_t now = frames();
        quiet = now == last ? quiet + 1 : 0;
        last = now;
    }
}

// Writes a buffer larger than the last-level cache.
void evictCaches() {
    static std::vector<char> buffer(size_t(96) << 20);
    static char round = 0;
    ++round;
    for (size_t i = 0; i < buffer.size(); i += 64)
        buffer[i] = round;
}

// CPU share of one core over ms milliseconds of event loop.
double idleShare(int ms) {
    const double c0 = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    runEvents(ms);
    return (cpuSeconds() - c0) / (double(wall.nsecsElapsed()) * 1e-9);
}

} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("DISPLAY") && !std::getenv("LUMO_BENCH_NO_XVFB")) {
        setenv("LUMO_BENCH_NO_XVFB", "1", 1);
        setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        execlp("xvfb-run", "xvfb-run", "-a", "-s", "-screen 0 1600x1200x24", argv[0], static_cast<char*>(nullptr));
        std::perror("xvfb-run");
        return 1;
    }
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
    QApplication app(argc, argv);
    SceneRegistry& scene = SceneRegistry::instance();

    // ---- Draw and pick: one 1280 x 800 view ----
    std::unique_ptr<ObjMesh> mesh = bunny();
    scene.attachToRoot(mesh.get());
    double drawRatio = 0, pickRatio = 0;
    {
        BaseMeshViewer view;
        view.setFixedSize(1280, 800);
        view.renderMode = RenderMode::faces | RenderMode::smooth | RenderMode::textured | RenderMode::lighting;
        view.show();
        while (view.framesDrawn() == 0)
            runEvents(20);
        view.resetView();
        view.setCameraOffset({0, 0, 6});
        view.makeCurrent();
        const GLuint tex = checkerTexture();
        mesh->materials[0].texId.fill(tex);
        Floor floor(*mesh);
        const int frames = 20;
        view.drawFrame(); // builds the draw arrays
        const double tView = perFrame(frames, [&] { view.drawFrame(); });
        const double tFloor = perFrame(frames, [&] { floor.draw(view, tex); });
        const double tPick = perFrame(frames, [&] { view.runPickPass(); });
        const double tPart = perFrame(frames, [&] {
            view.runPickPass();
            view.drawFrame();
        });
        view.doneCurrent();
        drawRatio = tView / tFloor;
        pickRatio = tPick / tView;
        std::printf("triangles %zu, view 1280 x 800\n", mesh->faces.size());
        std::printf("draw %.2f ms, vertex-array floor %.2f ms, pick pass + read-back %.2f ms\n", tView * 1e3,
                    tFloor * 1e3, tPick * 1e3);
        std::printf("reference (pick pass with every frame, as the 20 ms timer did): %.2f ms per frame, %.2f x the floor\n",
                    tPart * 1e3, tPart / tFloor);
    }

    // ---- Idle editor: three views, a 2D scene then a 3D scene ----
    double idle2d = 0, idle3d = 0, idleReference = 0;
    {
        QWidget window;
        auto* layout = new QHBoxLayout(&window);
        BaseMeshViewer* views[3];
        for (auto*& v : views) {
            v = new BaseMeshViewer(&window);
            v->setMinimumSize(400, 400);
            layout->addWidget(v);
        }
        viewsetup::configureViews(views[0], views[1], views[2]);
        window.show();
        runEvents(1000);
        // 2D: a few sticker quads in front of a head-sized box.
        scene.detachAll();
        std::vector<std::unique_ptr<ObjMesh>> quads;
        for (int i = 0; i < 6; ++i) {
            quads.push_back(torus(8, 8));
            scene.attachToRoot(quads.back().get())->setPosition({float(i) * 2 - 5, 0, 0});
        }
        const Vec3 offsets[3] = {{0, 0, 4}, {-4, 0, 0}, {0, 0, 12}};
        for (int i = 0; i < 3; ++i)
            views[i]->resetView(), views[i]->setCameraOffset(offsets[i]);
        settle(views, 3);
        idle2d = idleShare(5000);
        scene.detachAll();
        scene.attachToRoot(mesh.get());
        for (int i = 0; i < 3; ++i)
            views[i]->resetView(), views[i]->setCameraOffset(offsets[i]);
        settle(views, 3);
        uint64_t framesBefore = 0;
        for (auto* v : views)
            framesBefore += v->framesDrawn();
        idle3d = idleShare(5000);
        uint64_t framesAfter = 0;
        for (auto* v : views)
            framesAfter += v->framesDrawn();
        std::printf("frames drawn by the three idle views in 5 s: %llu\n", (unsigned long long)(framesAfter - framesBefore));
        for (auto* v : views)
            v->setContinuousRepaint(true);
        idleReference = idleShare(2000);
        for (auto* v : views)
            v->setContinuousRepaint(false);
        std::printf("idle CPU: 2D scene %.4f, 3D scene %.4f of one core; reference (repaint and pick every 20 ms) %.3f\n",
                    idle2d, idle3d, idleReference);
        scene.detachAll();
    }

    // ---- Laplacian smoothing, 10 iterations on every vertex ----
    struct Size {
        int n, m;
    } sizes[] = {{100, 100}, {316, 316}, {1000, 1000}};
    std::vector<double> perVertex, refPerVertex;
    for (const Size& s : sizes) {
        std::unique_ptr<ObjMesh> t = torus(s.n, s.m);
        t->getBMesh(false);
        t->selectLinked(0, 1);
        // Every size starts from cold caches (a small mesh run twice would
        // otherwise be timed from the cache its first run filled).
        double best = 1e30;
        for (int round = 0; round < 3; ++round) {
            evictCaches();
            bench::Stopwatch sw;
            t->smoothSelected(10);
            best = std::min(best, sw.seconds());
        }
        const double pv = best / double(t->vertices.size());
        perVertex.push_back(pv);
        // Reference: the same passes over a plain adjacency array.
        std::vector<std::vector<int>> adj(t->vertices.size());
        for (const Face& f : t->faces)
            for (int k = 0; k < f.count; ++k) {
                const int a = f.v[k], b = f.v[(k + 1) % f.count];
                adj[size_t(a)].push_back(b);
                adj[size_t(b)].push_back(a);
            }
        for (auto& a : adj) {
            std::sort(a.begin(), a.end());
            a.erase(std::unique(a.begin(), a.end()), a.end());
        }
        evictCaches();
        bench::Stopwatch ref;
        std::vector<Vec3>& p = t->vertices;
        for (int it = 0; it < 10; ++it)
            for (size_t v = 0; v < p.size(); ++v) {
                Vec3 sum;
                for (int o : adj[v])
                    sum = sum + p[size_t(o)];
                p[v] = sum * (1.0f / float(adj[v].size()));
            }
        refPerVertex.push_back(ref.seconds() / double(t->vertices.size()));
        std::printf("smooth x10, %zu vertices: %.3f s (%.1f ns per vertex); reference plain arrays %.3f s\n",
                    t->vertices.size(), best, pv * 1e9, ref.seconds());
    }
    {
        mesh->getBMesh(false);
        mesh->selectLinked(0, 1);
        mesh->invertSelection();
        mesh->invertSelection();
        bench::Stopwatch sw;
        mesh->smoothSelected(10);
        std::printf("smooth x10 on the bunny (%zu vertices): %.3f s\n", mesh->vertices.size(), sw.seconds());
    }
    const double growth = *std::max_element(perVertex.begin(), perVertex.end()) /
                          *std::min_element(perVertex.begin(), perVertex.end());
    std::printf("growth of the time per vertex from 10 k to 1 M: %.2f; reference plain arrays %.2f\n", growth,
                *std::max_element(refPerVertex.begin(), refPerVertex.end()) /
                    *std::min_element(refPerVertex.begin(), refPerVertex.end()));

    bench::goal("draw_vs_vertex_array_floor", fmt(drawRatio), "1.5", drawRatio <= 1.5);
    bench::goal("pick_vs_draw", fmt(pickRatio), "2.0", pickRatio <= 2.0);
    const double idle = std::max(idle2d, idle3d);
    bench::goal("idle_cpu_share", fmt(idle), "0.03", idle <= 0.03);
    bench::goal("smooth_growth_per_vertex", fmt(growth), "1.3", growth <= 1.3);
    return 0;
}
