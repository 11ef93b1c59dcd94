#pragma once
// The project file Projects/<name>/<name>.lumoproj as a plain description of
// items and attributes, and the one reader and writer of its bytes.
//
// Reading turns bytes into a ProjectDocument (nothing in the scene changes);
// the editor's tree controller applies it through its tree operations, the
// command line through applyTo(). Writing goes the other way: fromScene()
// describes the holder's items in tree order, toBytes() gives the exact file
// text (compact JSON, members in the documented order), save() writes it
// atomically.
//
// Bad input (not JSON, a wrong JSON type in any key, oversized files, group
// counts that run past the end of the 2D list, names that leave Projects/)
// is answered with one console line and a refusal or the missing-key
// defaults; nothing here throws.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class Item;
class Item_2d;
class Item_3d;
class MainDataHolder;

// One template parameter of a 3D entry.
struct ProjectParam {
    std::string name;
    bool isStr = false;
    std::string value;                  // isStr: the string value
    std::optional<std::string> texpath; // isStr: "texpath" (always written when isStr)
    float valuef = 0;                   // !isStr: the numeric value
    bool isTex = false;                 // written; ignored when applied
};

// One 2D item (sticker or group). Keys marked optional are applied only when
// the file holds them; the others read as empty, 0 or false when missing.
struct Project2dEntry {
    std::string itemname;
    std::string texpath; // as stored; see resolveTexPath2d
    bool flipHorizontal = false;
    bool flipVertical = false;
    bool isbackground = false;
    bool isfullscreen = false;
    std::optional<bool> islandscape;
    bool keepratio = false;
    float x = 0, y = 0, z = 0, w = 0, h = 0;
    std::optional<float> fps;
    std::optional<int32_t> triggerStart;
    std::optional<int32_t> triggerEnd;
    std::optional<int32_t> loopType;
    std::optional<int32_t> loopcnt;
    std::optional<std::string> start_action;
    std::optional<std::string> end_action;
    std::optional<bool> needtokeepfaceaction;
    int32_t nodetype = 0; // written; groups are rebuilt from the members list
    // A group's members, in order (read from "childcnt", one level deep).
    // A member's own members are never read; when writing, "childcnt" is
    // the size of this list.
    std::vector<Project2dEntry> members;
    bool hasChildcnt = false; // the entry carried "childcnt" (reading only)
};

struct ProjectArEntry {
    std::string itemname;
    std::string texpath; // used as it stands
};

// One 3D item, or (inside `childs`) one part of its mesh. Parts carry no
// objpath, objname or childs.
struct Project3dEntry {
    std::string itemname; // "Global Params" names the global-parameter item
    std::string objpath;
    std::string objname;
    std::string texpath;
    std::string texname;
    std::string weightMapPath;
    std::string weightMapName;
    float px = 0, py = 0, pz = 0;
    float rx = 0, ry = 0, rz = 0; // Euler angles in degrees
    float sx = 0, sy = 0, sz = 0;
    std::vector<ProjectParam> param;
    std::vector<Project3dEntry> childs;
};

// The scene tree's order and grouping, as the writer needs it: the items
// under each root in tree order, each with the items of its child entries
// (group members under a group, mesh parts under a 3D mesh). Not owning.
struct ProjectTreeNode {
    Item* item = nullptr;
    std::vector<ProjectTreeNode> children;
};
struct ProjectTree {
    std::vector<ProjectTreeNode> items2d;
    std::vector<ProjectTreeNode> itemsAr;
    std::vector<ProjectTreeNode> items3d;
};

class ProjectDocument {
public:
    // Files larger than this are refused unread.
    static constexpr uint64_t kMaxFileBytes = 64ull << 20;
    // Files describing more items, parts and parameter records in total are
    // refused (a real project holds a few thousand at most).
    static constexpr size_t kMaxRecords = 200000;
    // Texts holding more JSON values (objects, arrays, strings, numbers,
    // bools, nulls; keys not counted) are refused before any document is
    // built: a saved record takes at most ~25, so every file within
    // kMaxRecords fits, while a text of tiny values cannot make the parsed
    // document many times larger than the text.
    static constexpr size_t kMaxValues = kMaxRecords * 40;
    static constexpr const char* kGlobalParamsName = "Global Params";

