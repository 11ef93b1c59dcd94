#pragma once
// The list of known projects, Projects/proj.json: {"Projects":[{"path":..,
// "type":..},..]}, most recently opened first, written compact and
// atomically. Loading merges the list file with the project files found
// below Projects/ and drops what no longer exists or lies outside it.
// GUI-free; every outcome is traced.

#include <cstdint>
#include <string>
#include <vector>

struct ProjectRecord {
    std::string path; // the project's .lumoproj file
    int32_t type = 1; // project type flags
};

class ProjectList {
public:
    // Larger list and project files are refused unread.
    static constexpr uint64_t kMaxFileBytes = 16ull << 20;

    // projectsDir: the workspace's Projects folder (root + "/Projects").
    explicit ProjectList(std::string projectsDir);

    // Replaces the records: the list file's entries in order, then every
    // project file found below the folder that the list does not hold, then
    // drops records whose file is missing ("legacy project %s not exist\n")
    // or lies outside the folder. A list file that cannot be read or parsed
    // is traced and treated as empty. Returns whether the records differ
    // from the list file's entries (the caller may then save).
    bool load();
    // Writes the records to the list file atomically. False, with
    // ".lumoproj file can not be write.\n" traced, when that fails; the old
    // file is then intact.
    bool save() const;

    const std::vector<ProjectRecord>& records() const { return m_records; }
    // Moves record i to the front (out of range: nothing).
    void moveToFront(size_t i);
    // Removes record i (out of range: nothing).
    void remove(size_t i);
    // Adds a record at the front, replacing an older record of the same path.
    void addToFront(const ProjectRecord& record);

    std::string listFile() const;
    const std::string& projectsDir() const { return m_dir; }

    // The list file's text for `records` (compact, "path" then "type").
    static std::string toJson(const std::vector<ProjectRecord>& records);
    // The entries of a list file's text, in order; entries without a string
    // "path" are skipped, a missing or non-integer "type" reads as 1. False
    // (records empty) when the text is not a JSON object, "Projects" is
    // missing or not an array.
    static bool parseJson(const std::string& text, std::vector<ProjectRecord>& records);
    // The name shown for a type: flags tested 1 "2D", 2 "3D", 4 "P2A",
    // 8 "Filter" in this order, the last match winning; "2D" when none.
    static const char* typeName(int32_t type);

private:
    void scanFolder(std::vector<std::string>& known);

    std::string m_dir;
    std::vector<ProjectRecord> m_records;
};

// The "projecttype" of the project file at path (1 when absent or not an
// integer). False, with the reason in `error`, when the file cannot be read,
// is larger than ProjectList::kMaxFileBytes or is not a JSON object;
// `parseErrorCode` (when given) then receives the JSON parser's error code
// (0 when the file could not be read or held no object).
bool readProjectType(const std::string& path, int32_t& type, std::string& error, int* parseErrorCode = nullptr);
