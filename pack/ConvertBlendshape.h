#pragma once
// Adds one mesh part (a 3D item of a project snapshot, with its ObjMesh) to
// a mesh bundle.

#include "geometry/Math3d.h"

#include <string>
#include <vector>

class CFinalFormat;
struct Item3dSnapshot;
class ObjMesh;
struct MeshPart;
struct MeshCorner;

// Flags of ConvertBlendshape.
enum ConvertFlags : int {
    kConvertAccumulatedRanges = 1, // quantization ranges accumulated over all blendshapes,
                                   // normals computed from the positions (the only mode)
    kConvertNeedNormalMap = 2,     // add the dPds / dPdt tangent streams
};

// Converts item.mesh with `shapes` (47 x vertex count points, block 0 the
// base, block b the offset of blendshape b) into a drawcall of `format`.
// altNames[i] names the stream read from altSources[i]'s texture
// coordinates (indexed like the mesh's own). Polygons become fans of
// triangles; the first face's material (the default material when it has
// none) goes with the drawcall; eyeMarker flags an eye mesh. Nothing is done
// (false) without a mesh, with a shapes array of the wrong size or with
// altNames and altSources of different lengths.
bool ConvertBlendshape(CFinalFormat& format, const Item3dSnapshot& item, const std::vector<math3d::Vec3>& shapes,
                       const std::vector<std::string>& altNames, const std::vector<const ObjMesh*>& altSources,
                       int flags);

// The triangle corners of a mesh's faces: a face of k >= 3 corners becomes
// the triangles (0, i, i + 1); faces of fewer corners are skipped.
std::vector<MeshCorner> triangleCorners(const ObjMesh& mesh);
