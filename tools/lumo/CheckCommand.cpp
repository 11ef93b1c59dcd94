// lumo check: reads a project and reports every file the pack would miss or
// fail to read, every gap in a frame sequence, every face action the table
// does not know and every trigger combination the attribute panel forbids.

#include "tools/lumo/CliSupport.h"

#include "base/Paths.h"
#include "base/Trace.h"
#include "geometry/ObjMesh.h"
#include "images/ImageBuffer.h"
#include "images/ResourceManager.h"
#include "pack/FrameSequence.h"
#include "scene/FaceActions.h"
#include "scene/Item_2d.h"
#include "scene/Item_3d.h"
#include "scene/SplitPath.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <memory>
#include <set>

using namespace lumo_cli;

namespace {

const char* kHelp =
    "usage: lumo check <project.lumoproj> [--root DIR] [--json] [--verbose]\n"
    "\n"
    "Reads the project and reports, with item name and file:\n"
    "  missing-texture, unreadable-texture   2D frames, AR, 3D, part, weight-map and\n"
    "                                        parameter textures\n"
    "  bad-texture-name                      a 2D texture not named <name>_00000.<ext>\n"
    "  sequence-gap                          frames after a missing frame (never packed)\n"
    "  missing-mesh, unreadable-mesh         3D OBJ files\n"
    "  missing-blendshape, unreadable-blendshape\n"
    "                                        <base>bs<i> files below the highest present,\n"
    "                                        or with another part count than the mesh\n"
    "  unknown-face-action                   an action not in data/tools/actions.json\n"
    "  bad-trigger                           a trigger combination the editor forbids\n"
    "The workspace root defaults to three folders above the project file.\n"
    "Exit status: 0 no problem, 1 problems (or the project cannot be read), 2 usage.";

struct Problem {
    std::string kind, item, file, message;
};

using MeshList = std::vector<std::unique_ptr<ObjMesh>>;

bool readMesh(const std::string& path, MeshList& parts) {
    std::vector<ObjMesh*> raw;
    const int ok = ResourceManager::loadObjGroups(path, false, raw);
    parts.clear();
    for (ObjMesh* m : raw)
        parts.emplace_back(m);
    return ok != 0;
}

size_t partsWithFaces(const MeshList& parts) {
    size_t n = 0;
    for (const auto& p : parts)
        n += !p->vertices.empty() && !p->faces.empty();
    return n;
}

class Checker {
public:
    Checker(const OpenedProject& project) : m_project(project) {}

    std::vector<Problem> run() {
        loadActions();
        const ProjectDocument& doc = m_project.doc;
        for (const Project2dEntry& e : doc.items2d) {
            check2d(e, true);
            for (const Project2dEntry& m : e.members)
                check2d(m, false);
        }
        for (const ProjectArEntry& e : doc.itemsAr)
            checkImage(e.itemname, e.texpath, "AR texture");
        for (const Project3dEntry& e : doc.items3d)
            check3d(e);
        return std::move(m_problems);
    }

private:
    void add(const std::string& kind, const std::string& item, const std::string& file, const std::string& message) {
        m_problems.push_back({kind, item, file, message});
    }

    void loadActions() {
        FaceActions table;
        const std::string path = pathJoin(m_project.root, "data/tools/actions.json");
        if (!table.loadFromFile(path)) {
            m_actionsPath = path;
            return;
        }
        for (const FaceAction& a : table.all())
            m_actions.insert(a.name);
    }

    bool checkImage(const std::string& item, const std::string& rawPath, const std::string& what) {
        const std::string path = workspacePath(m_project.root, rawPath);
        if (path.empty() || !fileExists(path)) {
            add("missing-texture", item, rawPath, what + " not found");
            return false;
        }
        ImageBuffer image;
        if (!image.imread(path) || image.width <= 0 || image.height <= 0) {
            add("unreadable-texture", item, rawPath, what + " is not a readable image");
            return false;
        }
        return true;
    }

    void checkAction(const std::string& item, const std::optional<std::string>& action, const char* which) {
        if (!action || *action == "null" || m_actions.count(*action))
            return;
        add("unknown-face-action", item, m_actionsPath.empty() ? pathJoin(m_project.root, "data/tools/actions.json")
                                                               : m_actionsPath,
            std::string(which) + " action \"" + *action + "\" is not in the face-action table" +
                (m_actionsPath.empty() ? "" : " (the table could not be read)"));
    }

