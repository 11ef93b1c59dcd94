#pragma once
// One loaded effect: its opened bundle, its script running in its own
// Duktape heap, and the GL textures and programs the script asked for.

#include "vexa/FaceTracker.h"
#include "vexa/GlRenderer.h"
#include "vexa/MeshData.h"
#include "vexa/SetupData.h"
#include "vexa/format/BundleReader.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct duk_hthread;

namespace vexa {

// What a script's frame object draws with, valid during onFrame.
struct FrameContext {
    GlRenderer* renderer = nullptr;
    const ReferenceHead* head = nullptr;
    const TrackedFace* face = nullptr;  // null without a face
    double time = 0;
};

// The transforms of frame.face (column-major, as GL takes them).
struct FaceMatrices {
    float model[16], modelViewProjection[16], normalMatrix[9];
};
// From the head pose and the frame's size; false without a valid pose.
bool faceMatrices(const HeadPose& pose, int width, int height, FaceMatrices& out);

// frame.face.blendshapes: slot i drives blendshape file <name>_bs<i>; the
// slots below follow face values (docs/vexa-data-blob.md), the others are 0.
enum BlendshapeSlot {
    kShapeJawOpen = 1,
    kShapeBlinkLeft = 2,
    kShapeBlinkRight = 3,
    kShapeSmileLeft = 4,
    kShapeSmileRight = 5,
    kShapeBrowsUp = 6,
};
void blendshapeWeights(const FaceValues& values, float out[kBlendshapeCount]);

class EffectItem {
public:
    ~EffectItem();
    // Opens the bundle (a copy of the bytes is kept), runs script.js and its
    // effect.onLoad. Null with a reason when the bundle or the script fails.
    static std::unique_ptr<EffectItem> create(const unsigned char* data, std::size_t size,
                                              const std::vector<format::PublicKey>& keys,
                                              format::SignatureCheck check, std::string& reason);

    // effect.onParam(name, value); false (item disabled) on a script error.
    bool setParam(const std::string& name, double value);
    bool setParam(const std::string& name, const std::string& value);
    // effect.onFrame(frame); false (item disabled) on a script error.
    bool renderFrame(const FrameContext& frame);

    bool disabled() const { return m_disabled; }
    const std::string& reason() const { return m_reason; }

    // Used by the native functions of the script API.
    struct Native;

private:
    EffectItem() = default;
    bool callEffect(const char* method, int nargs);
    // Counts a texture against the item's pixel budget; false when over it.
    bool reservePixels(int width, int height);
    void disable(const std::string& why);
    void readParamDefaults(const std::string& script);

    std::vector<unsigned char> m_bytes;
    std::unique_ptr<format::Bundle> m_bundle;
    duk_hthread* m_ctx = nullptr;
    std::size_t m_heapUsed = 0;
    std::uint64_t m_texturePixels = 0;
    // What a script set on a program: values wait here until its next draw.
    struct Uniform {
        std::vector<float> numbers;
        std::string text;  // a texture's file name, or a comma-separated vector
        bool isText = false;
    };
    struct ActiveUniform {
        std::string name;
        unsigned type = 0;
        int location = -1, unit = -1;  // unit: samplers only
    };
    struct ProgramState {
        std::map<std::string, Uniform> pending;
        std::map<std::string, int> samplers;  // sampler name -> index into m_textureSources
        std::map<std::string, Uniform> applied;  // the last value each uniform got
        bool drawn = false;  // global defaults applied
    };
    // What every GL object is made from, so another context can make it again.
    struct TextureSource {
        std::string file;  // a bundle image; empty: one white pixel
        bool charged = false;  // counted against the pixel budget
    };
    struct ProgramSource {
        std::string vertex, fragment, name;
    };
    // A mesh part's vertex data in buffer objects: texture coordinates,
    // weights and triangles uploaded once, positions and normals again only
    // when blendshapes changed them.
    struct PartBuffers {
        GLuintT pn = 0, st = 0, weight = 0, ebo = 0;
        std::uint64_t version = 0;  // MeshPart::version held by pn
    };
    // The GL objects of one context; 0 where not made yet.
    struct GlObjects {
        std::vector<GLuintT> textures;  // parallel to m_textureSources
        std::vector<GLuintT> programs;  // parallel to m_programSources
        std::vector<std::vector<ActiveUniform>> uniforms;  // parallel to programs
        std::vector<char> replay;  // parallel to programs: made again, values not yet set
        std::vector<std::vector<PartBuffers>> meshes;  // [mesh][part]
    };
    // The objects of the current context, made when missing.
    GlObjects& gl();
    GLuintT texture(std::size_t index);
    GLuintT program(std::size_t index);
    std::vector<ActiveUniform>& uniforms(std::size_t program);
    void release(GlObjects& objects);

    std::vector<TextureSource> m_textureSources;
    std::vector<ProgramSource> m_programSources;
    std::map<const void*, GlObjects> m_gl;  // by context (GlContext.h)
    const void* m_glContext = nullptr;      // the context m_glCurrent belongs to
    GlObjects* m_glCurrent = nullptr;
    // The defaults the script declares ("@gparam"/"@mparam" comment lines).
    std::map<std::string, Uniform> m_globalDefaults, m_partDefaults;
    std::vector<ProgramState> m_programStates;  // parallel to m_programSources
    std::vector<std::unique_ptr<MeshData>> m_meshes;
    // Bundle images by file name: index into m_textureSources, -1 unreadable.
    std::map<std::string, int> m_namedTextures;
    const FrameContext* m_frame = nullptr;
    std::uint64_t m_frameSerial = 0, m_depthClearedSerial = 0;
    bool m_landscape = false;
    bool m_disabled = false;
    std::string m_reason;
};

} // namespace vexa
