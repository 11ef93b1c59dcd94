#include "scene/MainDataHolder.h"

#include "base/Paths.h"
#include "base/SharedInstance.h"
#include "base/Trace.h"
#include "base/WholeFile.h"
#include "geometry/ObjMesh.h"
#include "images/ImageBuffer.h"
#include "scene/Item_2d.h"
#include "scene/Item_3d.h"
#include "scene/Item_ar.h"
#include "scene/SplitPath.h"
#include "scenegraph/GLNode.h"

#include <algorithm>
#include <mutex>

namespace {

// Render-mode bits the reference meshes always draw with.
constexpr int32_t kReferenceDrawMode = 0xE4; // faces, smooth, textured, lighting
constexpr int32_t kPhoneDrawMode = 0x64;     // faces, smooth, textured
// Template scripts are small; anything larger is refused rather than read.
constexpr uint64_t kMaxTemplateBytes = 16 * 1024 * 1024;

void reportMissingMesh(const std::string& path) {
    Trace::out("can not load obj path:%s", path.c_str());
    Trace::out("\n");
}

bool loadMesh(ObjMesh& mesh, const std::string& path) {
    if (mesh.loadObj(path, false, false) != 0)
        return true;
    reportMissingMesh(path);
    return false;
}

void drawAsReference(ObjMesh& mesh, int32_t mode) {
    mesh.modeOverride = true;
    mesh.modeOverrideValue = mode;
    mesh.pickable = false;
}

// A copy of `source` for a new item, or null ("can not creat quad") when the
// reference mesh was never loaded.
std::unique_ptr<ObjMesh> copyReference(const ObjMesh& source) {
    if (source.vertices.empty() || source.faces.empty()) {
        Trace::out("can not creat quad");
        Trace::out("\n");
        return nullptr;
    }
    std::unique_ptr<ObjMesh> copy(new ObjMesh(source));
    copy->uploadTextures();
    return copy;
}

// A new item of class T holding a copy of `source` as its mesh, or null when
// the copy cannot be made.
template <class T>
std::unique_ptr<T> itemWithCopyOf(const ObjMesh& source) {
    std::unique_ptr<ObjMesh> mesh = copyReference(source);
    if (!mesh)
        return nullptr;
    std::unique_ptr<T> item(new T);
    item->mesh = std::move(mesh);
    return item;
}

} // namespace

std::shared_ptr<MainDataHolder> MainDataHolder::instance() {
    static std::shared_ptr<MainDataHolder> slot;
    static std::mutex mutex;
    return sharedInstance(slot, mutex, [] {
        Trace::out("creat MainDataHolder\n");
        return new MainDataHolder();
    });
}

MainDataHolder::MainDataHolder()
    : referenceHead(new ObjMesh), phoneMesh(new ObjMesh), templateQuad(new ObjMesh), avatarHead(new ObjMesh),
      avatarBody(new ObjMesh), previewPicture(new ImageBuffer) {}

MainDataHolder::~MainDataHolder() = default;

bool MainDataHolder::init(const std::string& rootDir) {
    // Both meshes every item is made from load first; the holder takes the
    // new root, its paths and the meshes only once both loads succeeded, so
    // a failed init leaves it as it was.
    const std::string data = rootDir + "/data";
    const std::string headPath = data + "/ref/ar_demo3.obj";
    std::unique_ptr<ObjMesh> head(new ObjMesh), quad(new ObjMesh);
    if (!loadMesh(*head, headPath) || !loadMesh(*quad, data + "/ref/reference_quad.obj"))
        return false;
    root = rootDir;
    dataDir = data;
    projectsDir = root + "/Projects";
    referenceHeadPath = headPath;
    defaultArTexture = dataDir + "/ref/default_ar.png";
    default2dFrame = dataDir + "/ref/default_00000.png";
    templatePath = dataDir + "/tools/3d_template/script.js";
    referenceHead = std::move(head);
    templateQuad = std::move(quad);
    referenceHead->name = "reference_head";
    drawAsReference(*referenceHead, kReferenceDrawMode);
    buildReferenceVertices();
    templateQuad->name = "2d_template";
    setUpPhoneAndPreview();
    loadAvatarMeshes();
    return true;
}

void MainDataHolder::buildReferenceVertices() {
    std::vector<ReferenceVertex> records;
    records.reserve(referenceHead->vertices.size());
    for (size_t i = 0; i < referenceHead->vertices.size(); ++i) {
        const math3d::Vec3& v = referenceHead->vertices[i];
        records.push_back({static_cast<int32_t>(i), v.x, v.y, v.z});
    }
    referenceVertices.build(std::move(records));
}

void MainDataHolder::setUpPhoneAndPreview() {
    phoneMesh.reset(new ObjMesh(*templateQuad));
    phoneMesh->name = "phone";
    phoneMesh->modeOverride = true;
    phoneMesh->modeOverrideValue = kPhoneDrawMode;
    phoneMesh->loadTexture(dataDir + "/ref/phone2.png");
    phoneMesh->pickable = false;
    const std::string texture = phoneMesh->materials.empty() ? std::string() : phoneMesh->materials[0].textureFile;
    Trace::out("m_ref_phone:%s\n%s\n", texture.c_str(), phoneMesh->mtlFile.c_str());

    if (!previewPicture->imread(dataDir + "/ref/phonevexa.png")) {
        Trace::out("vexa phone can't load\n");
        previewPicture->release();
    }
    previewPicture->flipVertical();
}

