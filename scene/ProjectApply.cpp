// Applying a ProjectDocument to MainDataHolder without the editor's tree:
// the items are made, textured, placed and grouped the way opening a project
// in the editor does, through the same item operations.

#include "scene/ProjectDocument.h"

#include "base/Paths.h"
#include "base/Trace.h"
#include "geometry/ObjMesh.h"
#include "images/ResourceManager.h"
#include "scene/Item_2d.h"
#include "scene/Item_3d.h"
#include "scene/Item_ar.h"
#include "scene/MainDataHolder.h"
#include "scene/SplitPath.h"
#include "scenegraph/GLNode.h"
#include "scenegraph/SceneRegistry.h"

#include <algorithm>
#include <memory>

namespace {

constexpr float kNewItemSize = 60.0f;
constexpr const char* kWhiteTexture = "./data/ref/white.png";

void rebuildParamIndex(Item_3d& item) {
    item.paramIndex.clear();
    for (size_t i = 0; i < item.param.size(); ++i)
        item.paramIndex[item.param[i].name] = static_cast<int>(i);
}

// The path an image of the workspace is read from: "./x" is relative to the
// workspace root (the editor's current folder).
std::string workspaceFile(const MainDataHolder& holder, const std::string& path) {
    if (path.size() > 1 && path[0] == '.' && path[1] == '/')
        return pathJoin(holder.root, path.substr(2));
    return path;
}

Item_2d* add2d(MainDataHolder& holder, const std::string& name) {
    auto* item = dynamic_cast<Item_2d*>(holder.createItem(kItem2d));
    if (!item)
        return nullptr;
    item->name = name;
    item->mesh->name = name;
    SceneRegistry::instance().attachToRoot(item->mesh.get());
    item->setWidth(kNewItemSize);
    item->setHeight(kNewItemSize);
    item->setZ(layout2d::kForegroundDepth);
    return item;
}

void apply2d(MainDataHolder& holder, Item_2d& item, const Project2dEntry& e) {
    applyTexture2d(item, ProjectDocument::resolveTexPath2d(holder.root, e.texpath));
    item.keepratio = false;
    item.setFlipHorizontal(e.flipHorizontal);
    item.setFlipVertical(e.flipVertical);
    item.setBackground(e.isbackground);
    item.setFullscreen(e.isfullscreen);
    if (e.islandscape)
        item.setLandscape(*e.islandscape);
    item.setX(e.x);
    item.setY(e.y);
    item.setZ(e.z);
    item.setHeight(e.h);
    item.setWidth(e.w);
    item.keepratio = e.keepratio;
    if (e.fps)
        item.fps = *e.fps;
    if (e.triggerStart)
        item.triggerStart = *e.triggerStart;
    if (e.triggerEnd)
        item.triggerEnd = *e.triggerEnd;
    if (e.loopType)
        item.loopType = *e.loopType;
    if (e.loopcnt)
        item.loopcnt = *e.loopcnt;
    if (e.start_action)
        item.setStartAction(*e.start_action);
    if (e.end_action)
        item.setEndAction(*e.end_action);
    if (e.needtokeepfaceaction)
        item.needtokeepfaceaction = *e.needtokeepfaceaction;
}

void setQuadVisible(Item_2d& item, bool visible) {
    if (item.mesh)
        item.mesh->visible = visible;
}

Item_3d* add3d(MainDataHolder& holder, const std::string& name) {
    auto* item = dynamic_cast<Item_3d*>(holder.createItem(kItem3d));
    if (!item)
        return nullptr;
    item->name = name;
    item->mesh->name = name;
    SceneRegistry::instance().attachToRoot(item->mesh.get());
    if (holder.projectType & kProject3d)
        item->setScale(kNewItemSize, kNewItemSize, kNewItemSize);
    else if (holder.projectType & kProjectP2a)
        item->setScale(0.5f, 0.5f, 0.5f);
    item->param = holder.materialParams;
    rebuildParamIndex(*item);
    return item;
}

Item_3d* findGlobalParams(MainDataHolder& holder) {
    for (const std::unique_ptr<Item>& p : holder.m_lst_items)
        if (auto* item = dynamic_cast<Item_3d*>(p.get()))
            if (item->meshRole == kRoleGlobalParams && item->name == ProjectDocument::kGlobalParamsName)
                return item;
    return nullptr;
}

Item_3d* makeGlobalParams(MainDataHolder& holder) {
    Item_3d* item = add3d(holder, ProjectDocument::kGlobalParamsName);
    if (!item)
        return nullptr;
    item->mesh->visible = false;
    item->mesh->pickable = false;
    item->meshRole = kRoleGlobalParams;
    item->param = holder.globalParams;
    rebuildParamIndex(*item);
    return item;
}

// The 3D texture operation: the mesh shows the file, texname is its file
// name with extension, texpath the path.
void applyTexture3d(const MainDataHolder& holder, Item_3d& item, const std::string& path) {
    if (item.mesh)
        item.mesh->loadTexture(workspaceFile(holder, path));
    const PathParts parts = splitPath(path);
    item.setTexName(parts.base + parts.ext);
    item.texpath = path;
}

// Texture, weight map, transform and parameters of a 3D entry or part.
// A stored "texname" is kept: the texture operation names the file with its
// extension, while new items carry the base name only, and a reopened
// project must not differ from the one saved.
void apply3dAttributes(const MainDataHolder& holder, Item_3d& item, const Project3dEntry& e) {
    if (!e.texpath.empty())
        applyTexture3d(holder, item, e.texpath);
    if (!e.texname.empty())
        item.setTexName(e.texname);
    item.setWeightMapPath(e.weightMapPath);
    item.setWeightMapName(e.weightMapName);
    item.setTranslation(e.px, e.py, e.pz);
    item.setRotation(e.rx, e.ry, e.rz);
    item.setScale(e.sx, e.sy, e.sz);
    for (const ProjectParam& p : e.param) {
        const auto found = item.paramIndex.find(p.name);
        if (found == item.paramIndex.end() || found->second < 0 ||
            static_cast<size_t>(found->second) >= item.param.size())
            continue;
        TemplateParam& target = item.param[static_cast<size_t>(found->second)];
        if (p.isStr) {
            target.values = p.value;
            if (p.texpath)
                target.texPath = *p.texpath;
        } else {
            target.valuef = p.valuef;
        }
    }
}

void applyMesh(MainDataHolder& holder, Item_3d& item, const Project3dEntry& e, ProjectTreeNode& node) {
    std::string objpath = e.objpath;
    if (!fileExists(objpath)) {
        Trace::out("lumoproj::%s file not exist\n", objpath.c_str());
        objpath = pathJoin(holder.root, objpath);
        if (!fileExists(objpath))
            Trace::out("absolute path %s file not exist\n", objpath.c_str());
    }
    if (objpath.find(".obj") == std::string::npos)
        return;
    std::vector<Item_3d*> parts;
    loadMeshInto3dItem(holder, item, objpath, parts);
    for (Item_3d* part : parts)
        node.children.push_back({part, {}});
}

// Applies part entries to the item's own parts, matched by name (each part
// at most once), so two meshes with equally named parts stay apart.
void applyParts(const MainDataHolder& holder, const Project3dEntry& e, ProjectTreeNode& node) {
    std::vector<bool> used(node.children.size(), false);
    for (const Project3dEntry& partEntry : e.childs) {
        for (size_t k = 0; k < node.children.size(); ++k) {
            auto* part = dynamic_cast<Item_3d*>(node.children[k].item);
            if (used[k] || !part || part->name != partEntry.itemname)
                continue;
            used[k] = true;
            apply3dAttributes(holder, *part, partEntry);
            break;
        }
    }
}

std::vector<std::unique_ptr<ObjMesh>> readParts(const std::string& path) {
    std::vector<ObjMesh*> raw;
    const int ok = ResourceManager::loadObjGroups(path, false, raw);
    std::vector<std::unique_ptr<ObjMesh>> parts;
    for (ObjMesh* m : raw)
        parts.emplace_back(m);
    if (!ok)
        parts.clear();
    return parts;
}

std::string partTexture(const ObjMesh& mesh) {
    for (const Material& m : mesh.materials)
        if (!m.textureFile.empty())
            return m.textureFile;
    return kWhiteTexture;
}

} // namespace

