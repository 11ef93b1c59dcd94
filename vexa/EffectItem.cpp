#include "vexa/EffectItem.h"

#include <duktape.h>
#include <stb/stb_image.h>
#include <webp/decode.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vexa {

namespace {

constexpr std::size_t kHeapLimit = 64u << 20;  // bytes a script may allocate
constexpr int kMaxTextureSide = 8192;
constexpr std::uint64_t kMaxTexturePixels = 64ull << 20;  // all textures of one item
constexpr double kScreenWidth = 380, kScreenHeight = 672;

// Every allocation carries its size in front so the heap can be capped.
struct AllocHeader {
    std::size_t size;
    std::size_t pad;
};

} // namespace

struct EffectItem::Native {
    static EffectItem* self(duk_context* ctx) {
        duk_memory_functions f;
        duk_get_memory_functions(ctx, &f);
        return static_cast<EffectItem*>(f.udata);
    }

    static void* alloc(void* udata, duk_size_t size) {
        auto* item = static_cast<EffectItem*>(udata);
        if (size == 0)
            return nullptr;
        if (item->m_heapUsed + size > kHeapLimit)
            return nullptr;
        auto* h = static_cast<AllocHeader*>(std::malloc(sizeof(AllocHeader) + size));
        if (!h)
            return nullptr;
        h->size = size;
        item->m_heapUsed += size;
        return h + 1;
    }
    static void release(void* udata, void* ptr) {
        if (!ptr)
            return;
        auto* item = static_cast<EffectItem*>(udata);
        AllocHeader* h = static_cast<AllocHeader*>(ptr) - 1;
        item->m_heapUsed -= h->size;
        std::free(h);
    }
    static void* realloc(void* udata, void* ptr, duk_size_t size) {
        if (!ptr)
            return alloc(udata, size);
        if (size == 0) {
            release(udata, ptr);
            return nullptr;
        }
        auto* item = static_cast<EffectItem*>(udata);
        AllocHeader* h = static_cast<AllocHeader*>(ptr) - 1;
        const std::size_t old = h->size;
        if (size > old && item->m_heapUsed + (size - old) > kHeapLimit)
            return nullptr;
        auto* n = static_cast<AllocHeader*>(std::realloc(h, sizeof(AllocHeader) + size));
        if (!n)
            return nullptr;
        n->size = size;
        item->m_heapUsed = item->m_heapUsed - old + size;
        return n + 1;
    }

    // Native functions raise script errors with duk_error, which unwinds
    // with longjmp: every C++ object must be gone by then. So each one does
    // its work in a scope that leaves a message in a plain buffer, and raises
    // the error after the scope.
    using Message = char[512];

    static void setMessage(Message& msg, const std::string& text) {
        std::snprintf(msg, sizeof(Message), "%s", text.c_str());
    }

    static bool fileArg(duk_context* ctx, int index, std::string& out, Message& msg) {
        if (!duk_is_string(ctx, index)) {
            setMessage(msg, "file name must be a string");
            return false;
        }
        out = duk_get_string(ctx, index);
        return true;
    }

    static duk_ret_t readJson(duk_context* ctx) {
        Message msg = "";
        try {
            std::string name, text, reason;
            if (fileArg(ctx, 0, name, msg)) {
                if (self(ctx)->m_bundle->zip->readText(name, text, reason))
                    duk_push_lstring(ctx, text.data(), text.size());
                else
                    setMessage(msg, reason);
            }
        } catch (const std::exception& e) {
            setMessage(msg, std::string("readJson: ") + e.what());
        }
        if (msg[0])
            return duk_error(ctx, DUK_ERR_ERROR, "%s", msg);
        duk_json_decode(ctx, -1);
        return 1;
    }

