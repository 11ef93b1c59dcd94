#include "tools/tintworks/FilterProject.h"

#include "base/WholeFile.h"

#include <QDir>
#include <QFileInfo>

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cmath>

namespace tint {

namespace {

const std::string kExtension = ".lumoproj";
constexpr int kFilterFlag = 8;

bool endsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

std::string stripExtension(const std::string& fileName) {
    return endsWith(fileName, kExtension) ? fileName.substr(0, fileName.size() - kExtension.size()) : fileName;
}

bool hasSeparator(const std::string& s) {
    return s.find('/') != std::string::npos || s.find('\\') != std::string::npos;
}

FilterProject projectAt(const std::string& projectsDir, const std::string& name) {
    FilterProject p;
    p.name = name;
    p.folder = projectsDir + "/" + name;
    p.file = p.folder + "/" + name + kExtension;
    return p;
}

// True when `path` (which exists) lies below `folder`, symbolic links resolved.
bool liesInside(const std::string& path, const std::string& folder) {
    const QString canonicalFolder = QFileInfo(QString::fromStdString(folder)).canonicalFilePath();
    const QString canonicalPath = QFileInfo(QString::fromStdString(path)).canonicalFilePath();
    return !canonicalFolder.isEmpty() && !canonicalPath.isEmpty() &&
           canonicalPath.startsWith(canonicalFolder + "/");
}

}  // namespace

std::string nameProblem(const std::string& name) {
    if (name.empty())
        return "the project name is empty";
    if (name == "." || name == "..")
        return "\"" + name + "\" is not a project name";
    if (hasSeparator(name))
        return "the project name \"" + name + "\" contains a path separator";
    if (name.size() > kMaxNameBytes)
        return "the project name is longer than " + std::to_string(kMaxNameBytes) + " bytes";
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7f)
            return "the project name contains a control character";
    return {};
}

std::string projectJson(const FilterProject& project) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> w(buffer);
    const Look look = clampedLook(project.look);
    w.StartObject();
    w.Key("projectname");
    w.String(project.name.c_str(), rapidjson::SizeType(project.name.size()));
    w.Key("projecttype");
    w.Int(kFilterFlag);
    w.Key("2D");
    w.StartArray();
    w.EndArray();
    w.Key("filter");
    w.StartObject();
    const std::string lut = project.lutFileName();
    w.Key("lut");
    w.String(lut.c_str(), rapidjson::SizeType(lut.size()));
    w.Key("lutsize");
    w.Int(kLutSize);
    w.Key("layout");
    w.String("strip");
    w.Key("brightness");
    w.Double(look.brightness);
    w.Key("contrast");
    w.Double(look.contrast);
    w.Key("saturation");
    w.Double(look.saturation);
    w.Key("temperature");
    w.Double(look.temperature);
    w.EndObject();
    w.EndObject();
    return std::string(buffer.GetString(), buffer.GetSize());
}

bool parseProjectJson(const std::string& bytes, Look& look, std::string& projectName, std::string& error) {
    rapidjson::Document doc;
    doc.Parse<rapidjson::kParseIterativeFlag>(bytes.data(), bytes.size());
    if (doc.HasParseError() || !doc.IsObject()) {
        error = "the project file is not a JSON object";
        return false;
    }
    auto type = doc.FindMember("projecttype");
    if (type == doc.MemberEnd() || !type->value.IsInt()) {
        error = "the project file has no integer \"projecttype\"";
        return false;
    }
    if (!(type->value.GetInt() & kFilterFlag)) {
        error = "not a filter project (projecttype " + std::to_string(type->value.GetInt()) + ")";
        return false;
    }
    projectName.clear();
    auto name = doc.FindMember("projectname");
    if (name != doc.MemberEnd() && name->value.IsString())
        projectName.assign(name->value.GetString(), name->value.GetStringLength());
    look = Look();
    auto filter = doc.FindMember("filter");
    if (filter == doc.MemberEnd())
        return true;  // a filter project made elsewhere: start from the identity look
    if (!filter->value.IsObject()) {
        error = "\"filter\" is not an object";
        return false;
    }
    const struct {
        const char* key;
        double Look::*field;
    } controls[] = {{"brightness", &Look::brightness},
                    {"contrast", &Look::contrast},
                    {"saturation", &Look::saturation},
                    {"temperature", &Look::temperature}};
    for (const auto& c : controls) {
        auto m = filter->value.FindMember(c.key);
        if (m == filter->value.MemberEnd())
            continue;
        if (!m->value.IsNumber() || !std::isfinite(m->value.GetDouble()) || std::fabs(m->value.GetDouble()) > 1.0) {
            error = std::string("\"") + c.key + "\" is not a number in [-1, 1]";
            return false;
        }
        look.*c.field = m->value.GetDouble();
    }
    return true;
}