bool applyTexture2d(Item_2d& item, const std::string& path) {
    const PathParts parts = splitPath(path);
    item.texname = parts.base;
    item.texpath = path;
    if (item.mesh)
        item.mesh->loadTexture(path);
    const TextureEntry* image = ResourceManager::instance()->find(path);
    if (!image || image->width <= 0 || image->height <= 0) {
        Trace::out("can not load img\n");
        return false;
    }
    if (!item.isfullscreen) {
        item.keepratio = true;
        item.ratio = float(image->height) / float(image->width);
        item.setWidth(float(image->width));
        item.setHeight(float(image->height));
    }
    return true;
}

bool loadMeshInto3dItem(MainDataHolder& holder, Item_3d& item, const std::string& path,
                        std::vector<Item_3d*>& parts) {
    Trace::out("new mesh path:%s\n", path.c_str());
    std::vector<std::unique_ptr<ObjMesh>> main = readParts(path);
    if (main.empty())
        return false;
    const PathParts file = splitPath(path);
    std::vector<std::vector<std::unique_ptr<ObjMesh>>> shapes(Item_3d::kBlendshapeCount);
    if (file.base.find("bs0") != std::string::npos && file.base.size() >= 3) {
        Trace::out("load blendshape\n");
        const std::string stem = file.folder + file.base.substr(0, file.base.size() - 3) + "bs";
        for (int i = 0; i < Item_3d::kBlendshapeCount; ++i) {
            const std::string candidate = stem + std::to_string(i) + file.ext;
            Trace::out("bspath %d :%s\n", i, candidate.c_str());
            if (!fileExists(candidate)) {
                Trace::out("blendshape not exist\n");
                continue;
            }
            Trace::out("blendshape exist\n");
            shapes[size_t(i)] = readParts(candidate);
        }
    }
    item.meshRole = kRoleWholeMesh;
    Trace::out("add node to scene\n");
    item.setScale(1, 1, 1);
    item.setTranslation(0, 0, 0);
    item.setRotation(0, 0, 0);

    for (size_t k = main.size(); k-- > 0;) {
        if (main[k]->vertices.empty() || main[k]->faces.empty())
            continue;
        Trace::out("add node %s to scene begin\n", main[k]->name.c_str());
        auto* part = dynamic_cast<Item_3d*>(holder.createItem(kItem3d));
        if (!part)
            continue;
        part->meshRole = kRoleMeshPart;
        part->name = main[k]->name;
        part->mesh = std::move(main[k]);
        const std::string texture = partTexture(*part->mesh);
        part->param = holder.materialParams;
        applyTexture3d(holder, *part, texture);
        const PathParts tex = splitPath(texture);
        for (TemplateParam& p : part->param)
            if (p.isTex) {
                p.values = tex.base + tex.ext;
                p.texPath = texture;
            }
        rebuildParamIndex(*part);
        for (size_t i = 0; i < shapes.size(); ++i)
            if (shapes[i].size() == main.size() && shapes[i][k])
                part->blendshapes[i] = std::move(shapes[i][k]);
        SceneRegistry::instance().attachToParent(item.mesh.get(), part->mesh.get());
        parts.push_back(part);
    }
    if (item.mesh) {
        item.mesh->visible = false;
        item.mesh->name = item.name;
    }
    item.objname = file.base;
    item.objpath = path;
    return true;
}