    static duk_ret_t loadTexture(duk_context* ctx) {
        Message msg = "";
        try {
            EffectItem* item = self(ctx);
            std::string name, reason;
            std::vector<std::uint8_t> bytes;
            if (fileArg(ctx, 0, name, msg) && !item->m_bundle->zip->read(name, bytes, reason))
                setMessage(msg, reason);
            int w = 0, h = 0;
            unsigned char* pixels = nullptr;
            bool webp = false, overBudget = false;
            if (msg[0]) {
            } else if (WebPGetInfo(bytes.data(), bytes.size(), &w, &h)) {
                overBudget = w <= kMaxTextureSide && h <= kMaxTextureSide && !item->reservePixels(w, h);
                if (w <= kMaxTextureSide && h <= kMaxTextureSide && !overBudget)
                    pixels = WebPDecodeRGBA(bytes.data(), bytes.size(), &w, &h);
                webp = true;
            } else if (bytes.size() < 0x7fffffff) {
                int x = 0, y = 0, n = 0;
                if (stbi_info_from_memory(bytes.data(), int(bytes.size()), &x, &y, &n) && x <= kMaxTextureSide &&
                    y <= kMaxTextureSide) {
                    overBudget = !item->reservePixels(x, y);
                    if (!overBudget)
                        pixels = stbi_load_from_memory(bytes.data(), int(bytes.size()), &w, &h, &n, 4);
                }
            }
            if (!msg[0] && overBudget)
                setMessage(msg, "texture " + name + ": the bundle's textures exceed 64 million pixels");
            else if (!msg[0] && !pixels)
                setMessage(msg, "texture " + name + " is not a readable WebP or PNG image of at most 8192 x 8192");
            if (pixels) {
                item->m_textures.push_back(GlRenderer::createTexture(pixels, w, h));
                if (webp)
                    WebPFree(pixels);
                else
                    stbi_image_free(pixels);
            }
        } catch (const std::exception& e) {
            setMessage(msg, std::string("loadTexture: ") + e.what());
        }
        if (msg[0])
            return duk_error(ctx, DUK_ERR_ERROR, "%s", msg);
        duk_push_int(ctx, int(self(ctx)->m_textures.size()));
        return 1;
    }

    static duk_ret_t loadProgram(duk_context* ctx) {
        Message msg = "";
        try {
            EffectItem* item = self(ctx);
            std::string vName, fName, vs, fs, reason;
            if (fileArg(ctx, 0, vName, msg) && fileArg(ctx, 1, fName, msg)) {
                if (!item->m_bundle->zip->readText(vName, vs, reason) ||
                    !item->m_bundle->zip->readText(fName, fs, reason)) {
                    setMessage(msg, reason);
                } else {
                    if (vName == fName) {
                        vs = "#version 110\n#define VERTEX\n" + vs;
                        fs = "#version 110\n#define FRAGMENT\n" + fs;
                    }
                    const GLuintT p = GlRenderer::createProgram(vs, fs, reason);
                    if (p)
                        item->m_programs.push_back(p);
                    else
                        setMessage(msg, vName + ": " + reason);
                }
            }
        } catch (const std::exception& e) {
            setMessage(msg, std::string("loadProgram: ") + e.what());
        }
        if (msg[0])
            return duk_error(ctx, DUK_ERR_ERROR, "%s", msg);
        duk_push_int(ctx, int(self(ctx)->m_programs.size()));
        return 1;
    }

    // The GL name behind a script's handle; 0 (with a message) when unknown.
    static GLuintT handle(duk_context* ctx, int index, const std::vector<GLuintT>& list, const char* what,
                          Message& msg) {
        const int h = duk_is_number(ctx, index) ? duk_get_int(ctx, index) : 0;
        if (h < 1 || std::size_t(h) > list.size()) {
            std::snprintf(msg, sizeof(Message), "unknown %s handle", what);
            return 0;
        }
        return list[std::size_t(h - 1)];
    }

    static bool numbers(duk_context* ctx, int index, float* out, int count) {
        if (!duk_is_array(ctx, index) || duk_get_length(ctx, index) != duk_size_t(count))
            return false;
        for (int i = 0; i < count; ++i) {
            duk_get_prop_index(ctx, index, duk_uarridx_t(i));
            const double d = duk_is_number(ctx, -1) ? duk_get_number(ctx, -1) : NAN;
            duk_pop(ctx);
            if (!std::isfinite(d))
                return false;
            out[i] = float(d);
        }
        return true;
    }

    // Runs a drawing function's body with the frame context; raises its
    // message as a script error afterwards.
    template <typename Body>
    static duk_ret_t drawing(duk_context* ctx, const char* what, Body body) {
        Message msg = "";
        try {
            EffectItem* item = self(ctx);
            if (!item->m_frame)
                std::snprintf(msg, sizeof(Message), "%s outside onFrame", what);
            else
                body(item, *item->m_frame, msg);
        } catch (const std::exception& e) {
            std::snprintf(msg, sizeof(Message), "%s: %s", what, e.what());
        }
        if (msg[0])
            return duk_error(ctx, DUK_ERR_ERROR, "%s", msg);
        return 0;
    }