    std::string projectname;
    int32_t projecttype = 0;
    bool has2d = false; // the file held a "2D" array
    bool hasAr = false; // ... an "ARMesh" array
    bool has3d = false; // ... a "3D" array
    std::vector<Project2dEntry> items2d; // top-level 2D entries; groups hold their members
    std::vector<ProjectArEntry> itemsAr;
    std::vector<Project3dEntry> items3d;

    // Parses the file text. expectedName is the file's base name: a
    // "projectname" that is missing, differs from it or could leave the
    // Projects/ folder (empty, ".", "..", a "/" or "\" or NUL in it) is
    // refused, as are texts over kMaxFileBytes, over kMaxValues ("project
    // file has too many values") and files over kMaxRecords.
    // On false, `out` is untouched and `error` (when given) holds the one
    // console line that was traced.
    static bool fromBytes(const std::string& bytes, const std::string& expectedName, ProjectDocument& out,
                          std::string* error = nullptr);
    // Reads the file at path (at most kMaxFileBytes) and parses it with its
    // base name as expectedName.
    static bool fromFile(const std::string& path, ProjectDocument& out, std::string* error = nullptr);

    // The compact JSON text of the file. Entries are written with every key
    // (optional keys that are absent get a new item's defaults); "ARMesh" and
    // "3D" only when not empty.
    std::string toBytes() const;
    // Writes toBytes() to path atomically: on false (with
    // ".lumoproj file can not be write.\n" traced) the previous file is intact.
    bool save(const std::string& path) const;

    // Describes the holder's project: name and type from the holder, the
    // items from the tree in tree order (2D in pre-order with their child
    // counts, 3D with their parts). Items of a kind other than the root's are
    // skipped.
    static ProjectDocument fromScene(const MainDataHolder& holder, const ProjectTree& tree);

    // Creates the items of the document in `holder` (which should hold no
    // project items) the way opening a project in the editor does, attaching
    // their meshes to the shared scene graph, and fills `tree` with their tree
    // order. For a 3D project (type bits 2 or 4) the "Global Params" item is
    // made first when the holder has none. Traces the lines of the editor's
    // open command. Always completes; missing files leave defaults.
    void applyTo(MainDataHolder& holder, ProjectTree& tree) const;

    // Projects/<name>/<name>.lumoproj under root.
    static std::string projectFilePath(const std::string& root, const std::string& name);
    // True when name can be a folder under Projects/ (see fromBytes).
    static bool isSafeProjectName(const std::string& name);
    // A 2D "texpath" as the reader applies it: a leading "." is dropped and
    // the rest joined to root ("./a" gives root + "//a").
    static std::string resolveTexPath2d(const std::string& root, const std::string& texpath);
};

// Makes Projects/<name>/ under the holder's root with zip/, out/, fcopy/,
// build/, build/iOS/ and build/Android/, and makes name the holder's current
// project. False when the name is unsafe, the folder already exists or
// cannot be made (nothing changes then).
bool createProjectFolders(MainDataHolder& holder, const std::string& name);

// The 2D item's texture operation: texname and texpath from path, the quad's
// texture loaded, and (unless full screen) keepratio, ratio, width and height
// from the image. False (texture fields still set) when the image cannot be
// read.
bool applyTexture2d(Item_2d& item, const std::string& path);

// Loads the OBJ at path into the 3D item the way the mesh button does: the
// item becomes a whole mesh with unit transform, each part of the file
// becomes a new part item (kind 3, meshRole 3, named after the part, own
// parameters, blendshapes from <base minus "bs0">bs<i> files when the base
// name holds "bs0") attached below it, and the placeholder quad is hidden.
// The new parts are appended to `parts` in tree order. False (item
// unchanged) when the file cannot be read.
bool loadMeshInto3dItem(MainDataHolder& holder, Item_3d& item, const std::string& path,
                        std::vector<Item_3d*>& parts);

// Sets Item_2d::chain and ::group of every 2D item from the tree: each
// group's members form the ring group -> first member -> ... -> last member
// -> group; items outside groups get an empty chain and no group.
void linkGroupChains(const ProjectTree& tree);

// Detaches every item's mesh from the shared scene graph and deletes every
// item of the holder (the project is empty afterwards).
void clearProjectItems(MainDataHolder& holder);
