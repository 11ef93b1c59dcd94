#include "pack/FrameGatherer.h"

#include "app/Log.h"
#include "app/Paths.h"
#include "pack/FrameSequence.h"

#include <chrono>

const TexFrame* FrameSet::find(const std::string& path) const {
    const auto it = table.find(path);
    return it == table.end() ? nullptr : &frames[size_t(it->second)];
}

namespace {

struct Clock {
    double* decode;
    double* trim;
};

void addSince(double* counter, std::chrono::steady_clock::time_point t0) {
    if (counter)
        *counter += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void logItem(const Sticker2d& s, const FrameSequence& seq) {
    LOG_INFO("%s %f %f %f\n", s.name.c_str(), double(s.translation.x), double(s.translation.y),
             double(s.translation.z));
    LOG_INFO("\n%s\n%s\n%s\n%s\n%s\n\n", s.texpath.c_str(), seq.folder().c_str(), seq.stem().c_str(),
             seq.extension().c_str(), seq.prefix().c_str());
}

// Loads, trims and stores one frame file; false when it cannot be loaded.
bool addFrame(FrameSet& set, const std::string& path, bool keepWhole, Clock clock) {
    TexFrame frame;
    frame.path = path;
    auto t0 = std::chrono::steady_clock::now();
    const bool loaded = frame.image.imread(path);
    addSince(clock.decode, t0);
    if (!loaded) {
        LOG_INFO("load image failed, path %s\n", path.c_str());
        return false;
    }
    t0 = std::chrono::steady_clock::now();
    trimFrame(frame, keepWhole);
    cropToTrim(frame);
    addSince(clock.trim, t0);
    set.table.emplace(path, int(set.frames.size()));
    set.frames.push_back(std::move(frame));
    return true;
}

void gatherSequence(FrameSet& set, const Sticker2d& sticker, Clock clock) {
    FrameSequence seq;
    const bool valid = seq.parse(sticker.texpath);
    logItem(sticker, seq);
    if (!valid) {
        LOG_INFO("this is not valid texture path:%s\n", sticker.texpath.c_str());
        return;
    }
    int n = 0;
    for (;; ++n) {
        const std::string path = seq.framePath(n);
        LOG_INFO("framename:%s\n", seq.frameName(n).c_str());
        if (!fileExists(path))
            break;
        if (set.table.count(path) == 0)
            addFrame(set, path, sticker.isfullscreen, clock);
    }
    set.sequences[seq.key()] = n;
}

} // namespace

FrameSet FrameGatherer::gather(const std::vector<Sticker2d>& stickers, double* decodeSeconds,
                                double* trimSeconds) {
    FrameSet set;
    for (const Sticker2d& sticker : stickers)
        gatherSequence(set, sticker, Clock{decodeSeconds, trimSeconds});
    return set;
}