    // Pixel (x right, y down) and depth to clip space.
    static ClipVertex clip(const GlRenderer& r, float px, float py, float z, float depth, float s, float t) {
        const float nx = 2 * px / float(r.width()) - 1, ny = 1 - 2 * py / float(r.height());
        return {nx * depth, ny * depth, z * depth, depth, s, t};
    }

    static duk_ret_t drawQuad(duk_context* ctx) {
        return drawing(ctx, "drawQuad", [ctx](EffectItem* item, const FrameContext& fc, Message& msg) {
            drawQuadBody(ctx, item, &fc, msg);
        });
    }

    static void drawQuadBody(duk_context* ctx, EffectItem* item, const FrameContext* f, Message& msg) {
        const GLuintT tex = handle(ctx, 0, item->m_textures, "texture", msg);
        if (!tex)
            return;
        float v[12], vt[8];
        if (!numbers(ctx, 1, v, 12) || !numbers(ctx, 2, vt, 8))
            return setMessage(msg, "drawQuad needs 12 corner and 8 texture values");
        const std::string mode = duk_is_string(ctx, 3) ? duk_get_string(ctx, 3) : "";
        const int anchor = duk_is_number(ctx, 4) ? duk_get_int(ctx, 4) : -1;
        const GlRenderer& r = *f->renderer;
        ClipVertex c[4];
        if (mode == "face") {
            if (!f->face || !f->face->pose.valid || anchor < 0 || std::size_t(anchor) >= f->head->vertices.size())
                return;
            const auto& b = f->head->vertices[std::size_t(anchor)];
            for (int k = 0; k < 4; ++k) {
                // Corners are laid out as the mirrored preview shows the
                // face; the camera picture is drawn unmirrored.
                const float p[3] = {-(b[0] + v[3 * k]), b[1] + v[3 * k + 1], b[2] - v[3 * k + 2]};
                float px = 0, py = 0, depth = 0;
                if (!f->face->pose.project(p, px, py, depth))
                    return;
                c[k] = clip(r, px, py, 0, depth, vt[2 * k], 1 - vt[2 * k + 1]);
            }
        } else if (mode == "screen" || mode == "background") {
            const double sw = item->m_landscape ? kScreenHeight : kScreenWidth;
            const double sh = item->m_landscape ? kScreenWidth : kScreenHeight;
            double cx = 0, cy = 0;
            if (mode == "background") {
                cx = v[8] * sw - sw / 2;
                cy = sh / 2 - v[11] * sh;
            }
            for (int k = 0; k < 4; ++k) {
                const double x = cx + v[3 * k], y = cy + v[3 * k + 1];
                c[k] = {float(-x / (sw / 2)), float(y / (sh / 2)), 0, 1, vt[2 * k], 1 - vt[2 * k + 1]};
            }
        } else {
            return setMessage(msg, "drawQuad mode must be face, screen or background");
        }
        f->renderer->drawTriangles(tex, {c[0], c[1], c[2], c[0], c[2], c[3]}, false);
    }

    static duk_ret_t drawFaceMesh(duk_context* ctx) {
        return drawing(ctx, "drawFaceMesh", [ctx](EffectItem* item, const FrameContext& fc, Message& msg) {
            drawFaceMeshBody(ctx, item, &fc, msg);
        });
    }

    static void drawFaceMeshBody(duk_context* ctx, EffectItem* item, const FrameContext* f, Message& msg) {
        const GLuintT tex = handle(ctx, 0, item->m_textures, "texture", msg);
        if (!tex || !f->face || !f->face->pose.valid)
            return;
        const ReferenceHead& h = *f->head;
        const HeadPose& pose = f->face->pose;
        std::vector<ClipVertex> projected(h.vertices.size());
        for (std::size_t i = 0; i < h.vertices.size(); ++i) {
            const float p[3] = {-h.vertices[i][0], h.vertices[i][1], h.vertices[i][2]};
            float px = 0, py = 0, depth = 0;
            if (!pose.project(p, px, py, depth))
                return;
            const float z = float((depth - pose.translation[2]) / 400.0);
            projected[i] = clip(*f->renderer, px, py, z, depth, h.uvs[i][0], 1 - h.uvs[i][1]);
        }
        std::vector<ClipVertex> tris;
        tris.reserve(h.triangles.size() * 3);
        for (const auto& t : h.triangles)
            for (std::uint32_t i : t)
                tris.push_back(projected[i]);
        f->renderer->drawTriangles(tex, tris, true);
    }