void MainDataHolder::loadAvatarMeshes() {
    if (!loadMesh(*avatarHead, dataDir + "/ref/p2a_headMale.obj"))
        return;
    if (!loadMesh(*avatarBody, dataDir + "/ref/p2a_bodyMale.obj"))
        return;
    drawAsReference(*avatarHead, kReferenceDrawMode);
    drawAsReference(*avatarBody, kReferenceDrawMode);
}

bool MainDataHolder::parseTemplate() {
    Trace::out("\nMainDataHolder::parseTemplate\n");
    Trace::out("template path:%s\n", templatePath.c_str());
    std::string text;
    const bool read = !templatePath.empty() && readWholeFile(templatePath, text, kMaxTemplateBytes);
    if (!read)
        Trace::out("template file missing, too large or unreadable:%s\n", templatePath.c_str());
    parseTemplateText(text, templatePath);
    return read;
}

void MainDataHolder::parseTemplateText(const std::string& text, const std::string& templateFile) {
    scanTemplateDeclarations(text, globalParams, materialParams);
    const std::string folder = splitPath(templateFile).folder;
    for (std::vector<TemplateParam>* list : {&globalParams, &materialParams})
        for (TemplateParam& p : *list)
            if (p.type == "texture")
                p.texPath = folder + p.values;
    Trace::out(" MainDataHolder::parseTemplate end\n");
}

bool MainDataHolder::loadFaceActions() {
    Trace::out("MainDataHolder::loadFaceActions begin\n");
    const std::string path = pathJoin(dataDir, "tools/actions.json");
    Trace::out("actionfile:%s\n", path.c_str());
    if (!faceActions.loadFromFile(path))
        return false;
    Trace::out("MainDataHolder::loadFaceActions end\n");
    return true;
}

bool MainDataHolder::loadFaceActionsFromBytes(const std::string& bytes) {
    Trace::out("MainDataHolder::loadFaceActions begin\n");
    if (!faceActions.loadFromBytes(bytes))
        return false;
    Trace::out("MainDataHolder::loadFaceActions end\n");
    return true;
}

std::vector<std::string> MainDataHolder::faceActionChoices() const {
    std::vector<std::string> choices{"null"};
    for (const FaceAction& a : faceActions.all())
        choices.push_back(a.name);
    return choices;
}

int MainDataHolder::nearestReferenceVertex(const Item* item, math3d::Vec3& position) const {
    const Item_2d* item2d = (item && item->type == kItem2d) ? dynamic_cast<const Item_2d*>(item) : nullptr;
    if (!item2d || referenceVertices.empty())
        return -1;
    const math3d::Vec3 p = item2d->getPosition();
    const int found = referenceVertices.nearest({-p.x, p.y, p.z});
    if (found < 0)
        return -1;
    const ReferenceVertex& r = referenceVertices.records()[static_cast<size_t>(found)];
    position = math3d::Vec3(r.x, r.y, r.z);
    return r.index;
}

Item* MainDataHolder::createItem(int kind) {
    Trace::out("MainDataHolder::createItem\n");
    std::unique_ptr<Item> item;
    switch (kind) {
    case kItem2d:
        item = create2dItem();
        break;
    case kItemAr:
        item = createArItem();
        break;
    case kItem3d:
        item = create3dItem();
        break;
    default:
        return nullptr;
    }
    if (!item)
        return nullptr;
    item->type = kind;
    m_lst_items.push_back(std::move(item));
    Trace::out("m_lst_items.size:%d\n", static_cast<int>(m_lst_items.size()));
    return m_lst_items.back().get();
}

std::unique_ptr<Item> MainDataHolder::create2dItem() const {
    std::unique_ptr<Item_2d> item = itemWithCopyOf<Item_2d>(*templateQuad);
    if (!item)
        return nullptr;
    item->ratio = 1.0f;
    Trace::out("material[0] ratio:%f\n", item->ratio);
    item->keepratio = true;
    item->fps = 20.0f;
    item->texpath = default2dFrame;
    item->texname = splitPath(default2dFrame).base;
    return item;
}

std::unique_ptr<Item> MainDataHolder::createArItem() const {
    std::unique_ptr<Item_ar> item = itemWithCopyOf<Item_ar>(*referenceHead);
    if (!item)
        return nullptr;
    item->mesh->loadTexture(defaultArTexture);
    item->mesh->pickable = false;
    item->texname = splitPath(defaultArTexture).base;
    item->texpath = defaultArTexture;
    return item;
}

std::unique_ptr<Item> MainDataHolder::create3dItem() const {
    std::unique_ptr<Item_3d> item = itemWithCopyOf<Item_3d>(*templateQuad);
    if (!item)
        return nullptr;
    item->texpath = default2dFrame;
    const PathParts frame = splitPath(default2dFrame);
    item->setTexName(frame.base);
    item->weightMapPath = pathJoin(frame.folder, "DefaultWeight.png");
    item->weightMapName = "DefaultWeight";
    return item;
}

bool MainDataHolder::deleteItem(Item* item) {
    auto it = std::find_if(m_lst_items.begin(), m_lst_items.end(),
                           [item](const std::unique_ptr<Item>& p) { return p.get() == item; });
    if (it == m_lst_items.end() || !item)
        return false;
    m_lst_items.erase(it);
    Trace::out("m_lst_items.size:%d\n", static_cast<int>(m_lst_items.size()));
    return true;
}
