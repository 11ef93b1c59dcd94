#pragma once
// The one process-wide holder of what the editor shares beyond a single
// project: workspace paths, the reference meshes new items are built from,
// the template parameters, the face-action table, every live scene item and
// the current project's name, type and preview orientation.
//
// Start-up order: instance() -> init(root) -> parseTemplate() ->
// loadFaceActions(). Everything runs on the GUI thread; only the first
// creation in instance() is locked.

#include "geometry/Math3d.h"
#include "scene/FaceActions.h"
#include "scene/ReferenceVertexIndex.h"
#include "scene/TemplateParam.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class Item;
class ObjMesh;
class ImageBuffer;

// Project type bits (each tested on its own).
enum ProjectTypeFlag : int32_t {
    kProject2d = 1,
    kProject3d = 2,
    kProjectP2a = 4, // avatar
    kProjectFilter = 8,
};

class MainDataHolder {
public:
    // The process-wide holder, created on first use (under a mutex with a
    // second check inside it; traces "creat MainDataHolder"). Take a handle for
    // the duration of one operation.
    static std::shared_ptr<MainDataHolder> instance();

    // A separate holder (tests); the editor uses instance().
    MainDataHolder();
    // Releases lists and meshes, and the items still in m_lst_items.
    ~MainDataHolder();
    MainDataHolder(const MainDataHolder&) = delete;
    MainDataHolder& operator=(const MainDataHolder&) = delete;

    // Loads the reference data under root + "/data" (root without trailing
    // separator). False with "can not load obj path:%s" when the reference
    // head or the template quad cannot be loaded: the holder is then left as
    // it was, paths and meshes included (empty paths, and -1 from
    // nearestReferenceVertex, before a first successful init). A missing
    // phone picture ("vexa phone can't load\n") or avatar mesh is reported
    // but not fatal.
    bool init(const std::string& root);

    // Appends the declarations of the template script at templatePath to
    // globalParams / materialParams (not cleared first) and sets texPath of
    // every "texture" parameter. True when the script was read (with or
    // without declarations); false, with a console line and no parameters,
    // when templatePath is empty or names no readable regular file of at most
    // 16 MiB. The editor starts either way.
    bool parseTemplate();
    // As parseTemplate, with the script text given; `templateFile` is the path
    // whose folder prefixes texture defaults.
    void parseTemplateText(const std::string& text, const std::string& templateFile);

    // Reloads data/tools/actions.json (see FaceActions::loadFromBytes for the
    // outcomes). On false the attribute panel's lists must be left alone.
    bool loadFaceActions();
    // As loadFaceActions, with the file's bytes given.
    bool loadFaceActionsFromBytes(const std::string& bytes);
    // The table, in file order; name/condition are empty out of range.
    int actionCount() const { return faceActions.count(); }
    std::string actionName(int i) const { return faceActions.name(i); }
    std::string actionCondition(int i) const { return faceActions.condition(i); }
    // The entries of a face-action choice list: "null" (no action), then
    // every action name in table order (untranslated).
    std::vector<std::string> faceActionChoices() const;

    // Index of the reference-head vertex nearest to the 2D item's node
    // position mirrored in x (query (-x, y, z); (0, 0, 0) without mesh or
    // node), its position written to `position`. -1 with `position` untouched
    // for a null item, an item of another kind, or before a successful init.
    int nearestReferenceVertex(const Item* item, math3d::Vec3& position) const;

    // Makes an item of kind 1 (2D), 2 (AR) or 3 (3D) with its mesh and default
    // texture and appends it to m_lst_items; the holder owns it. Null (with
    // "can not creat quad" when the reference mesh is missing) for other kinds
    // or when the mesh cannot be made; m_lst_items is then unchanged.
    Item* createItem(int kind);
    // Destroys `item` if it is in m_lst_items and removes it (traces
    // "m_lst_items.size:%d\n"); false and nothing changed otherwise.
    bool deleteItem(Item* item);

    // Fields, in the order the editor documents them.
    std::string root;
    std::string dataDir;           // root + "/data"
    std::string projectsDir;       // root + "/Projects"
    std::string templatePath;      // dataDir + "/tools/3d_template/script.js"
    std::string referenceHeadPath; // dataDir + "/ref/ar_demo3.obj"
    std::string defaultArTexture;  // dataDir + "/ref/default_ar.png"
    std::string default2dFrame;    // dataDir + "/ref/default_00000.png"
    std::string projectName = "default";
    FaceActions faceActions;
    std::unique_ptr<ObjMesh> referenceHead; // never null; "reference_head"
    ReferenceVertexIndex referenceVertices; // one record per vertex of referenceHead
    std::unique_ptr<ObjMesh> phoneMesh;     // never null; "phone", textured with phone2.png
    std::unique_ptr<ObjMesh> templateQuad;  // never null; "2d_template"
    std::unique_ptr<ObjMesh> avatarHead;    // never null
    std::unique_ptr<ObjMesh> avatarBody;    // never null
    std::vector<std::unique_ptr<Item>> m_lst_items; // every live item, owned
    std::vector<TemplateParam> globalParams;   // @gparam declarations, file order
    std::vector<TemplateParam> materialParams; // @mparam declarations, file order
    int32_t projectType = kProject2d;
    int32_t orientation = 0; // preview: 0 portrait, 1 landscape
    std::unique_ptr<ImageBuffer> previewPicture; // never null; phonevexa.png, rows top-down

private:
    void setUpPhoneAndPreview();
    void loadAvatarMeshes();
    void buildReferenceVertices();
    std::unique_ptr<Item> create2dItem() const;
    std::unique_ptr<Item> createArItem() const;
    std::unique_ptr<Item> create3dItem() const;
};