    static duk_ret_t drawEyes(duk_context* ctx) {
        return drawing(ctx, "drawEyes", [ctx](EffectItem* item, const FrameContext& fc, Message& msg) {
            drawEyesBody(ctx, item, &fc, msg);
        });
    }

    static void drawEyesBody(duk_context* ctx, EffectItem* item, const FrameContext* f, Message& msg) {
        const GLuintT program = handle(ctx, 0, item->m_programs, "program", msg);
        if (!program || !f->face)
            return;
        const Landmarks& l = f->face->landmarks;
        auto centre = [&](int first) {
            Point2 c;
            for (int i = first; i < first + 6; ++i) {
                c.x += l[std::size_t(i)].x / 6;
                c.y += l[std::size_t(i)].y / 6;
            }
            return c;
        };
        const Point2 right = centre(36), left = centre(42);
        const float w = float(f->renderer->width()), hgt = float(f->renderer->height());
        const float radius = 0.8f * std::hypot(l[39].x - l[36].x, l[39].y - l[36].y);
        const float x0 = std::min(left.x, right.x) - 1.5f * radius, x1 = std::max(left.x, right.x) + 1.5f * radius;
        const float y0 = std::min(left.y, right.y) - 1.5f * radius, y1 = std::max(left.y, right.y) + 1.5f * radius;
        // After the copy of the framebuffer the camera texture has t = 0 at
        // the frame's bottom row.
        auto corner = [&](float px, float py, float* out) {
            out[0] = 2 * px / w - 1;
            out[1] = 1 - 2 * py / hgt;
            out[2] = px / w;
            out[3] = 1 - py / hgt;
        };
        float quad[4][4];
        corner(x0, y0, quad[0]);
        corner(x1, y0, quad[1]);
        corner(x1, y1, quad[2]);
        corner(x0, y1, quad[3]);
        f->renderer->useProgramForEyes(program, left.x / w, 1 - left.y / hgt, right.x / w, 1 - right.y / hgt,
                                       radius / w, w / hgt);
        f->renderer->drawWithCamera(program, quad);
    }
};

EffectItem::~EffectItem() {
    if (m_ctx)
        duk_destroy_heap(m_ctx);
    for (GLuintT t : m_textures)
        GlRenderer::deleteTexture(t);
    for (GLuintT p : m_programs)
        GlRenderer::deleteProgram(p);
}

bool EffectItem::reservePixels(int width, int height) {
    const std::uint64_t n = std::uint64_t(width) * std::uint64_t(height);
    if (m_texturePixels + n > kMaxTexturePixels)
        return false;
    m_texturePixels += n;
    return true;
}

void EffectItem::disable(const std::string& why) {
    m_disabled = true;
    m_reason = why;
}

namespace {

std::string errorText(duk_context* ctx) {
    if (duk_is_error(ctx, -1) && duk_get_prop_string(ctx, -1, "stack")) {
        std::string s = duk_safe_to_string(ctx, -1);
        duk_pop(ctx);
        return s;
    }
    if (duk_is_error(ctx, -1))
        duk_pop(ctx);
    return duk_safe_to_string(ctx, -1);
}

void putFunction(duk_context* ctx, const char* name, duk_c_function fn, int nargs) {
    duk_push_c_function(ctx, fn, nargs);
    duk_put_prop_string(ctx, -2, name);
}

} // namespace

std::unique_ptr<EffectItem> EffectItem::create(const unsigned char* data, std::size_t size,
                                               const std::vector<format::PublicKey>& keys,
                                               format::SignatureCheck check, std::string& reason) {
    std::unique_ptr<EffectItem> item(new EffectItem());
    item->m_bytes.assign(data, data + size);
    item->m_bundle = format::openBundle(item->m_bytes.data(), item->m_bytes.size(), keys, check, reason);
    if (!item->m_bundle)
        return nullptr;
    std::string script;
    if (!item->m_bundle->zip->readText("script.js", script, reason))
        return nullptr;
    item->m_ctx = duk_create_heap(&Native::alloc, &Native::realloc, &Native::release, item.get(), nullptr);
    if (!item->m_ctx) {
        reason = "script engine cannot start";
        return nullptr;
    }
    duk_context* ctx = item->m_ctx;
    duk_push_string(ctx, "script.js");
    if (duk_pcompile_lstring_filename(ctx, 0, script.data(), script.size()) != 0 || duk_pcall(ctx, 0) != 0) {
        reason = "script.js: " + errorText(ctx);
        return nullptr;
    }
    duk_pop(ctx);
    // The frame object, kept in the stash and refreshed for every frame.
    duk_push_global_stash(ctx);
    duk_push_object(ctx);
    putFunction(ctx, "drawQuad", &Native::drawQuad, 5);
    putFunction(ctx, "drawFaceMesh", &Native::drawFaceMesh, 1);
    putFunction(ctx, "drawEyes", &Native::drawEyes, 1);
    duk_put_prop_string(ctx, -2, "frame");
    duk_pop(ctx);

    duk_push_object(ctx);
    putFunction(ctx, "readJson", &Native::readJson, 1);
    putFunction(ctx, "loadTexture", &Native::loadTexture, 1);
    putFunction(ctx, "loadProgram", &Native::loadProgram, 2);
    if (!item->callEffect("onLoad", 1)) {
        reason = item->m_reason;
        return nullptr;
    }
    return item;
}

