#pragma once
// One loaded effect: its opened bundle, its script running in its own
// Duktape heap, and the GL textures and programs the script asked for.

#include "vexa/FaceTracker.h"
#include "vexa/GlRenderer.h"
#include "vexa/SetupData.h"
#include "vexa/format/BundleReader.h"

#include <cstdint>
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

    std::vector<unsigned char> m_bytes;
    std::unique_ptr<format::Bundle> m_bundle;
    duk_hthread* m_ctx = nullptr;
    std::size_t m_heapUsed = 0;
    std::uint64_t m_texturePixels = 0;
    std::vector<GLuintT> m_textures;
    std::vector<GLuintT> m_programs;
    const FrameContext* m_frame = nullptr;
    bool m_landscape = false;
    bool m_disabled = false;
    std::string m_reason;
};

} // namespace vexa
