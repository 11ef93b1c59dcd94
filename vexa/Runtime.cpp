#include "vexa/Runtime.h"

#include "vexa/EffectItem.h"
#include "vexa/GlRenderer.h"
#include "vexa/SetupData.h"
#include "vexa/vexa.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <cstring>
#include <map>
#include <memory>
#include <string>

namespace vexa {

namespace {

constexpr std::size_t kMaxParamName = 199;

struct State {
    bool ready = false;
    SetupData setup;
    std::unique_ptr<FaceTracker> tracker;
    std::unique_ptr<GlRenderer> renderer;
    struct Entry {
        std::unique_ptr<EffectItem> item;
        std::chrono::steady_clock::time_point loaded;
        int firstFrame = -1;
    };
    std::map<int, Entry> items;
    int nextHandle = 1;
    double frameClockFps = 0;
    bool skipSignature = false;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
};

State& state() {
    static State s;
    return s;
}

thread_local std::string t_lastError;

int fail(const std::string& reason) {
    t_lastError = reason;
    return 0;
}

template <typename F>
int guarded(F&& f) {
    try {
        return f();
    } catch (const std::exception& e) {
        return fail(std::string("internal error: ") + e.what());
    } catch (...) {
        return fail("internal error");
    }
}

std::string readSmallFile(const char* path) {
    std::ifstream f(path, std::ios::binary);
    std::string text;
    char buf[4096];
    while (f && text.size() < 64 * 1024) {
        f.read(buf, sizeof buf);
        text.append(buf, std::size_t(f.gcount()));
    }
    return text;
}

bool validName(const char* name) {
    return name && std::strlen(name) <= kMaxParamName;
}

} // namespace

// Bundles signed by the pack pipeline with another key (LUMO_SIGN_KEY, a
// private key; LUMO_SIGN_PUBKEY, a public key) are trusted as the signing
// script trusts them.
static bool addKeysFromEnvironment(std::vector<format::PublicKey>& keys, std::string& reason) {
    const char* priv = std::getenv("LUMO_SIGN_KEY");
    const char* pub = std::getenv("LUMO_SIGN_PUBKEY");
    format::PublicKey k;
    if (priv && *priv) {
        if (!format::publicKeyOfPrivatePem(readSmallFile(priv), k, reason)) {
            reason = std::string("LUMO_SIGN_KEY ") + priv + ": " + reason;
            return false;
        }
        keys.push_back(k);
    }
    if (pub && *pub) {
        if (!format::parsePublicKeyPem(readSmallFile(pub), k, reason)) {
            reason = std::string("LUMO_SIGN_PUBKEY ") + pub + ": " + reason;
            return false;
        }
        keys.push_back(k);
    }
    return true;
}

namespace internal {
void useFrameClock(double fps) { state().frameClockFps = fps > 0 ? fps : 0; }
void skipSignatureForTesting(bool skip) { state().skipSignature = skip; }
FaceTracker* tracker() { return state().tracker.get(); }
} // namespace internal

} // namespace vexa

using vexa::fail;
using vexa::guarded;
using vexa::state;