// Calls effect.<method> with the `nargs` values on top of the stack (popped).
bool EffectItem::callEffect(const char* method, int nargs) {
    duk_context* ctx = m_ctx;
    if (m_disabled) {
        duk_pop_n(ctx, nargs);
        return false;
    }
    duk_get_global_string(ctx, "effect");
    if (!duk_is_object(ctx, -1)) {
        duk_pop_n(ctx, nargs + 1);
        disable("script.js defines no effect object");
        return false;
    }
    duk_get_prop_string(ctx, -1, method);
    const bool callable = duk_is_function(ctx, -1);
    duk_pop(ctx);
    if (!callable) {
        duk_pop_n(ctx, nargs + 1);
        if (std::strcmp(method, "onFrame") == 0 || std::strcmp(method, "onLoad") == 0) {
            disable(std::string("script.js has no effect.") + method);
            return false;
        }
        return true;
    }
    // Stack: args..., effect -> effect, key, args...
    duk_insert(ctx, -(nargs + 1));
    duk_push_string(ctx, method);
    duk_insert(ctx, -(nargs + 1));
    const int rc = duk_pcall_prop(ctx, -(nargs + 2), nargs);
    if (rc != 0) {
        disable(std::string("effect.") + method + ": " + errorText(ctx));
        duk_pop_2(ctx);
        return false;
    }
    duk_pop_2(ctx);
    return true;
}

bool EffectItem::setParam(const std::string& name, double value) {
    if (name == "isLandscape")
        m_landscape = value != 0;
    duk_push_lstring(m_ctx, name.data(), name.size());
    duk_push_number(m_ctx, value);
    return callEffect("onParam", 2);
}

bool EffectItem::setParam(const std::string& name, const std::string& value) {
    duk_push_lstring(m_ctx, name.data(), name.size());
    duk_push_lstring(m_ctx, value.data(), value.size());
    return callEffect("onParam", 2);
}

bool EffectItem::renderFrame(const FrameContext& frame) {
    if (m_disabled)
        return false;
    duk_context* ctx = m_ctx;
    duk_push_global_stash(ctx);
    duk_get_prop_string(ctx, -1, "frame");
    duk_remove(ctx, -2);
    duk_push_number(ctx, frame.time);
    duk_put_prop_string(ctx, -2, "time");
    if (frame.face) {
        const FaceValues& v = frame.face->values;
        duk_push_object(ctx);
        const struct {
            const char* name;
            double value;
        } values[] = {
            {"mouthOpen", v.mouthOpen},   {"eyeOpenLeft", v.eyeOpenLeft}, {"eyeOpenRight", v.eyeOpenRight},
            {"browRaise", v.browRaise},   {"smile", v.smile},             {"pitch", v.pitch},
            {"yaw", v.yaw},               {"roll", v.roll},               {"pitchSwing", v.pitchSwing},
            {"yawSwing", v.yawSwing},     {"pitchTurns", v.pitchTurns},   {"yawTurns", v.yawTurns},
            {"id", double(frame.face->id)},
        };
        for (const auto& e : values) {
            duk_push_number(ctx, e.value);
            duk_put_prop_string(ctx, -2, e.name);
        }
    } else {
        duk_push_null(ctx);
    }
    duk_put_prop_string(ctx, -2, "face");
    m_frame = &frame;
    const bool ok = callEffect("onFrame", 1);
    m_frame = nullptr;
    return ok;
}

} // namespace vexa
