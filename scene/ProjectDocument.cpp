#include "scene/ProjectDocument.h"

#include "base/Paths.h"
#include "base/Trace.h"
#include "base/WholeFile.h"
#include "scene/Item_2d.h"
#include "scene/Item_3d.h"
#include "scene/Item_ar.h"
#include "scene/MainDataHolder.h"
#include "scene/SplitPath.h"

#include <rapidjson/document.h>
#include <rapidjson/encodedstream.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cfloat>
#include <cmath>
#include <filesystem>

using rapidjson::Value;

namespace {

// ---- Reading: every key read by type; a missing key or one of another
// JSON type reads as the missing-key default.

const Value* member(const Value& object, const char* key) {
    if (!object.IsObject())
        return nullptr;
    const auto it = object.FindMember(key);
    return it == object.MemberEnd() ? nullptr : &it->value;
}

std::optional<std::string> optString(const Value& object, const char* key) {
    const Value* v = member(object, key);
    if (!v || !v->IsString())
        return std::nullopt;
    return std::string(v->GetString(), v->GetStringLength());
}

std::string getString(const Value& object, const char* key) { return optString(object, key).value_or(""); }

// JSON numbers beyond the float range are clamped to it.
float toFloat(double d) {
    if (d > FLT_MAX)
        return FLT_MAX;
    if (d < -FLT_MAX)
        return -FLT_MAX;
    return static_cast<float>(d);
}

std::optional<float> optNumber(const Value& object, const char* key) {
    const Value* v = member(object, key);
    if (!v || !v->IsNumber())
        return std::nullopt;
    return toFloat(v->GetDouble());
}

float getNumber(const Value& object, const char* key) { return optNumber(object, key).value_or(0.0f); }

std::optional<int32_t> optInt(const Value& object, const char* key) {
    const Value* v = member(object, key);
    if (!v || !v->IsInt())
        return std::nullopt;
    return v->GetInt();
}

std::optional<bool> optBool(const Value& object, const char* key) {
    const Value* v = member(object, key);
    if (!v || !v->IsBool())
        return std::nullopt;
    return v->GetBool();
}

bool getBool(const Value& object, const char* key) { return optBool(object, key).value_or(false); }

const Value* array(const Value& object, const char* key) {
    const Value* v = member(object, key);
    return v && v->IsArray() ? v : nullptr;
}

// The transform keys of a 3D item or part, in file order.
struct TransformKey {
    const char* key;
    float Project3dEntry::*field;
};
constexpr TransformKey kTransformKeys[] = {
    {"px", &Project3dEntry::px}, {"py", &Project3dEntry::py}, {"pz", &Project3dEntry::pz},
    {"rx", &Project3dEntry::rx}, {"ry", &Project3dEntry::ry}, {"rz", &Project3dEntry::rz},
    {"sx", &Project3dEntry::sx}, {"sy", &Project3dEntry::sy}, {"sz", &Project3dEntry::sz}};

Project2dEntry read2d(const Value& v) {
    Project2dEntry e;
    e.itemname = getString(v, "itemname");
    e.texpath = getString(v, "texpath");
    e.flipHorizontal = getBool(v, "flipHorizontal");
    e.flipVertical = getBool(v, "flipVertical");
    e.isbackground = getBool(v, "isbackground");
    e.isfullscreen = getBool(v, "isfullscreen");
    e.islandscape = optBool(v, "islandscape");
    e.keepratio = getBool(v, "keepratio");
    e.x = getNumber(v, "x");
    e.y = getNumber(v, "y");
    e.z = getNumber(v, "z");
    e.w = getNumber(v, "w");
    e.h = getNumber(v, "h");
    e.fps = optNumber(v, "fps");
    e.triggerStart = optInt(v, "triggerStart");
    e.triggerEnd = optInt(v, "triggerEnd");
    e.loopType = optInt(v, "loopType");
    e.loopcnt = optInt(v, "loopcnt");
    e.start_action = optString(v, "start_action");
    e.end_action = optString(v, "end_action");
    e.needtokeepfaceaction = optBool(v, "needtokeepfaceaction");
    e.nodetype = optInt(v, "nodetype").value_or(0);
    return e;
}

ProjectParam readParam(const Value& v) {
    ProjectParam p;
    p.name = getString(v, "name");
    p.isStr = getBool(v, "isStr");
    p.isTex = getBool(v, "isTex");
    if (p.isStr) {
        p.value = getString(v, "value");
        p.texpath = optString(v, "texpath");
    } else {
        p.valuef = getNumber(v, "value");
    }
    return p;
}

Project3dEntry read3d(const Value& v, bool isPart) {
    Project3dEntry e;
    e.itemname = getString(v, "itemname");
    if (!isPart) {
        e.objpath = getString(v, "objpath");
        e.objname = getString(v, "objname");
    }
    e.texpath = getString(v, "texpath");
    e.texname = getString(v, "texname");
    e.weightMapPath = getString(v, "weightMapPath");
    e.weightMapName = getString(v, "weightMapName");
    for (const TransformKey& t : kTransformKeys)
        e.*t.field = getNumber(v, t.key);
    if (const Value* params = array(v, "param"))
        for (const Value& p : params->GetArray())
            e.param.push_back(readParam(p));
    if (!isPart)
        if (const Value* parts = array(v, "childs"))
            for (const Value& p : parts->GetArray())
                e.childs.push_back(read3d(p, true));
    return e;
}

// Rebuilds the groups of the pre-order "2D" list one level deep: an entry
// with a positive "childcnt" takes that many following entries as members.
// A count that runs past the end takes what is left; a member's own count is
// not followed (its entries stay top-level).
std::vector<Project2dEntry> rebuildGroups(const Value& list) {
    std::vector<Project2dEntry> top;
    const rapidjson::SizeType n = list.Size();
    rapidjson::SizeType i = 0;
    while (i < n) {
        Project2dEntry e = read2d(list[i]);
        const std::optional<int32_t> count = optInt(list[i], "childcnt");
        ++i;
        e.hasChildcnt = count.has_value();
        const int32_t want = count.value_or(0);
        if (want > 0) {
            rapidjson::SizeType take = static_cast<rapidjson::SizeType>(want);
            if (take > n - i) {
                take = n - i;
                Trace::out("group %s: childcnt %d runs past the end of the 2D list, %u members read\n",
                           e.itemname.c_str(), want, take);
            }
            for (rapidjson::SizeType k = 0; k < take; ++k, ++i) {
                Project2dEntry m = read2d(list[i]);
                const int32_t nested = optInt(list[i], "childcnt").value_or(0);
                m.hasChildcnt = true;
                if (nested > 0)
                    Trace::out("group member %s: childcnt %d ignored\n", m.itemname.c_str(), nested);
                e.members.push_back(std::move(m));
            }
        }
        top.push_back(std::move(e));
    }
    return top;
}

size_t arraySize(const Value& object, const char* key) {
    const Value* v = array(object, key);
    return v ? v->Size() : 0;
}

// Number of entries and parameter records the file describes; records are
// far larger than the JSON text of an empty object, so their count is
// limited before any is made.
size_t recordCount(const Value& doc) {
    size_t n = arraySize(doc, "2D") + arraySize(doc, "ARMesh");
    if (const Value* list = array(doc, "3D"))
        for (const Value& e : list->GetArray()) {
            n += 1 + arraySize(e, "param");
            if (const Value* parts = array(e, "childs"))
                for (const Value& p : parts->GetArray())
                    n += 1 + arraySize(p, "param");
        }
    return n;
}

// Counts the values of a text without building it; stops the parse once
// the count passes cap.
struct ValueCounter : rapidjson::BaseReaderHandler<rapidjson::UTF8<>, ValueCounter> {
    size_t cap = 0;
    size_t count = 0;
    bool Default() { return ++count <= cap; }
    bool Key(const char*, rapidjson::SizeType, bool) { return true; }
    bool EndObject(rapidjson::SizeType) { return true; }
    bool EndArray(rapidjson::SizeType) { return true; }
};

// True when the text holds more than cap values. One linear pass whose only
// allocation is the parser's stack (bounded by the longest string).
bool hasMoreValuesThan(const std::string& bytes, size_t cap) {
    rapidjson::MemoryStream ms(bytes.data(), bytes.size());
    rapidjson::EncodedInputStream<rapidjson::UTF8<>, rapidjson::MemoryStream> in(ms);
    ValueCounter counter;
    counter.cap = cap;
    rapidjson::Reader reader;
    reader.Parse<rapidjson::kParseIterativeFlag>(in, counter);
    return counter.count > cap;
}

bool refuse(std::string* error, const std::string& line) {
    Trace::out("%s", line.c_str());
    if (error)
        *error = line;
    return false;
}

// ---- Writing

using Writer = rapidjson::Writer<rapidjson::StringBuffer>;

void putString(Writer& w, const char* k, const std::string& s) {
    w.Key(k);
    w.String(s.data(), static_cast<rapidjson::SizeType>(s.size()));
}
// Floats are widened to double; a value that is not finite (which JSON
// cannot hold) is written as 0.
void putNumber(Writer& w, const char* k, float f) {
    w.Key(k);
    w.Double(std::isfinite(f) ? static_cast<double>(f) : 0.0);
}
void putInt(Writer& w, const char* k, int32_t i) {
    w.Key(k);
    w.Int(i);
}
void putBool(Writer& w, const char* k, bool b) {
    w.Key(k);
    w.Bool(b);
}
// An array under key k: writeOne(w, element) for each element of list.
template <class List, class WriteOne>
void putArray(Writer& w, const char* k, const List& list, WriteOne writeOne) {
    w.Key(k);
    w.StartArray();
    for (const auto& element : list)
        writeOne(w, element);
    w.EndArray();
}

void write2d(Writer& w, const Project2dEntry& e) {
    w.StartObject();
    putString(w, "itemname", e.itemname);
    putString(w, "texpath", e.texpath);
    putBool(w, "flipHorizontal", e.flipHorizontal);
    putBool(w, "flipVertical", e.flipVertical);
    putBool(w, "isbackground", e.isbackground);
    putBool(w, "isfullscreen", e.isfullscreen);
    putBool(w, "islandscape", e.islandscape.value_or(false));
    putBool(w, "keepratio", e.keepratio);
    putNumber(w, "x", e.x);
    putNumber(w, "y", e.y);
    putNumber(w, "z", e.z);
    putNumber(w, "w", e.w);
    putNumber(w, "h", e.h);
    putNumber(w, "fps", e.fps.value_or(20.0f));
    putInt(w, "triggerStart", e.triggerStart.value_or(kTriggerNewFace));
    putInt(w, "triggerEnd", e.triggerEnd.value_or(0));
    putInt(w, "loopType", e.loopType.value_or(kLoopInfinite));
    putInt(w, "loopcnt", e.loopcnt.value_or(1));
    putString(w, "start_action", e.start_action.value_or("null"));
    putString(w, "end_action", e.end_action.value_or("null"));
    putBool(w, "needtokeepfaceaction", e.needtokeepfaceaction.value_or(true));
    putInt(w, "nodetype", e.nodetype);
    putInt(w, "childcnt", static_cast<int32_t>(e.members.size()));
    w.EndObject();
    for (const Project2dEntry& m : e.members)
        write2d(w, m);
}

void writeParam(Writer& w, const ProjectParam& p) {
    w.StartObject();
    putString(w, "name", p.name);
    if (p.isStr) {
        putString(w, "value", p.value);
        putString(w, "texpath", p.texpath.value_or(""));
    } else {
        putNumber(w, "value", p.valuef);
    }
    putBool(w, "isTex", p.isTex);
    putBool(w, "isStr", p.isStr);
    w.EndObject();
}

void putWeightMap(Writer& w, const Project3dEntry& e) {
    putString(w, "weightMapPath", e.weightMapPath);
    putString(w, "weightMapName", e.weightMapName);
}

// A 3D item, or with isPart one of its mesh parts: a part has no OBJ keys,
// its weight map comes before its texture, and it has no parts of its own.
void write3d(Writer& w, const Project3dEntry& e, bool isPart) {
    w.StartObject();
    putString(w, "itemname", e.itemname);
    if (isPart) {
        putWeightMap(w, e);
    } else {
        putString(w, "objpath", e.objpath);
        putString(w, "objname", e.objname);
    }
    putString(w, "texpath", e.texpath);
    putString(w, "texname", e.texname);
    if (!isPart)
        putWeightMap(w, e);
    for (const TransformKey& t : kTransformKeys)
        putNumber(w, t.key, e.*t.field);
    putArray(w, "param", e.param, writeParam);
    if (!isPart && !e.childs.empty())
        putArray(w, "childs", e.childs, [](Writer& out, const Project3dEntry& part) { write3d(out, part, true); });
    w.EndObject();
}

// ---- Describing the scene

Project2dEntry describe2d(const ProjectTreeNode& node) {
    Project2dEntry e;
    const auto* item = dynamic_cast<const Item_2d*>(node.item);
    if (!item)
        return e;
    e.itemname = item->name;
    e.texpath = item->texpath;
    e.flipHorizontal = item->flipHorizontal;
    e.flipVertical = item->flipVertical;
    e.isbackground = item->isbackground;
    e.isfullscreen = item->isfullscreen;
    e.islandscape = item->islandscape;
    e.keepratio = item->keepratio;
    const math3d::Vec3 p = item->getPosition();
    const math3d::Vec3 s = item->getScale();
    e.x = p.x;
    e.y = p.y;
    e.z = p.z;
    e.w = s.x;
    e.h = s.y;
    e.fps = item->fps;
    e.triggerStart = item->triggerStart;
    e.triggerEnd = item->triggerEnd;
    e.loopType = item->loopType;
    e.loopcnt = item->loopcnt;
    e.start_action = item->start_action;
    e.end_action = item->end_action;
    e.needtokeepfaceaction = item->needtokeepfaceaction;
    e.nodetype = item->nodetype;
    for (const ProjectTreeNode& child : node.children)
        if (dynamic_cast<const Item_2d*>(child.item))
            e.members.push_back(describe2d(child));
    return e;
}

// Angles read back from the node's rotation matrix carry rounding noise of a
// few float steps; kept to a thousandth of a degree, a project saved,
// reopened and saved again writes the same angles.
float roundAngle(float degrees) {
    if (!std::isfinite(degrees))
        return 0.0f;
    return static_cast<float>(std::round(double(degrees) * 1000.0) / 1000.0);
}

Project3dEntry describe3d(const Item_3d& item) {
    Project3dEntry e;
    e.itemname = item.name;
    e.objpath = item.objpath;
    e.objname = item.objname;
    e.texpath = item.texpath;
    e.texname = item.texname;
    e.weightMapPath = item.weightMapPath;
    e.weightMapName = item.weightMapName;
    const math3d::Vec3 t = item.getTranslation();
    const math3d::Vec3 r = item.getRotation();
    const math3d::Vec3 s = item.getScale();
    e.px = t.x;
    e.py = t.y;
    e.pz = t.z;
    e.rx = roundAngle(r.x);
    e.ry = roundAngle(r.y);
    e.rz = roundAngle(r.z);
    e.sx = s.x;
    e.sy = s.y;
    e.sz = s.z;
    for (const TemplateParam& tp : item.param) {
        ProjectParam p;
        p.name = tp.name;
        p.isStr = tp.isStr;
        p.value = tp.values;
        p.texpath = tp.texPath;
        p.valuef = tp.valuef;
        p.isTex = tp.isTex;
        e.param.push_back(std::move(p));
    }
    return e;
}

} // namespace

