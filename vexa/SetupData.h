#pragma once
// The set-up blob of the runtime (docs/vexa-data-blob.md): trusted keys,
// face model path, reference head and tracker settings.

#include "vexa/format/BundleReader.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vexa {

struct TrackerSettings {
    int detectMaxSide = 640;      // frames are shrunk to this longer side for detection
    int redetectInterval = 10;    // frames between detections while a face is tracked
    int minFaceSize = 40;         // faces narrower than this (pixels) are ignored
    double smoothMinCutoff = 0.6; // landmark filter: cutoff (Hz) at rest
    double smoothBeta = 0.08;     // landmark filter: cutoff growth with speed
    double historySeconds = 0.8;  // window of swings and turns
    double focalScale = 1.0;      // focal length = focalScale * longer frame side
};

struct ReferenceHead {
    std::vector<std::array<float, 3>> vertices;
    std::vector<std::array<float, 2>> uvs;  // one per vertex, v = 0 at the texture's bottom
    std::vector<std::array<std::uint32_t, 3>> triangles;
    std::vector<std::pair<int, int>> landmarks;  // (landmark 0..67, vertex index)
};

struct SetupData {
    int format = 0;
    std::vector<format::PublicKey> trustedKeys;
    std::string faceModel;
    TrackerSettings tracker;
    ReferenceHead head;
};

// Parses the blob; false with a reason on null, truncated, foreign or
// inconsistent data (indices out of range, too few landmarks).
bool parseSetupData(const std::uint8_t* data, std::size_t size, SetupData& out, std::string& reason);

} // namespace vexa
