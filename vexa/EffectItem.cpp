#define GL_GLEXT_PROTOTYPES 1
#include "vexa/EffectItem.h"

#include "vexa/GlContext.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <duktape.h>
#include <rapidjson/document.h>
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

    // Decodes the bundle's image `name` (WebP or PNG) into a new texture of
    // the current context, counted against the pixel budget when `charge`
    // is set; 0 with a message when it is missing, unreadable or over the
    // budget.
    static GLuintT decodeImage(EffectItem* item, const std::string& name, bool charge, Message& msg) {
        std::string reason;
        std::vector<std::uint8_t> bytes;
        if (!item->m_bundle->zip->read(name, bytes, reason)) {
            setMessage(msg, reason);
            return 0;
        }
        int w = 0, h = 0;
        unsigned char* pixels = nullptr;
        bool webp = false, overBudget = false;
        if (WebPGetInfo(bytes.data(), bytes.size(), &w, &h)) {
            overBudget = charge && w <= kMaxTextureSide && h <= kMaxTextureSide && !item->reservePixels(w, h);
            if (w <= kMaxTextureSide && h <= kMaxTextureSide && !overBudget)
                pixels = WebPDecodeRGBA(bytes.data(), bytes.size(), &w, &h);
            webp = true;
        } else if (bytes.size() < 0x7fffffff) {
            int x = 0, y = 0, n = 0;
            if (stbi_info_from_memory(bytes.data(), int(bytes.size()), &x, &y, &n) && x <= kMaxTextureSide &&
                y <= kMaxTextureSide) {
                overBudget = charge && !item->reservePixels(x, y);
                if (!overBudget)
                    pixels = stbi_load_from_memory(bytes.data(), int(bytes.size()), &w, &h, &n, 4);
            }
        }
        if (overBudget)
            setMessage(msg, "texture " + name + ": the bundle's textures exceed 64 million pixels");
        else if (!pixels)
            setMessage(msg, "texture " + name + " is not a readable WebP or PNG image of at most 8192 x 8192");
        if (!pixels)
            return 0;
        const GLuintT t = GlRenderer::createTexture(pixels, w, h);
        if (webp)
            WebPFree(pixels);
        else
            stbi_image_free(pixels);
        return t;
    }

    // A texture of the current context made from `source`.
    static GLuintT makeTexture(EffectItem* item, TextureSource& source, Message& msg) {
        if (source.file.empty()) {
            const unsigned char white[4] = {255, 255, 255, 255};
            return GlRenderer::createTexture(white, 1, 1);
        }
        const GLuintT t = decodeImage(item, source.file, !source.charged, msg);
        source.charged = source.charged || t;
        return t;
    }

    // Adds a texture source whose texture `t` the current context holds;
    // its index.
    static int addTexture(EffectItem* item, const std::string& file, GLuintT t) {
        item->m_textureSources.push_back({file, true});
        item->gl().textures.back() = t;
        return int(item->m_textureSources.size()) - 1;
    }

    // The bundle's image by file name, loaded once (index into the texture
    // sources, -1 when unreadable); a name the packer converted (x.png
    // stored as x.webp) is found under its WebP name.
    static int namedTexture(EffectItem* item, const std::string& name, Message& msg) {
        const auto it = item->m_namedTextures.find(name);
        if (it != item->m_namedTextures.end())
            return it->second;
        std::string file = name;
        GLuintT t = decodeImage(item, name, true, msg);
        const std::size_t dot = name.rfind('.');
        if (!t && dot != std::string::npos && name.substr(dot) != ".webp") {
            Message other = "";
            file = name.substr(0, dot) + ".webp";
            t = decodeImage(item, file, true, other);
        }
        int index = -1;
        if (t) {
            msg[0] = 0;
            index = addTexture(item, file, t);
        }
        item->m_namedTextures[name] = index;
        return index;
    }

    static duk_ret_t loadTexture(duk_context* ctx) {
        Message msg = "";
        try {
            EffectItem* item = self(ctx);
            std::string name;
            if (fileArg(ctx, 0, name, msg)) {
                const GLuintT t = decodeImage(item, name, true, msg);
                if (t)
                    addTexture(item, name, t);
            }
        } catch (const std::exception& e) {
            setMessage(msg, std::string("loadTexture: ") + e.what());
        }
        if (msg[0])
            return duk_error(ctx, DUK_ERR_ERROR, "%s", msg);
        duk_push_int(ctx, int(self(ctx)->m_textureSources.size()));
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
                    if (p) {
                        item->m_programSources.push_back({std::move(vs), std::move(fs), vName});
                        item->m_programStates.emplace_back();
                        GlObjects& gl = item->gl();
                        gl.programs.back() = p;
                        gl.uniforms.back() = describeProgram(p);
                    } else {
                        setMessage(msg, vName + ": " + reason);
                    }
                }
            }
        } catch (const std::exception& e) {
            setMessage(msg, std::string("loadProgram: ") + e.what());
        }
        if (msg[0])
            return duk_error(ctx, DUK_ERR_ERROR, "%s", msg);
        // The program object: its handle and the uniform setters.
        duk_push_object(ctx);
        duk_push_int(ctx, int(self(ctx)->m_programSources.size()));
        duk_put_prop_string(ctx, -2, "handle");
        duk_push_c_function(ctx, &setUniform, 2);
        duk_put_prop_string(ctx, -2, "setUniform");
        duk_push_c_function(ctx, &setUniforms, 1);
        duk_put_prop_string(ctx, -2, "setUniforms");
        return 1;
    }

    // The active uniforms of a linked program; samplers get texture units 1...
    static std::vector<ActiveUniform> describeProgram(GLuintT program) {
        std::vector<ActiveUniform> uniforms;
        GLint count = 0;
        glGetProgramiv(program, GL_ACTIVE_UNIFORMS, &count);
        int unit = 1;
        for (GLint i = 0; i < count && i < 256; ++i) {
            char name[256] = {0};
            GLint size = 0;
            GLenum type = 0;
            glGetActiveUniform(program, GLuint(i), sizeof name - 1, nullptr, &size, &type, name);
            ActiveUniform u;
            u.name = name;
            u.type = type;
            u.location = glGetUniformLocation(program, name);
            if (type == GL_SAMPLER_2D)
                u.unit = unit++;
            if (u.location >= 0)
                uniforms.push_back(u);
        }
        return uniforms;
    }

    // Reads the script value at `index` as a uniform value; false for
    // values no uniform can take (objects, functions, undefined).
    static bool uniformValue(duk_context* ctx, int index, Uniform& out) {
        if (duk_is_number(ctx, index)) {
            out.numbers = {float(duk_get_number(ctx, index))};
        } else if (duk_is_string(ctx, index)) {
            out.isText = true;
            out.text = duk_get_string(ctx, index);
        } else if (duk_is_array(ctx, index)) {
            const duk_size_t n = duk_get_length(ctx, index);
            if (n > 16)
                return false;
            for (duk_size_t i = 0; i < n; ++i) {
                duk_get_prop_index(ctx, index, duk_uarridx_t(i));
                out.numbers.push_back(duk_is_number(ctx, -1) ? float(duk_get_number(ctx, -1)) : 0.0f);
                duk_pop(ctx);
            }
        } else {
            return false;
        }
        return true;
    }

    // The ProgramState of `this` (a program object); null when unknown.
    static ProgramState* thisProgram(duk_context* ctx) {
        duk_push_this(ctx);
        duk_get_prop_string(ctx, -1, "handle");
        const int h = duk_is_number(ctx, -1) ? duk_get_int(ctx, -1) : 0;
        duk_pop_2(ctx);
        EffectItem* item = self(ctx);
        if (h < 1 || std::size_t(h) > item->m_programStates.size())
            return nullptr;
        return &item->m_programStates[std::size_t(h - 1)];
    }

    static duk_ret_t setUniform(duk_context* ctx) {
        Message msg = "";
        try {
            ProgramState* p = thisProgram(ctx);
            Uniform u;
            if (!p)
                setMessage(msg, "setUniform on an unknown program");
            else if (!duk_is_string(ctx, 0))
                setMessage(msg, "setUniform needs a uniform name");
            else if (uniformValue(ctx, 1, u))
                p->pending[duk_get_string(ctx, 0)] = u;
        } catch (const std::exception& e) {
            setMessage(msg, std::string("setUniform: ") + e.what());
        }
        if (msg[0])
            return duk_error(ctx, DUK_ERR_ERROR, "%s", msg);
        return 0;
    }

    static duk_ret_t setUniforms(duk_context* ctx) {
        Message msg = "";
        try {
            ProgramState* p = thisProgram(ctx);
            if (!p) {
                setMessage(msg, "setUniforms on an unknown program");
            } else if (duk_is_object(ctx, 0)) {
                duk_enum(ctx, 0, DUK_ENUM_OWN_PROPERTIES_ONLY);
                while (duk_next(ctx, -1, 1)) {
                    Uniform u;
                    if (uniformValue(ctx, -1, u))
                        p->pending[duk_safe_to_string(ctx, -2)] = u;
                    duk_pop_2(ctx);
                }
                duk_pop(ctx);
            }
        } catch (const std::exception& e) {
            setMessage(msg, std::string("setUniforms: ") + e.what());
        }
        if (msg[0])
            return duk_error(ctx, DUK_ERR_ERROR, "%s", msg);
        return 0;
    }

    static duk_ret_t loadMeshBundle(duk_context* ctx) {
        Message msg = "";
        try {
            EffectItem* item = self(ctx);
            std::string name, reason;
            std::vector<std::uint8_t> bin;
            std::string json;
            if (!fileArg(ctx, 0, name, msg)) {
            } else if (!item->m_bundle->zip->read(name + ".bin", bin, reason) ||
                       !item->m_bundle->zip->readText(name + ".json", json, reason)) {
                setMessage(msg, reason);
            } else {
                auto mesh = std::make_unique<MeshData>();
                if (mesh->read(bin.data(), bin.size(), json.data(), json.size(), reason))
                    item->m_meshes.push_back(std::move(mesh));
                else
                    setMessage(msg, name + ": " + reason);
            }
        } catch (const std::exception& e) {
            setMessage(msg, std::string("loadMeshBundle: ") + e.what());
        }
        if (msg[0])
            return duk_error(ctx, DUK_ERR_ERROR, "%s", msg);
        EffectItem* item = self(ctx);
        const MeshData& mesh = *item->m_meshes.back();
        duk_push_object(ctx);
        duk_push_int(ctx, int(item->m_meshes.size()));
        duk_put_prop_string(ctx, -2, "handle");
        duk_push_array(ctx);
        for (std::size_t i = 0; i < mesh.parts.size(); ++i) {
            duk_push_object(ctx);
            duk_push_lstring(ctx, mesh.parts[i].name.data(), mesh.parts[i].name.size());
            duk_put_prop_string(ctx, -2, "name");
            duk_push_int(ctx, int(i));
            duk_put_prop_string(ctx, -2, "index");
            duk_put_prop_index(ctx, -2, duk_uarridx_t(i));
        }
        duk_put_prop_string(ctx, -2, "drawcalls");
        duk_push_c_function(ctx, &drawMesh, 3);
        duk_put_prop_string(ctx, -2, "draw");
        return 1;
    }

    static int intProp(duk_context* ctx, int index, const char* key) {
        if (!duk_is_object(ctx, index))
            return -1;
        duk_get_prop_string(ctx, index, key);
        const int v = duk_is_number(ctx, -1) ? duk_get_int(ctx, -1) : -1;
        duk_pop(ctx);
        return v;
    }

    static duk_ret_t drawMesh(duk_context* ctx) {
        return drawing(ctx, "draw", [ctx](EffectItem* item, const FrameContext& fc, Message& msg) {
            drawMeshBody(ctx, item, &fc, msg);
        });
    }

    static void drawMeshBody(duk_context* ctx, EffectItem* item, const FrameContext* f, Message& msg) {
        duk_push_this(ctx);
        const int meshHandle = intProp(ctx, -1, "handle");
        duk_pop(ctx);
        const int partIndex = intProp(ctx, 0, "index");
        const int programHandle = intProp(ctx, 1, "handle");
        if (meshHandle < 1 || std::size_t(meshHandle) > item->m_meshes.size())
            return setMessage(msg, "draw on an unknown mesh");
        MeshData& mesh = *item->m_meshes[std::size_t(meshHandle - 1)];
        if (partIndex < 0 || std::size_t(partIndex) >= mesh.parts.size())
            return setMessage(msg, "draw needs one of the mesh's drawcalls");
        if (programHandle < 1 || std::size_t(programHandle) > item->m_programSources.size())
            return setMessage(msg, "draw needs a program");
        MeshPart& part = mesh.parts[std::size_t(partIndex)];
        if (part.dynamic) {
            float weights[kBlendshapeCount] = {0};
            if (duk_is_array(ctx, 2)) {
                const duk_size_t n = std::min<duk_size_t>(duk_get_length(ctx, 2), kBlendshapeCount);
                for (duk_size_t i = 0; i < n; ++i) {
                    duk_get_prop_index(ctx, 2, duk_uarridx_t(i));
                    weights[i] = duk_is_number(ctx, -1) ? float(duk_get_number(ctx, -1)) : 0.0f;
                    duk_pop(ctx);
                }
            }
            part.applyBlendshapes(weights);
        }
        const GLuintT program = item->program(std::size_t(programHandle - 1));
        if (!program)
            return setMessage(msg, "draw: the program cannot be made in this GL context");
        ProgramState& state = item->m_programStates[std::size_t(programHandle - 1)];
        if (item->m_depthClearedSerial != item->m_frameSerial) {
            glClear(GL_DEPTH_BUFFER_BIT);
            item->m_depthClearedSerial = item->m_frameSerial;
        }
        glUseProgram(program);
        applyUniforms(item, state, std::size_t(programHandle - 1), part, msg);
        if (msg[0])
            return;
        drawPart(program, part, item->gl().meshes[std::size_t(meshHandle - 1)][std::size_t(partIndex)]);
        (void)f;
    }

    // The part's own material (its descriptor's texture, colour and
    // shininess, opaque) for the material uniforms the script did not set
    // since the previous draw, then every value set since.
    // A program made again in another context first gets every value its
    // program object had before.
    static void applyUniforms(EffectItem* item, ProgramState& state, std::size_t program, const MeshPart& part,
                              Message& msg) {
        std::vector<ActiveUniform>& uniforms = item->uniforms(program);
        GlObjects& gl = item->gl();
        const bool replay = gl.replay[program];
        gl.replay[program] = 0;
        std::map<std::string, Uniform> defaults = item->m_partDefaults;
        if (!state.drawn)
            defaults.insert(item->m_globalDefaults.begin(), item->m_globalDefaults.end());
        state.drawn = true;
        defaults["tex_albedo"].isText = true;
        defaults["tex_albedo"].text = part.texture.empty() ? "white.png" : part.texture;
        defaults["tint"].numbers.assign(part.diffuse, part.diffuse + 3);
        defaults["shininess"].numbers = {part.shininess};
        defaults["opacity"].numbers = {1.0f};
        for (ActiveUniform& u : uniforms) {
            auto it = state.pending.find(u.name);
            const Uniform* value = nullptr;
            if (it != state.pending.end())
                value = &it->second;
            else if (defaults.count(u.name))
                value = &defaults[u.name];
            else if (replay && state.applied.count(u.name))
                value = &state.applied[u.name];
            if (value) {
                setOne(item, state, u, *value, msg);
                if (value != &state.applied[u.name])
                    state.applied[u.name] = *value;
            }
            if (u.unit >= 0) {
                const auto chosen = state.samplers.find(u.name);
                const int t = chosen != state.samplers.end() ? chosen->second : -1;
                glActiveTexture(GLenum(GL_TEXTURE0 + u.unit));
                glBindTexture(GL_TEXTURE_2D, t >= 0 ? item->texture(std::size_t(t)) : whiteTexture(item));
                glUniform1i(u.location, u.unit);
            }
        }
        glActiveTexture(GL_TEXTURE0);
        state.pending.clear();
    }

    static GLuintT whiteTexture(EffectItem* item) {
        auto it = item->m_namedTextures.find("");
        if (it == item->m_namedTextures.end()) {
            const unsigned char white[4] = {255, 255, 255, 255};
            it = item->m_namedTextures.emplace("", addTexture(item, "", GlRenderer::createTexture(white, 1, 1))).first;
        }
        return item->texture(std::size_t(it->second));
    }

    static void setOne(EffectItem* item, ProgramState& state, ActiveUniform& u, const Uniform& value, Message& msg) {
        if (u.type == GL_SAMPLER_2D) {
            if (value.isText) {
                Message ignored = "";
                state.samplers[u.name] = namedTexture(item, value.text, ignored);
            }
            return;
        }
        (void)msg;
        float v[16] = {0};
        int n = 0;
        if (value.isText) {
            // "0.3,0.5,1.0": a vector typed in the attribute panel.
            const char* p = value.text.c_str();
            while (*p && n < 16) {
                char* end = nullptr;
                const float x = std::strtof(p, &end);
                if (end == p)
                    break;
                v[n++] = std::isfinite(x) ? x : 0.0f;
                p = end;
                while (*p == ',' || *p == ' ')
                    ++p;
            }
        } else {
            n = int(std::min<std::size_t>(value.numbers.size(), 16));
            for (int i = 0; i < n; ++i)
                v[i] = std::isfinite(value.numbers[std::size_t(i)]) ? value.numbers[std::size_t(i)] : 0.0f;
        }
        if (n == 0)
            return;
        if (n == 1)  // a slider's number fills every component
            for (int i = 1; i < 16; ++i)
                v[i] = v[0];
        switch (u.type) {
        case GL_FLOAT: glUniform1f(u.location, v[0]); break;
        case GL_FLOAT_VEC2: glUniform2fv(u.location, 1, v); break;
        case GL_FLOAT_VEC3: glUniform3fv(u.location, 1, v); break;
        case GL_FLOAT_VEC4: glUniform4fv(u.location, 1, v); break;
        case GL_INT: case GL_BOOL: glUniform1i(u.location, int(v[0])); break;
        case GL_FLOAT_MAT3: if (n >= 9) glUniformMatrix3fv(u.location, 1, GL_FALSE, v); break;
        case GL_FLOAT_MAT4: if (n >= 16) glUniformMatrix4fv(u.location, 1, GL_FALSE, v); break;
        default: break;
        }
    }

    static GLuintT makeBuffer(GLenum target, const void* data, std::size_t bytes, GLenum usage) {
        GLuint b = 0;
        glGenBuffers(1, &b);
        glBindBuffer(target, b);
        glBufferData(target, GLsizeiptr(bytes), data, usage);
        return b;
    }

    // Draws the part from its buffer objects: made at its first draw in a
    // context; afterwards only positions and normals a blendshape moved are
    // sent again.
    static void drawPart(GLuintT program, const MeshPart& part, PartBuffers& b) {
        if (part.indices.empty())
            return;
        const std::vector<float>& pn = part.dynamic ? part.current : part.base;
        if (!b.ebo) {
            b.st = makeBuffer(GL_ARRAY_BUFFER, part.texCoords.data(), part.texCoords.size() * 4, GL_STATIC_DRAW);
            b.weight = makeBuffer(GL_ARRAY_BUFFER, part.weights.data(), part.weights.size() * 4, GL_STATIC_DRAW);
            b.pn = makeBuffer(GL_ARRAY_BUFFER, pn.data(), pn.size() * 4, part.dynamic ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
            b.ebo = makeBuffer(GL_ELEMENT_ARRAY_BUFFER, part.indices.data(), part.indices.size() * 4, GL_STATIC_DRAW);
            b.version = part.version;
        } else if (b.version != part.version) {
            // One change behind: only its range; farther: everything.
            const std::size_t first = b.version + 1 == part.version ? part.changedFirst : 0;
            const std::size_t last = b.version + 1 == part.version ? part.changedLast : pn.size() - 1;
            glBindBuffer(GL_ARRAY_BUFFER, b.pn);
            glBufferSubData(GL_ARRAY_BUFFER, GLintptr(first * 4), GLsizeiptr((last - first + 1) * 4), pn.data() + first);
            b.version = part.version;
        }
        const GLint pos = glGetAttribLocation(program, "a_position"), nrm = glGetAttribLocation(program, "a_normal");
        const GLint uv = glGetAttribLocation(program, "a_texcoord"), wt = glGetAttribLocation(program, "a_weight");
        glEnable(GL_BLEND);
        glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        const struct {
            GLint at;
            int size;
            GLuintT buffer;
            std::size_t offset;
            int stride;
        } streams[] = {{pos, 3, b.pn, 0, 6}, {nrm, 3, b.pn, 3, 6}, {uv, 2, b.st, 0, 2}, {wt, 1, b.weight, 0, 1}};
        for (const auto& s : streams) {
            if (s.at < 0)
                continue;
            glBindBuffer(GL_ARRAY_BUFFER, s.buffer);
            glEnableVertexAttribArray(GLuint(s.at));
            glVertexAttribPointer(GLuint(s.at), s.size, GL_FLOAT, GL_FALSE, GLsizei(s.stride * 4),
                                  reinterpret_cast<const void*>(s.offset * 4));
        }
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, b.ebo);
        glDrawElements(GL_TRIANGLES, GLsizei(part.indices.size()), GL_UNSIGNED_INT, nullptr);
        for (const auto& s : streams)
            if (s.at >= 0)
                glDisableVertexAttribArray(GLuint(s.at));
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        glDisable(GL_DEPTH_TEST);
    }

    // The GL name (of the current context) behind a script's texture or
    // program handle; 0 (with a message) when unknown.
    static GLuintT handle(duk_context* ctx, int index, EffectItem* item, bool program, Message& msg) {
        int h = duk_is_number(ctx, index) ? duk_get_int(ctx, index) : 0;
        if (duk_is_object(ctx, index)) {  // a program object
            duk_get_prop_string(ctx, index, "handle");
            h = duk_is_number(ctx, -1) ? duk_get_int(ctx, -1) : 0;
            duk_pop(ctx);
        }
        const std::size_t count = program ? item->m_programSources.size() : item->m_textureSources.size();
        if (h < 1 || std::size_t(h) > count) {
            std::snprintf(msg, sizeof(Message), "unknown %s handle", program ? "program" : "texture");
            return 0;
        }
        return program ? item->program(std::size_t(h - 1)) : item->texture(std::size_t(h - 1));
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
        const GLuintT tex = handle(ctx, 0, item, false, msg);
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
        const GLuintT tex = handle(ctx, 0, item, false, msg);
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
        const GLuintT program = handle(ctx, 0, item, true, msg);
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

namespace {

// False when a set of GL names kept for a context pointer no longer names
// objects there: the context was destroyed and another one got its address.
template <typename Objects>
bool namesStillValid(const Objects& gl) {
    for (GLuintT p : gl.programs)
        if (p)
            return glIsProgram(p);
    for (GLuintT t : gl.textures)
        if (t)
            return glIsTexture(t);
    return true;
}

} // namespace

EffectItem::~EffectItem() {
    if (m_ctx)
        duk_destroy_heap(m_ctx);
    // Only the current context's names can be deleted; those of other
    // contexts go with their context.
    const auto it = m_gl.find(currentGlContext());
    if (it != m_gl.end() && namesStillValid(it->second))
        release(it->second);
}

EffectItem::GlObjects& EffectItem::gl() {
    const void* context = currentGlContext();
    if (!m_glCurrent || context != m_glContext) {
        auto [it, fresh] = m_gl.try_emplace(context);
        if (!fresh && !namesStillValid(it->second))
            it->second = GlObjects();
        m_glContext = context;
        m_glCurrent = &it->second;
    }
    GlObjects& g = *m_glCurrent;
    g.textures.resize(m_textureSources.size());
    g.programs.resize(m_programSources.size());
    g.uniforms.resize(m_programSources.size());
    g.replay.resize(m_programSources.size());
    g.meshes.resize(m_meshes.size());
    for (std::size_t i = 0; i < m_meshes.size(); ++i)
        g.meshes[i].resize(m_meshes[i]->parts.size());
    return g;
}

GLuintT EffectItem::texture(std::size_t index) {
    GlObjects& g = gl();
    if (!g.textures[index]) {
        Native::Message ignored = "";
        g.textures[index] = Native::makeTexture(this, m_textureSources[index], ignored);
    }
    return g.textures[index];
}

GLuintT EffectItem::program(std::size_t index) {
    GlObjects& g = gl();
    if (!g.programs[index]) {
        std::string reason;
        const ProgramSource& source = m_programSources[index];
        g.programs[index] = GlRenderer::createProgram(source.vertex, source.fragment, reason);
        if (g.programs[index]) {
            g.uniforms[index] = Native::describeProgram(g.programs[index]);
            g.replay[index] = 1;
        }
    }
    return g.programs[index];
}

std::vector<EffectItem::ActiveUniform>& EffectItem::uniforms(std::size_t program) {
    this->program(program);
    return gl().uniforms[program];
}

void EffectItem::release(GlObjects& g) {
    for (GLuintT t : g.textures)
        GlRenderer::deleteTexture(t);
    for (GLuintT p : g.programs)
        GlRenderer::deleteProgram(p);
    for (const auto& mesh : g.meshes)
        for (const PartBuffers& b : mesh) {
            const GLuint names[4] = {b.pn, b.st, b.weight, b.ebo};
            if (b.ebo)
                glDeleteBuffers(4, names);
        }
    g = GlObjects();
}

bool faceMatrices(const HeadPose& pose, int width, int height, FaceMatrices& out) {
    if (!pose.valid || width <= 0 || height <= 0)
        return false;
    // Model: reference-head coordinates (x mirrored, as the layout is what
    // the mirrored preview shows) through the head pose into the camera,
    // then from the camera's axes (y down, z forward) to GL eye space
    // (y up, z towards the viewer).
    const double* R = pose.rotation;
    const double* t = pose.translation;
    const double flip[3] = {1, -1, -1}, mirror[3] = {-1, 1, 1};
    double model[16] = {0};  // column-major
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c)
            model[c * 4 + r] = flip[r] * R[r * 3 + c] * mirror[c];
        model[12 + r] = flip[r] * t[r];
    }
    model[15] = 1;
    // Projection: the pinhole camera of the tracker (focal length
    // focalScale times the frame's longer side, principal point at the
    // centre) with depth from 2000 units before the head to 2000 behind.
    const double w = width, h = height, f = pose.focal;
    const double zNear = std::max(1.0, t[2] - 2000), zFar = t[2] + 2000;
    double proj[16] = {0};
    proj[0] = 2 * f / w;
    proj[8] = 1 - 2 * pose.cx / w;
    proj[5] = 2 * f / h;
    proj[9] = 2 * pose.cy / h - 1;
    proj[10] = -(zFar + zNear) / (zFar - zNear);
    proj[14] = -2 * zFar * zNear / (zFar - zNear);
    proj[11] = -1;
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) {
            double sum = 0;
            for (int k = 0; k < 4; ++k)
                sum += proj[k * 4 + r] * model[c * 4 + k];
            out.modelViewProjection[c * 4 + r] = float(sum);
            out.model[c * 4 + r] = float(model[c * 4 + r]);
        }
    // The model's 3 x 3 part is a rotation times reflections: its inverse
    // transpose is itself.
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 3; ++r)
            out.normalMatrix[c * 3 + r] = float(model[c * 4 + r]);
    return true;
}