void ProjectDocument::applyTo(MainDataHolder& holder, ProjectTree& tree) const {
    holder.projectName = projectname;

    if (!has2d)
        Trace::out("2D list is null\n");
    for (const Project2dEntry& e : items2d) {
        Item_2d* item = add2d(holder, e.itemname);
        if (!item) {
            Trace::out("nullptr\n");
            continue;
        }
        apply2d(holder, *item, e);
        ProjectTreeNode node{item, {}};
        if (e.hasChildcnt)
            Trace::out("group name:%s,childcnt:%d\n", e.itemname.c_str(), int(e.members.size()));
        for (size_t k = 0; k < e.members.size(); ++k) {
            Item_2d* member = add2d(holder, e.members[k].itemname);
            if (!member) {
                Trace::out("nullptr\n");
                continue;
            }
            apply2d(holder, *member, e.members[k]);
            member->nodetype = kNodeMember;
            setQuadVisible(*member, true);
            node.children.push_back({member, {}});
        }
        if (!node.children.empty()) {
            item->nodetype = kNodeGroup;
            setQuadVisible(*item, false);
            // The last member ends the group's ring.
            static_cast<Item_2d*>(node.children.back().item)->nodetype = kNodeLastMember;
        }
        tree.items2d.push_back(std::move(node));
    }

    if (!hasAr)
        Trace::out("ar list is null\n");
    for (const ProjectArEntry& e : itemsAr) {
        Trace::out("add ar mesh\n");
        auto* item = dynamic_cast<Item_ar*>(holder.createItem(kItemAr));
        if (!item) {
            Trace::out("nullptr\n");
            continue;
        }
        Trace::out("itemname:%s\n", e.itemname.c_str());
        item->name = e.itemname;
        GLNode* node = SceneRegistry::instance().attachToRoot(item->mesh.get());
        item->mesh->loadTexture(e.texpath);
        item->texname = splitPath(e.texpath).base;
        item->texpath = e.texpath;
        if (node)
            node->setPosition({0, 0, 2.0f * float(tree.itemsAr.size() + 1)});
        tree.itemsAr.push_back({item, {}});
    }

    if ((holder.projectType & (kProject3d | kProjectP2a)) && !findGlobalParams(holder))
        if (Item_3d* global = makeGlobalParams(holder))
            tree.items3d.push_back({global, {}});
    if (!has3d)
        Trace::out("ar list is null\n");
    for (const Project3dEntry& e : items3d) {
        const bool global = e.itemname == kGlobalParamsName;
        Item_3d* item = global ? findGlobalParams(holder) : add3d(holder, e.itemname);
        if (!item) {
            Trace::out("nullptr\n");
            continue;
        }
        ProjectTreeNode fresh{item, {}};
        ProjectTreeNode* node = &fresh;
        for (ProjectTreeNode& existing : tree.items3d)
            if (existing.item == item)
                node = &existing;
        applyMesh(holder, *item, e, *node);
        apply3dAttributes(holder, *item, e);
        applyParts(holder, e, *node);
        if (node == &fresh)
            tree.items3d.push_back(std::move(fresh));
    }
}