extern "C" {

int lumoSetup(const void* data, int size) {
    return guarded([&] {
        vexa::t_lastError.clear();
        if (!data || size <= 0)
            return fail("no set-up data");
        vexa::SetupData setup;
        std::string reason;
        if (!vexa::parseSetupData(static_cast<const std::uint8_t*>(data), std::size_t(size), setup, reason))
            return fail(reason);
        if (!vexa::addKeysFromEnvironment(setup.trustedKeys, reason))
            return fail(reason);
        auto tracker = vexa::FaceTracker::create(setup, reason);
        if (!tracker)
            return fail(reason);
        vexa::State& s = state();
        s.setup = std::move(setup);
        s.tracker = std::move(tracker);
        s.ready = true;
        return 1;
    });
}

int lumoCreateItemFromPackage(const void* data, int size) {
    return guarded([&] {
        vexa::t_lastError.clear();
        vexa::State& s = state();
        if (!s.ready)
            return fail("lumoSetup has not succeeded");
        if (!data || size <= 0)
            return fail("no bundle data");
        std::string reason;
        auto item = vexa::EffectItem::create(
            static_cast<const unsigned char*>(data), std::size_t(size), s.setup.trustedKeys,
            s.skipSignature ? vexa::format::SignatureCheck::SkipForTesting : vexa::format::SignatureCheck::Required,
            reason);
        if (!item)
            return fail(reason);
        const int handle = s.nextHandle++;
        s.items[handle] = {std::move(item), std::chrono::steady_clock::now(), -1};
        return handle;
    });
}

int lumoRenderItemsEx(int outFormat, unsigned char* out, int inFormat, const unsigned char* in, int width,
                      int height, int frameNo, const int* items, int count) {
    return guarded([&] {
        vexa::t_lastError.clear();
        vexa::State& s = state();
        if (!s.ready)
            return fail("lumoSetup has not succeeded");
        if (outFormat != VEXA_FORMAT_RGBA || inFormat != VEXA_FORMAT_RGBA)
            return fail("only pixel format 4 (RGBA) is supported");
        if (!out || !in || width <= 0 || height <= 0 || width > 8192 || height > 8192)
            return fail("bad frame buffer or size");
        if (count < 0 || (count > 0 && !items))
            return fail("bad render list");
        const auto now = std::chrono::steady_clock::now();
        const double wall = std::chrono::duration<double>(now - s.start).count();
        const double time = s.frameClockFps > 0 ? frameNo / s.frameClockFps : wall;
        s.tracker->process(in, width, height, time);
        if (!s.renderer)
            s.renderer = std::make_unique<vexa::GlRenderer>();
        std::string reason;
        if (!s.renderer->begin(in, width, height, reason))
            return fail(reason);
        vexa::FrameContext frame;
        frame.renderer = s.renderer.get();
        frame.head = &s.setup.head;
        frame.face = s.tracker->hasFace() ? &s.tracker->face() : nullptr;
        std::string skipped;
        for (int i = 0; i < count; ++i) {
            if (items[i] == 0)
                continue;
            const auto it = s.items.find(items[i]);
            if (it == s.items.end()) {
                skipped = "unknown item handle " + std::to_string(items[i]);
                continue;
            }
            vexa::State::Entry& e = it->second;
            if (e.firstFrame < 0)
                e.firstFrame = frameNo;
            frame.time = s.frameClockFps > 0 ? (frameNo - e.firstFrame) / s.frameClockFps
                                             : std::chrono::duration<double>(now - e.loaded).count();
            if (!e.item->renderFrame(frame))
                skipped = "item " + std::to_string(items[i]) + " disabled: " + e.item->reason();
        }
        if (!s.renderer->end(out, reason))
            return fail(reason);
        vexa::t_lastError = skipped;
        return 1;
    });
}

int lumoItemSetParamd(int item, const char* name, double value) {
    return guarded([&] {
        vexa::t_lastError.clear();
        if (!vexa::validName(name))
            return fail("parameter name missing or longer than 199 bytes");
        const auto it = state().items.find(item);
        if (it == state().items.end())
            return fail("unknown item handle " + std::to_string(item));
        if (!it->second.item->setParam(name, value))
            return fail(it->second.item->reason());
        return 1;
    });
}

int lumoItemSetParams(int item, const char* name, const char* value) {
    return guarded([&] {
        vexa::t_lastError.clear();
        if (!vexa::validName(name) || !value)
            return fail("parameter name missing or longer than 199 bytes, or no value");
        const auto it = state().items.find(item);
        if (it == state().items.end())
            return fail("unknown item handle " + std::to_string(item));
        if (!it->second.item->setParam(name, std::string(value)))
            return fail(it->second.item->reason());
        return 1;
    });
}

int lumoDestroyItem(int item) {
    return guarded([&] {
        vexa::t_lastError.clear();
        if (state().items.erase(item) == 0)
            return fail("unknown item handle " + std::to_string(item));
        return 1;
    });
}

const char* lumoGetLastError(void) { return vexa::t_lastError.c_str(); }

} // extern "C"