// ---- ProjectDocument

bool ProjectDocument::isSafeProjectName(const std::string& name) {
    if (name.empty() || name == "." || name == "..")
        return false;
    return name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

bool ProjectDocument::fromBytes(const std::string& bytes, const std::string& expectedName, ProjectDocument& out,
                                std::string* error) {
    if (bytes.size() > kMaxFileBytes)
        return refuse(error, "project file too large: " + std::to_string(bytes.size()) + " bytes\n");
    if (hasMoreValuesThan(bytes, kMaxValues))
        return refuse(error, "project file has too many values\n");
    rapidjson::Document doc;
    doc.Parse<rapidjson::kParseIterativeFlag>(bytes.data(), bytes.size());
    if (doc.HasParseError())
        return refuse(error, ".lumoproj json parse error code: " + std::to_string(int(doc.GetParseError())) + "\n");
    const std::optional<std::string> name = optString(doc, "projectname");
    if (!name)
        return refuse(error, "this is not valid projcet,.itemname is null\n");
    if (*name != expectedName || !isSafeProjectName(*name))
        return refuse(error, "this is not valid projcet,.lumoproj!=itemname\n");

    if (recordCount(doc) > kMaxRecords)
        return refuse(error, "project file has more than " + std::to_string(kMaxRecords) + " entries\n");

    ProjectDocument d;
    d.projectname = *name;
    d.projecttype = optInt(doc, "projecttype").value_or(0);
    if (const Value* list = array(doc, "2D")) {
        d.has2d = true;
        d.items2d = rebuildGroups(*list);
    }
    if (const Value* list = array(doc, "ARMesh")) {
        d.hasAr = true;
        for (const Value& v : list->GetArray())
            d.itemsAr.push_back({getString(v, "itemname"), getString(v, "texpath")});
    }
    if (const Value* list = array(doc, "3D")) {
        d.has3d = true;
        for (const Value& v : list->GetArray())
            d.items3d.push_back(read3d(v, false));
    }
    out = std::move(d);
    return true;
}

bool ProjectDocument::fromFile(const std::string& path, ProjectDocument& out, std::string* error) {
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(path, ec);
    if (!ec && size > kMaxFileBytes)
        return refuse(error, "project file too large (" + std::to_string(size) + " bytes):" + path + "\n");
    std::string bytes;
    if (!readWholeFile(path, bytes, kMaxFileBytes))
        return refuse(error, "can not read project file:" + path + "\n");
    return fromBytes(bytes, splitPath(path).base, out, error);
}

std::string ProjectDocument::toBytes() const {
    rapidjson::StringBuffer buffer;
    Writer w(buffer);
    w.StartObject();
    putString(w, "projectname", projectname);
    putInt(w, "projecttype", projecttype);
    putArray(w, "2D", items2d, write2d);
    if (!itemsAr.empty())
        putArray(w, "ARMesh", itemsAr, [](Writer& out, const ProjectArEntry& e) {
            out.StartObject();
            putString(out, "itemname", e.itemname);
            putString(out, "texpath", e.texpath);
            out.EndObject();
        });
    if (!items3d.empty())
        putArray(w, "3D", items3d, [](Writer& out, const Project3dEntry& e) { write3d(out, e, false); });
    w.EndObject();
    return std::string(buffer.GetString(), buffer.GetSize());
}

bool ProjectDocument::save(const std::string& path) const {
    const std::string text = toBytes();
    Trace::out("json:\n%s\n", text.c_str());
    if (!writeWholeFile(path, text.data(), text.size())) {
        Trace::out(".lumoproj file can not be write.\n");
        return false;
    }
    Trace::out("project saved\n");
    return true;
}

ProjectDocument ProjectDocument::fromScene(const MainDataHolder& holder, const ProjectTree& tree) {
    ProjectDocument d;
    d.projectname = holder.projectName;
    d.projecttype = holder.projectType;
    d.has2d = true;
    for (const ProjectTreeNode& node : tree.items2d)
        if (dynamic_cast<const Item_2d*>(node.item))
            d.items2d.push_back(describe2d(node));
    for (const ProjectTreeNode& node : tree.itemsAr)
        if (const auto* item = dynamic_cast<const Item_ar*>(node.item))
            d.itemsAr.push_back({item->name, item->texpath});
    d.hasAr = !d.itemsAr.empty();
    for (const ProjectTreeNode& node : tree.items3d) {
        const auto* item = dynamic_cast<const Item_3d*>(node.item);
        if (!item)
            continue;
        Project3dEntry e = describe3d(*item);
        for (const ProjectTreeNode& child : node.children)
            if (const auto* part = dynamic_cast<const Item_3d*>(child.item))
                e.childs.push_back(describe3d(*part));
        for (Project3dEntry& part : e.childs) {
            part.objpath.clear();
            part.objname.clear();
        }
        d.items3d.push_back(std::move(e));
    }
    d.has3d = !d.items3d.empty();
    return d;
}

std::string ProjectDocument::projectFilePath(const std::string& root, const std::string& name) {
    return pathJoin(root, "Projects/" + name + "/" + name + ".lumoproj");
}

std::string ProjectDocument::resolveTexPath2d(const std::string& root, const std::string& texpath) {
    if (texpath.empty() || texpath[0] != '.')
        return texpath;
    return pathJoin(root, texpath.substr(1));
}

// ---- Project folders

bool createProjectFolders(MainDataHolder& holder, const std::string& name) {
    if (!ProjectDocument::isSafeProjectName(name)) {
        Trace::out("invalid project name:%s\n", name.c_str());
        return false;
    }
    const std::string folder = pathJoin(holder.root, "Projects/" + name);
    Trace::out("new project path:%s\n", folder.c_str());
    if (fileExists(folder))
        return false;
    Trace::out("create new project!");
    if (makeDir(folder) == -1) {
        Trace::out("mkdir faild\n");
        return false;
    }
    const std::string build = pathJoin(folder, "/build");
    for (const std::string& sub : {pathJoin(folder, "/zip"), pathJoin(folder, "/out"), pathJoin(folder, "/fcopy"),
                                   build, pathJoin(build, "/iOS"), pathJoin(build, "/Android")})
        makeDir(sub);
    holder.projectName = name;
    return true;
}