    // The rules of the attribute panel for items that carry their own
    // triggers (ordinary items and groups; members follow their group).
    void checkTriggers(const Project2dEntry& e) {
        const int start = e.triggerStart.value_or(kTriggerNewFace);
        const int end = e.triggerEnd.value_or(0);
        std::string why;
        if (start < kTriggerNewFace || start > kTriggerFaceAction)
            why = "start trigger " + std::to_string(start) + " is not NewFace, AlwaysRender or FaceAction";
        else if (end < 0 || end > kTriggerFaceAction)
            why = "end trigger " + std::to_string(end) + " is unknown";
        else if ((start == kTriggerNewFace || start == kTriggerFaceAction) &&
                 (end == kTriggerNewFace || end == kTriggerAlwaysRender))
            why = "an item started by NewFace or FaceAction cannot end on NewFace or AlwaysRender";
        else if (start == kTriggerAlwaysRender && end == kTriggerAlwaysRender)
            why = "an AlwaysRender item cannot end on AlwaysRender";
        else if (start == kTriggerFaceAction && e.start_action.value_or("null") == "null")
            why = "start trigger FaceAction without a start action";
        else if (end == kTriggerFaceAction && e.end_action.value_or("null") == "null")
            why = "end trigger FaceAction without an end action";
        if (!why.empty())
            add("bad-trigger", e.itemname, m_project.path, why);
    }

    void check2d(const Project2dEntry& e, bool ownTriggers) {
        checkAction(e.itemname, e.start_action, "start");
        checkAction(e.itemname, e.end_action, "end");
        if (ownTriggers)
            checkTriggers(e);
        const std::string path = ProjectDocument::resolveTexPath2d(m_project.root, e.texpath);
        FrameSequence seq;
        const PathParts parts = splitPath(path);
        const size_t underscore = parts.base.rfind('_');
        const std::string tail = underscore == std::string::npos ? "" : parts.base.substr(underscore + 1);
        if (!seq.parse(path) || tail.size() != 5 ||
            !std::all_of(tail.begin(), tail.end(), [](unsigned char c) { return std::isdigit(c); })) {
            add("bad-texture-name", e.itemname, e.texpath, "not a numbered frame name <name>_00000<ext>");
            checkImage(e.itemname, path, "texture");
            return;
        }
        int first = 0;
        while (first < 100000 && fileExists(seq.framePath(first))) {
            if (!checkImage(e.itemname, seq.framePath(first), "frame"))
                break;
            ++first;
        }
        if (fileExists(seq.framePath(first)))
            return; // an unreadable frame, reported above
        if (first == 0)
            add("missing-texture", e.itemname, seq.framePath(0), "first frame of the sequence not found");
        reportGap(e.itemname, seq, first);
    }

