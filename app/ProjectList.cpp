#include "app/ProjectList.h"

#include "app/ProjectNames.h"
#include "base/Paths.h"
#include "base/Trace.h"
#include "base/WholeFile.h"

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

std::string normalised(const std::string& path) {
    return fs::path(path).lexically_normal().generic_string();
}

bool parseObject(const std::string& text, rapidjson::Document& doc) {
    doc.Parse<rapidjson::kParseIterativeFlag>(text.c_str(), text.size()); // any nesting depth, no recursion
    return !doc.HasParseError() && doc.IsObject();
}

} // namespace

ProjectList::ProjectList(std::string projectsDir) : m_dir(std::move(projectsDir)) {}

std::string ProjectList::listFile() const { return pathJoin(m_dir, "/proj.json"); }

const char* ProjectList::typeName(int32_t type) {
    const char* name = "2D";
    if (type & 1)
        name = "2D";
    if (type & 2)
        name = "3D";
    if (type & 4)
        name = "P2A";
    if (type & 8)
        name = "Filter";
    return name;
}

bool ProjectList::parseJson(const std::string& text, std::vector<ProjectRecord>& records) {
    records.clear();
    rapidjson::Document doc;
    if (!parseObject(text, doc))
        return false;
    auto projects = doc.FindMember("Projects");
    if (projects == doc.MemberEnd() || !projects->value.IsArray())
        return false;
    for (const auto& entry : projects->value.GetArray()) {
        if (!entry.IsObject())
            continue;
        auto path = entry.FindMember("path");
        if (path == entry.MemberEnd() || !path->value.IsString())
            continue;
        ProjectRecord record;
        record.path.assign(path->value.GetString(), path->value.GetStringLength());
        auto type = entry.FindMember("type");
        if (type != entry.MemberEnd() && type->value.IsInt())
            record.type = type->value.GetInt();
        records.push_back(std::move(record));
    }
    return true;
}

std::string ProjectList::toJson(const std::vector<ProjectRecord>& records) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    writer.StartObject();
    writer.Key("Projects");
    writer.StartArray();
    for (const ProjectRecord& r : records) {
        writer.StartObject();
        writer.Key("path");
        writer.String(r.path.c_str(), static_cast<rapidjson::SizeType>(r.path.size()));
        writer.Key("type");
        writer.Int(r.type);
        writer.EndObject();
    }
    writer.EndArray();
    writer.EndObject();
    return std::string(buffer.GetString(), buffer.GetSize());
}

bool ProjectList::load() {
    m_records.clear();
    std::vector<std::string> known;
    std::vector<ProjectRecord> fromFile;
    const std::string file = listFile();
    if (fileExists(file)) {
        std::string text;
        if (!readWholeFile(file, text, kMaxFileBytes))
            Trace::out("%s can not be read\n", file.c_str());
        else if (!parseJson(text, fromFile))
            Trace::out("%s parse Error\n", file.c_str());
    }
    for (const ProjectRecord& r : fromFile) {
        m_records.push_back(r);
        known.push_back(normalised(r.path));
    }
    scanFolder(known);

    std::vector<ProjectRecord> kept;
    for (const ProjectRecord& r : m_records) {
        if (!isPathInside(r.path, m_dir)) {
            Trace::out("project %s lies outside %s, dropped\n", r.path.c_str(), m_dir.c_str());
            continue;
        }
        std::error_code ec;
        if (!fs::is_regular_file(fs::path(r.path), ec)) {
            Trace::out("legacy project %s not exist\n", r.path.c_str());
            continue;
        }
        kept.push_back(r);
    }
    m_records = std::move(kept);
    if (m_records.size() != fromFile.size())
        return true;
    for (size_t i = 0; i < m_records.size(); ++i)
        if (m_records[i].path != fromFile[i].path || m_records[i].type != fromFile[i].type)
            return true;
    return false;
}

void ProjectList::scanFolder(std::vector<std::string>& known) {
    std::error_code ec;
    fs::recursive_directory_iterator it(fs::path(m_dir), fs::directory_options::skip_permission_denied, ec);
    if (ec) {
        Trace::out("path does not exist\n");
        return;
    }
    std::vector<std::string> found;
    for (; it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (ec)
            break;
        const std::string path = it->path().generic_string();
        if (path.find(".lumoproj") != std::string::npos && it->is_regular_file(ec))
            found.push_back(path);
    }
    // Directory order is arbitrary; a sorted scan lists new projects the
    // same way on every start.
    std::sort(found.begin(), found.end());
    int index = 0;
    for (const std::string& path : found) {
        Trace::out("%d %s\n\n", index++, path.c_str());
        int32_t type = 1;
        std::string error;
        if (!readProjectType(path, type, error)) {
            Trace::out("%s parse Error\n", path.c_str());
            continue;
        }
        const std::string key = normalised(path);
        if (std::find(known.begin(), known.end(), key) != known.end())
            continue;
        known.push_back(key);
        m_records.push_back({path, type});
    }
}

bool ProjectList::save() const {
    Trace::out("begin saveProjectList\n");
    const std::string text = toJson(m_records);
    Trace::out("project list json:\n%s\n", text.c_str());
    if (!writeWholeFile(listFile(), text.data(), text.size())) {
        Trace::out(".lumoproj file can not be write.\n");
        return false;
    }
    Trace::out("end saveProjectList\n");
    return true;
}

void ProjectList::moveToFront(size_t i) {
    if (i >= m_records.size())
        return;
    ProjectRecord r = m_records[i];
    m_records.erase(m_records.begin() + static_cast<std::ptrdiff_t>(i));
    m_records.insert(m_records.begin(), std::move(r));
}

void ProjectList::remove(size_t i) {
    if (i < m_records.size())
        m_records.erase(m_records.begin() + static_cast<std::ptrdiff_t>(i));
}

void ProjectList::addToFront(const ProjectRecord& record) {
    const std::string key = normalised(record.path);
    m_records.erase(std::remove_if(m_records.begin(), m_records.end(),
                                   [&](const ProjectRecord& r) { return normalised(r.path) == key; }),
                    m_records.end());
    m_records.insert(m_records.begin(), record);
}

bool readProjectType(const std::string& path, int32_t& type, std::string& error, int* parseErrorCode) {
    if (parseErrorCode)
        *parseErrorCode = 0;
    std::string text;
    if (!readWholeFile(path, text, ProjectList::kMaxFileBytes)) {
        error = path + " can not be read";
        return false;
    }
    rapidjson::Document doc;
    if (!parseObject(text, doc)) {
        if (parseErrorCode)
            *parseErrorCode = static_cast<int>(doc.GetParseError());
        error = path + " is not a project file";
        return false;
    }
    type = 1;
    auto t = doc.FindMember("projecttype");
    if (t != doc.MemberEnd() && t->value.IsInt())
        type = t->value.GetInt();
    return true;
}
