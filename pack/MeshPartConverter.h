#pragma once
// Converts one mesh part into a drawcall of a CFinalFormat, appending to its
// buffers: the stages of CFinalFormat::ConvertBlendshape. Used once per part
// and then dropped.

#include "pack/CFinalFormat.h"
#include "pack/DeltaRanges.h"
#include "pack/Quantizer.h"
#include "pack/ShapeStatistics.h"
#include "pack/VertexSplit.h"

#include <memory>
#include <vector>

class NormalBuilder;

class MeshPartConverter {
public:
    // part must have shapes, vertexCount > 0 and corners (checked by the caller).
    MeshPartConverter(const MeshPart& part, CFinalFormat& format);
    ~MeshPartConverter();

    // Runs every stage; false when the part has no triangle left after
    // dropping those with a position index outside [0, n).
    bool run(bool withTangents);

private:
    bool cornerValid(const MeshCorner& c) const;
    bool collectTriangles();
    void reserveOutput(bool dynamic);
    void computeCenter(float center[3]) const;
    Quantizer makeQuantizer() const;
    void shuffleBase(const Quantizer& q);
    void writeAltStreams(DrawCall& dc);
    void writeTangents(DrawCall& dc);
    void writeDynamic(DrawCall& dc, const Quantizer& q);
    // Blendshape b's delta ranges (DeltaRanges over the drawcall's vertices).
    void writeBlendshapeRanges(int b, const std::vector<DeltaRanges::Range>& ranges, const Quantizer& q,
                               uint32_t ofsPN);
    void writeStatic(DrawCall& dc);
    void writeTexCoords(DrawCall& dc);
    void writeIndices(DrawCall& dc);
    void finishDrawCall(DrawCall& dc, const Quantizer& q);
    float readTexCoord(const float* st, size_t count, int32_t t, int component) const;

    const MeshPart& m_part;
    CFinalFormat& m_format;
    size_t m_n;
    const MeshCorner* m_tri = nullptr;     // the triangles used: the part's own or m_filtered
    size_t m_triCount = 0;
    LargeVector<MeshCorner> m_filtered;    // valid triangles, texture index -1 when out of range
    ShapeStatistics m_stats;
    VertexSplit m_split;
    std::unique_ptr<NormalBuilder> m_normals;
    LargeVector<int16_t> m_baseQ;          // 6 per output vertex
};