    // Frames numbered above the first missing one are never packed.
    void reportGap(const std::string& item, const FrameSequence& seq, int missing) {
        std::error_code ec;
        int last = -1;
        const std::string folder = seq.folder().empty() ? "." : seq.folder();
        for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
            const std::string name = entry.path().filename().string();
            const size_t n = seq.prefix().size();
            if (name.size() != n + 6 + seq.extension().size() || name.compare(0, n, seq.prefix()) != 0 ||
                name[n] != '_' || name.compare(n + 6, std::string::npos, seq.extension()) != 0)
                continue;
            const std::string digits = name.substr(n + 1, 5);
            if (std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c); }))
                last = std::max(last, std::stoi(digits));
        }
        if (last > missing)
            add("sequence-gap", item, seq.framePath(missing),
                "frame " + std::to_string(missing) + " is missing; frames up to " + std::to_string(last) +
                    " after it are not packed");
    }

    void check3dFiles(const Project3dEntry& e) {
        if (!e.texpath.empty())
            checkImage(e.itemname, e.texpath, "texture");
        if (!e.weightMapPath.empty())
            checkImage(e.itemname, e.weightMapPath, "weight map");
        for (const ProjectParam& p : e.param)
            if (p.isStr && p.texpath && !p.texpath->empty())
                checkImage(e.itemname, *p.texpath, "texture of parameter " + p.name);
    }

    void check3d(const Project3dEntry& e) {
        check3dFiles(e);
        for (const Project3dEntry& part : e.childs)
            check3dFiles(part);
        if (e.itemname == ProjectDocument::kGlobalParamsName)
            return;
        std::string path = e.objpath;
        if (!fileExists(path))
            path = pathJoin(m_project.root, path);
        if (e.objpath.empty() || !fileExists(path)) {
            add("missing-mesh", e.itemname, e.objpath, "mesh file not found");
            return;
        }
        MeshList parts;
        if (!readMesh(path, parts) || partsWithFaces(parts) == 0) {
            add("unreadable-mesh", e.itemname, path, "no mesh part with faces could be read");
            return;
        }
        for (const auto& part : parts)
            for (const Material& m : part->materials)
                if (!m.textureFile.empty())
                    checkImage(e.itemname + "/" + part->name, m.textureFile, "material texture");
        checkBlendshapes(e.itemname, path, parts.size());
    }

    void checkBlendshapes(const std::string& item, const std::string& path, size_t partCount) {
        const PathParts file = splitPath(path);
        if (file.base.find("bs0") == std::string::npos || file.base.size() < 3)
            return;
        const std::string stem = file.folder + file.base.substr(0, file.base.size() - 3) + "bs";
        int highest = -1;
        for (int i = 1; i < Item_3d::kBlendshapeCount; ++i)
            if (fileExists(stem + std::to_string(i) + file.ext))
                highest = i;
        for (int i = 1; i <= highest; ++i) {
            const std::string shape = stem + std::to_string(i) + file.ext;
            if (!fileExists(shape)) {
                add("missing-blendshape", item, shape, "blendshape " + std::to_string(i) + " not found");
                continue;
            }
            MeshList parts;
            if (!readMesh(shape, parts))
                add("unreadable-blendshape", item, shape, "blendshape could not be read");
            else if (parts.size() != partCount)
                add("unreadable-blendshape", item, shape,
                    "has " + std::to_string(parts.size()) + " parts, the mesh has " + std::to_string(partCount));
        }
    }

    const OpenedProject& m_project;
    std::set<std::string> m_actions;
    std::string m_actionsPath; // set when the table could not be read
    std::vector<Problem> m_problems;
};

} // namespace

int lumoCheck(int argc, char** argv, int first) {
    Args args;
    std::string error;
    if (!parseArgs(argc, argv, first, {"--root"}, {"--json", "--help", "--verbose"}, args, error) ||
        (!args.has("--help") && args.positional.size() != 1)) {
        Trace::err("%s\n%s\n", error.empty() ? "lumo check needs one project file" : error.c_str(), kHelp);
        return kUsage;
    }
    if (args.has("--help")) {
        Trace::out("%s\n", kHelp);
        return kOk;
    }
    const Console console(args.has("--verbose"));
    const bool json = args.has("--json");
    OpenedProject project;
    std::vector<Problem> problems;
    const bool opened = openProject(args.positional[0], args.value("--root"), project, error);
    if (opened)
        problems = Checker(project).run();
    else
        problems.push_back({"unreadable-project", "", args.positional[0], error});

    if (json) {
        rapidjson::StringBuffer buffer;
        JsonWriter w(buffer);
        w.StartObject();
        w.Key("project");
        jsonString(w, args.positional[0]);
        w.Key("ok");
        w.Bool(problems.empty());
        w.Key("problems");
        w.StartArray();
        for (const Problem& p : problems) {
            w.StartObject();
            w.Key("kind");
            jsonString(w, p.kind);
            w.Key("item");
            jsonString(w, p.item);
            w.Key("file");
            jsonString(w, p.file);
            w.Key("message");
            jsonString(w, p.message);
            w.EndObject();
        }
        w.EndArray();
        w.EndObject();
        console.out(buffer.GetString());
    } else {
        for (const Problem& p : problems)
            console.out(p.kind + ": " + (p.item.empty() ? "" : "item \"" + p.item + "\": ") + p.file + ": " +
                        p.message);
        console.out(problems.empty() ? "no problems found"
                                     : std::to_string(problems.size()) + " problem(s) found");
    }
    return problems.empty() ? kOk : kFailed;
}