void blendshapeWeights(const FaceValues& v, float out[kBlendshapeCount]) {
    std::fill(out, out + kBlendshapeCount, 0.0f);
    auto unit = [](double x) { return float(std::clamp(std::isfinite(x) ? x : 0.0, 0.0, 1.0)); };
    out[kShapeJawOpen] = unit(v.mouthOpen);
    out[kShapeBlinkLeft] = unit(1 - v.eyeOpenLeft);
    out[kShapeBlinkRight] = unit(1 - v.eyeOpenRight);
    out[kShapeSmileLeft] = unit(v.smile);
    out[kShapeSmileRight] = unit(v.smile);
    out[kShapeBrowsUp] = unit(v.browRaise);
}

void EffectItem::readParamDefaults(const std::string& script) {
    std::size_t at = 0;
    while ((at = script.find("@", at)) != std::string::npos) {
        const std::size_t end = std::min(script.find('\n', at), script.size());
        const std::string line = script.substr(at, end - at);
        at = end;
        const bool global = line.rfind("@gparam ", 0) == 0;
        if (!global && line.rfind("@mparam ", 0) != 0)
            continue;
        const std::size_t nameEnd = line.find(' ', 8);
        if (nameEnd == std::string::npos)
            continue;
        rapidjson::Document d;
        d.Parse<rapidjson::kParseIterativeFlag>(line.c_str() + nameEnd + 1);
        if (d.HasParseError() || !d.IsObject() || !d.HasMember("default_value"))
            continue;
        const rapidjson::Value& v = d["default_value"];
        Uniform u;
        if (v.IsNumber()) {
            u.numbers = {float(v.GetDouble())};
        } else if (v.IsString()) {
            u.isText = true;
            u.text = v.GetString();
        } else {
            continue;
        }
        (global ? m_globalDefaults : m_partDefaults)[line.substr(8, nameEnd - 8)] = u;
    }
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

void pushNumbers(duk_context* ctx, const float* v, int n) {
    duk_push_array(ctx);
    for (int i = 0; i < n; ++i) {
        duk_push_number(ctx, double(v[i]));
        duk_put_prop_index(ctx, -2, duk_uarridx_t(i));
    }
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
    item->readParamDefaults(script);
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
    putFunction(ctx, "loadMeshBundle", &Native::loadMeshBundle, 1);
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
    ++m_frameSerial;
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
        FaceMatrices m;
        if (faceMatrices(frame.face->pose, frame.renderer->width(), frame.renderer->height(), m)) {
            pushNumbers(ctx, m.model, 16);
            duk_put_prop_string(ctx, -2, "model");
            pushNumbers(ctx, m.modelViewProjection, 16);
            duk_put_prop_string(ctx, -2, "modelViewProjection");
            pushNumbers(ctx, m.normalMatrix, 9);
            duk_put_prop_string(ctx, -2, "normalMatrix");
        }
        float shapes[kBlendshapeCount];
        blendshapeWeights(v, shapes);
        pushNumbers(ctx, shapes, kBlendshapeCount);
        duk_put_prop_string(ctx, -2, "blendshapes");
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
