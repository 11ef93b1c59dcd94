#include "viewer/ViewSetup.h"

#include "geometry/ObjMesh.h"
#include "scene/MainDataHolder.h"
#include "scenegraph/SceneRegistry.h"
#include "viewer/BaseMeshViewer.h"

namespace viewsetup {

void configureViews(BaseMeshViewer* front, BaseMeshViewer* left, BaseMeshViewer* free) {
    if (front) {
        front->viewNumber = 1000;
        front->rotateEnabled = front->panEnabled = false;
        front->renderMode = 0x66;
        front->axisMask = 0xB;
        front->contextIndex = 0;
    }
    if (left) {
        left->viewNumber = 1001;
        left->rotateEnabled = left->panEnabled = false;
        left->renderMode = 0x66;
        left->axisMask = 0xE;
        left->contextIndex = 1;
    }
    if (free) {
        free->viewNumber = 1002;
        free->rotateEnabled = free->panEnabled = true;
        free->renderMode = 0x64;
        free->axisMask = 0x8;
        free->contextIndex = 2;
    }
}

void showProjectType(BaseMeshViewer* front, BaseMeshViewer* left, BaseMeshViewer* free, int32_t type) {
    std::shared_ptr<MainDataHolder> holder = MainDataHolder::instance();
    SceneRegistry& scene = SceneRegistry::instance();
    const bool faceEffect = (type & (kProject2d | kProject3d)) != 0;
    const bool avatar = !faceEffect && (type & kProjectP2a) != 0;
    if (!faceEffect && !avatar)
        return;
    ObjMesh* faceSet[] = {holder->referenceHead.get(), holder->phoneMesh.get()};
    ObjMesh* avatarSet[] = {holder->avatarHead.get(), holder->avatarBody.get()};
    for (ObjMesh* m : faceEffect ? avatarSet : faceSet)
        if (m && m->node)
            scene.detachMesh(m);
    for (ObjMesh* m : faceEffect ? faceSet : avatarSet)
        if (m && !m->node)
            scene.attachToRoot(m);
    const float d = faceEffect ? 4.0f : 13.0f;
    const math3d::Vec3 offsets[3] = {{0, 0, d}, {-d, 0, 0}, {0, 0, faceEffect ? 12.0f : 13.0f}};
    BaseMeshViewer* views[3] = {front, left, free};
    for (int i = 0; i < 3; ++i) {
        if (!views[i])
            continue;
        views[i]->resetView();
        views[i]->setCameraOffset(offsets[i]);
        views[i]->updateAllMat();
    }
}

} // namespace viewsetup
