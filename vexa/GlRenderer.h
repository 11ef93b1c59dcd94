#pragma once
// The runtime's OpenGL drawing: an offscreen framebuffer of the frame's size
// holding the camera picture, textured quads and meshes in clip space, the
// eyes program, and the read-back into the caller's buffer. It saves and
// restores the GL state the caller's own drawing relies on. Its GL objects
// are kept per context: a frame drawn with another context current makes
// that context's own.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vexa {

using GLuintT = unsigned int;

// A vertex in clip space (x, y, z, w) with texture coordinates (s, t).
struct ClipVertex {
    float x, y, z, w, s, t;
};

class GlRenderer {
public:
    ~GlRenderer();
    // Starts a frame: binds the framebuffer (width x height), draws the RGBA
    // frame (rows top-down) into it. False with a reason on a GL failure.
    bool begin(const unsigned char* rgba, int width, int height, std::string& reason);
    // Reads the framebuffer back into `rgba` (rows top-down), restores the
    // caller's state.
    bool end(unsigned char* rgba, std::string& reason);

    // Triangles of `vertices` (consecutive triples) with `texture`, alpha
    // blended; depth tested when `depth` is set.
    void drawTriangles(GLuintT texture, const std::vector<ClipVertex>& vertices, bool depth);
    // Sets the uniforms of the eyes program (see eyes.glsl): eye centres in
    // camera coordinates, radius in units of the frame's width, aspect.
    void useProgramForEyes(GLuintT program, float lx, float ly, float rx, float ry, float radius, float aspect);
    // A quad (four corners: clip x, y, camera s, t) through `program` with
    // attributes a_position and a_texcoord; the frame as drawn so far is
    // bound to unit 0 as the camera picture, t = 0 at the frame's bottom row.
    void drawWithCamera(GLuintT program, const float quad[4][4]);
    GLuintT cameraTexture() const { return m_gl ? m_gl->camera : 0; }
    int width() const { return m_width; }
    int height() const { return m_height; }

    // An RGBA texture of `rgba` (rows top-down: t = 0 is the top row).
    static GLuintT createTexture(const unsigned char* rgba, int width, int height);
    static void deleteTexture(GLuintT texture);
    // Compiles and links a program; 0 with the compiler's log as reason.
    static GLuintT createProgram(const std::string& vertex, const std::string& fragment, std::string& reason);
    static void deleteProgram(GLuintT program);

private:
    bool ensureTargets(int width, int height, std::string& reason);
    void saveState();
    void restoreState();

    // The objects of one context.
    struct Targets {
        int width = 0, height = 0;
        GLuintT fbo = 0, color = 0, depth = 0, camera = 0, program = 0;
        int programPos = -1, programUv = -1, programTex = -1;
        bool versionChecked = false;
        bool hasVertexArrays = false;  // GL 3.0 or later: the caller's vertex array object is set aside
    };
    // Points m_gl at the current context's objects (made empty for a new
    // context, or for a context pointer whose objects are gone).
    void selectContext();

    std::map<const void*, Targets> m_contexts;  // by context (GlContext.h)
    Targets* m_gl = nullptr;
    int m_width = 0, m_height = 0;
    struct Saved {
        int fbo = 0, viewport[4] = {0, 0, 0, 0}, program = 0, texture = 0, activeTexture = 0, arrayBuffer = 0;
        int vertexArray = 0, unpackAlign = 4, packAlign = 4, unpackRowLength = 0, packRowLength = 0;
        bool blend = false, depth = false, cull = false, scissor = false;
        int blendSrc = 0, blendDst = 0, blendSrcA = 0, blendDstA = 0;
    } m_saved;
};

} // namespace vexa
