#include "scene/ProjectSnapshot.h"

#include "base/Constants.h"
#include "base/Paths.h"
#include "geometry/ObjMesh.h"
#include "scene/Item_2d.h"
#include "scene/Item_3d.h"
#include "scene/Item_ar.h"
#include "scene/MainDataHolder.h"
#include "scene/ReferenceVertexIndex.h"
#include "scenegraph/GLNode.h"

#include <map>

namespace {

const GLNode* nodeOf(const ObjMesh* mesh) { return mesh ? mesh->node : nullptr; }

Sticker2d stickerOf(const Item_2d& item) {
    Sticker2d s;
    s.name = item.name;
    s.texpath = item.texpath;
    s.flipHorizontal = item.flipHorizontal;
    s.flipVertical = item.flipVertical;
    s.isbackground = item.isbackground;
    s.isfullscreen = item.isfullscreen;
    s.islandscape = item.islandscape;
    s.needtokeepfaceaction = item.needtokeepfaceaction;
    s.fps = item.fps;
    s.triggerStart = item.triggerStart;
    s.triggerEnd = item.triggerEnd;
    s.loopType = item.loopType;
    s.loopcnt = item.loopcnt;
    s.nodetype = item.nodetype;
    s.start_action = item.start_action;
    s.end_action = item.end_action;
    if (const GLNode* node = nodeOf(item.mesh.get())) {
        s.hasNode = true;
        s.translation = node->position();
        s.model = node->localMatrix();
    }
    return s;
}

// Chains and groups as positions in the sticker list; members that are not
// 2D items of this project are dropped.
void linkGroups(std::vector<Sticker2d>& stickers, const std::vector<const Item_2d*>& items) {
    std::map<const Item_2d*, int> position;
    for (size_t i = 0; i < items.size(); ++i)
        position[items[i]] = int(i);
    auto find = [&position](const Item_2d* item) {
        const auto it = position.find(item);
        return it == position.end() ? -1 : it->second;
    };
    for (size_t i = 0; i < items.size(); ++i) {
        for (const Item_2d* next : items[i]->chain) {
            const int p = find(next);
            if (p >= 0)
                stickers[i].chain.push_back(p);
        }
        stickers[i].group = items[i]->group ? find(items[i]->group) : -1;
    }
}

std::shared_ptr<const ObjMesh> copyOrNull(const std::unique_ptr<ObjMesh>& mesh) {
    return mesh ? ProjectSnapshot::packCopy(*mesh) : nullptr;
}

} // namespace

std::shared_ptr<const ObjMesh> ProjectSnapshot::packCopy(const ObjMesh& mesh) {
    auto copy = std::make_shared<ObjMesh>();
    copy->name = mesh.name;
    copy->filePath = mesh.filePath;
    copy->vertices = mesh.vertices;
    copy->normals = mesh.normals;
    copy->texCoords = mesh.texCoords;
    copy->faces = mesh.faces;
    copy->materials.reserve(mesh.materials.size());
    for (const Material& m : mesh.materials) {
        Material plain = m;
        plain.pixels.clear();
        plain.pixels.shrink_to_fit();
        plain.texId.fill(0);
        copy->materials.push_back(std::move(plain));
    }
    return copy;
}

Item3dSnapshot Item3dSnapshot::of(const Item_3d& item) {
    Item3dSnapshot s;
    s.name = item.name;
    s.meshRole = item.meshRole;
    s.eyeMarker = item.eyeMarker;
    s.texname = item.texname;
    s.texpath = item.texpath;
    s.objpath = item.objpath;
    s.objname = item.objname;
    s.weightMapPath = item.weightMapPath;
    s.weightMapName = item.weightMapName;
    s.param = item.param;
    if (item.meshRole == kRoleMeshPart) {
        s.mesh = copyOrNull(item.mesh);
        for (size_t b = 0; b < s.blendshapes.size(); ++b)
            s.blendshapes[b] = copyOrNull(item.blendshapes[b]);
    }
    if (const GLNode* node = nodeOf(item.mesh.get()))
        s.model = node->worldMatrix();
    return s;
}

ProjectSnapshot ProjectSnapshot::capture(const MainDataHolder& holder) {
    ProjectSnapshot snap;
    snap.root = holder.root;
    snap.projectName = holder.projectName;
    snap.projectType = holder.projectType;
    snap.faceActions = holder.faceActions.all();
    snap.globalParams = holder.globalParams;
    snap.materialParams = holder.materialParams;
    std::vector<const Item_2d*> items2d;
    for (const std::unique_ptr<Item>& item : holder.m_lst_items) {
        if (!item)
            continue;
        if (const auto* it = dynamic_cast<const Item_2d*>(item.get()); it && it->type == kItem2d) {
            items2d.push_back(it);
            snap.items2d.push_back(stickerOf(*it));
        } else if (const auto* ar = dynamic_cast<const Item_ar*>(item.get()); ar && ar->type == kItemAr) {
            const GLNode* node = nodeOf(ar->mesh.get());
            snap.itemsAr.push_back(ArItem{ar->name, ar->texname, ar->texpath, node ? node->position().z : 0.0f});
        } else if (const auto* it3 = dynamic_cast<const Item_3d*>(item.get()); it3 && it3->type == kItem3d) {
            snap.items3d.push_back(Item3dSnapshot::of(*it3));
        }
    }
    linkGroups(snap.items2d, items2d);
    snap.locateStickers(holder.referenceVertices);
    return snap;
}

std::string ProjectSnapshot::projectDir() const {
    return pathJoin(root, std::string(lumo::kProjectsFolder) + projectName);
}

void ProjectSnapshot::locateStickers(const ReferenceVertexIndex& referenceVertices) {
    for (Sticker2d& s : items2d) {
        if (s.isfullscreen || s.isbackground || referenceVertices.empty())
            continue;
        const math3d::Vec3& p = s.translation;
        const int found = referenceVertices.nearest({-p.x, p.y, p.z});
        if (found < 0)
            continue;
        const ReferenceVertex& r = referenceVertices.records()[static_cast<size_t>(found)];
        s.nearestVertex = r.index;
        s.nearestVertexPosition = math3d::Vec3(r.x, r.y, r.z);
    }
}