bool saveProject(const FilterProject& project, std::string& error) {
    const std::string png = encodePng(makeLut(project.look));
    if (png.empty() || !writeWholeFile(project.lutPath(), png.data(), png.size())) {
        error = "cannot write " + project.lutPath();
        return false;
    }
    const std::string json = projectJson(project);
    if (!writeWholeFile(project.file, json.data(), json.size())) {
        error = "cannot write " + project.file;
        return false;
    }
    return true;
}

bool createProject(const std::string& projectsDir, const std::string& fileName, const Look& look,
                   FilterProject& project, std::string& error) {
    if (hasSeparator(fileName)) {
        error = "\"" + fileName + "\" names a folder; give the project file name only";
        return false;
    }
    const std::string name = stripExtension(fileName);
    const std::string problem = nameProblem(name);
    if (!problem.empty()) {
        error = problem;
        return false;
    }
    FilterProject p = projectAt(projectsDir, name);
    p.look = clampedLook(look);
    const QString folder = QString::fromStdString(p.folder);
    const QFileInfo info(folder);
    if (info.exists() || info.isSymLink()) {
        error = "the project \"" + name + "\" already exists";
        return false;
    }
    QDir projects(QString::fromStdString(projectsDir));
    if (!projects.mkpath(".") || !projects.mkdir(QString::fromStdString(name))) {
        error = "cannot create the folder " + p.folder;
        return false;
    }
    if (!saveProject(p, error)) {
        QDir(folder).removeRecursively();  // the folder is ours: nothing half-made stays
        return false;
    }
    project = p;
    return true;
}

bool openProject(const std::string& projectsDir, const std::string& file, FilterProject& project,
                 std::string& error) {
    if (file.empty()) {
        error = "no project file given";
        return false;
    }
    std::string path;
    std::string name;
    if (hasSeparator(file)) {
        path = file;
        name = stripExtension(QFileInfo(QString::fromStdString(file)).fileName().toStdString());
    } else {
        name = stripExtension(file);
        path = projectsDir + "/" + name + "/" + file;
    }
    if (!endsWith(file, kExtension)) {
        error = "\"" + file + "\" is not a " + kExtension + " file";
        return false;
    }
    const std::string problem = nameProblem(name);
    if (!problem.empty()) {
        error = problem;
        return false;
    }
    if (!QFileInfo(QString::fromStdString(path)).isFile()) {
        error = "the project file " + path + " does not exist";
        return false;
    }
    if (!liesInside(path, projectsDir)) {
        error = path + " lies outside " + projectsDir + "/";
        return false;
    }
    std::string bytes;
    if (!readWholeFile(path, bytes, kMaxProjectFileBytes)) {
        error = "cannot read " + path + " (unreadable or larger than 1 MiB)";
        return false;
    }
    FilterProject p;
    p.name = name;
    p.file = path;
    p.folder = QFileInfo(QString::fromStdString(path)).path().toStdString();
    std::string storedName;
    if (!parseProjectJson(bytes, p.look, storedName, error)) {
        error = path + ": " + error;
        return false;
    }
    project = p;
    return true;
}

}  // namespace tint
