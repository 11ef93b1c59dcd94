#pragma once
// The descriptor of a mesh bundle (avatar.json) parsed into records: the
// [offset, bytes] of the six buffers of avatar.bin and one record per
// drawcall. Only the JSON shape is checked here (members present, of the
// right type, integers non-negative and within 32 bits); whether the
// numbers fit the binary file is MeshBundleReader's business.
// Independent of the editor's classes, for the phone runtime as well.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct MeshBundleBufferSpan {
    uint64_t offset = 0;
    uint64_t bytes = 0;
};

struct MeshBundleAltStream {
    std::string name;
    uint64_t ofs = 0;      // byte offset in vbo_static
    uint32_t channels = 0; // floats per vertex
};

struct MeshBundleMaterial {
    float Kd[3] = {0, 0, 0};
    float Ka = 0;
    float Ks = 0;
    float Ns = 0;
    std::string tex;
};

struct MeshBundleDrawCallInfo {
    std::string name;
    uint64_t ofs_PN = 0;
    uint64_t ofs_st = 0;
    uint64_t ofs_ebo = 0;
    uint64_t count = 0; // triangles
    bool is_dynamic = false;
    bool is_eye = false;
    bool is_ebo_32bit = false;
    uint64_t p_bs_padd_ranges = 0;
    float P_center[3] = {0, 0, 0};
    float scales[3] = {0, 0, 0};
    std::vector<MeshBundleAltStream> alt_streams;
    MeshBundleMaterial mat;
};

class MeshBundleDescriptor {
public:
    // Buffer order of avatar.bin.
    enum Buffer { VboDyn, BsDeltas, BsAddRanges, BsPaddRanges, VboStatic, Ebo, BufferCount };
    static const char* bufferKey(int buffer); // "ofs_vbo_dyn", ...

    MeshBundleBufferSpan buffers[BufferCount];
    std::vector<MeshBundleDrawCallInfo> drawcalls;

    // Parses `size` bytes of JSON text (need not be terminated). False, with
    // a readable reason in `error` and the descriptor left empty, when the
    // text is not JSON or a member is missing or of the wrong kind.
    bool parse(const char* text, size_t size, std::string& error);
};