void linkGroupChains(const ProjectTree& tree) {
    for (const ProjectTreeNode& node : tree.items2d) {
        auto* group = dynamic_cast<Item_2d*>(node.item);
        if (!group)
            continue;
        group->chain.clear();
        group->group = nullptr;
        std::vector<Item_2d*> members;
        for (const ProjectTreeNode& child : node.children)
            if (auto* m = dynamic_cast<Item_2d*>(child.item))
                members.push_back(m);
        if (members.empty())
            continue;
        group->chain.push_back(members.front());
        for (size_t k = 0; k < members.size(); ++k) {
            members[k]->group = group;
            members[k]->chain = {k + 1 < members.size() ? members[k + 1] : group};
        }
    }
}

void clearProjectItems(MainDataHolder& holder) {
    SceneRegistry& scene = SceneRegistry::instance();
    scene.clearSelection();
    // Parts hang below their whole mesh's node: detach them first.
    for (int pass = 0; pass < 2; ++pass)
        for (const std::unique_ptr<Item>& p : holder.m_lst_items) {
            ObjMesh* mesh = nullptr;
            bool isPart = false;
            if (auto* i2 = dynamic_cast<Item_2d*>(p.get()))
                mesh = i2->mesh.get();
            else if (auto* ia = dynamic_cast<Item_ar*>(p.get()))
                mesh = ia->mesh.get();
            else if (auto* i3 = dynamic_cast<Item_3d*>(p.get())) {
                mesh = i3->mesh.get();
                isPart = i3->meshRole == kRoleMeshPart;
            }
            if (mesh && mesh->node && isPart == (pass == 0))
                scene.detachMesh(mesh);
        }
    while (!holder.m_lst_items.empty())
        holder.deleteItem(holder.m_lst_items.back().get());
}
