#pragma once
// How the main window sets up its three 3D views: view numbers, render
// settings and texture slots, the reference meshes of a project type in the
// shared scene, and the cameras' starting places.

#include <cstdint>

class BaseMeshViewer;

namespace viewsetup {

// Front 1000 (rotate and pan off, wire + faces + smooth + textured, gizmo
// x, y and centre, slot 0), left 1001 (as front with gizmo y, z and centre,
// slot 1), free 1002 (faces + smooth + textured, centre point only, rotate
// and pan on, slot 2). Null views are skipped.
void configureViews(BaseMeshViewer* front, BaseMeshViewer* left, BaseMeshViewer* free);

// Shows the reference meshes of the project type in the shared scene (the
// reference head and the phone for 2D and 3D projects, the avatar head and
// body for avatar projects; the other set is taken out), places the cameras
// at their starting places, refreshes the textures and repaints. Types
// without those flags leave the views alone.
void showProjectType(BaseMeshViewer* front, BaseMeshViewer* left, BaseMeshViewer* free, int32_t type);

} // namespace viewsetup
