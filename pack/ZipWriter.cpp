#include "pack/ZipWriter.h"

#include <zip.h>

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Entry {
    std::string name;  // relative to the archived folder, "/" separators
    fs::path source;   // empty for a folder
};

// Every regular file and subfolder under `folder`, sorted by name. False when
// the folder cannot be listed.
bool listEntries(const fs::path& folder, std::vector<Entry>& entries, std::string& error) {
    std::error_code ec;
    fs::recursive_directory_iterator it(folder, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const fs::path rel = it->path().lexically_relative(folder);
        std::error_code typeEc;
        if (it->is_directory(typeEc))
            entries.push_back({rel.generic_string() + "/", {}});
        else if (it->is_regular_file(typeEc))
            entries.push_back({rel.generic_string(), it->path()});
    }
    if (ec) {
        error = "cannot list " + folder.string() + ": " + ec.message();
        return false;
    }
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return true;
}

std::string zipErrorText(int code) {
    zip_error_t err;
    zip_error_init_with_code(&err, code);
    std::string text = zip_error_strerror(&err);
    zip_error_fini(&err);
    return text;
}

bool addEntry(zip_t* za, const Entry& e, std::string& error) {
    if (e.source.empty()) {
        if (zip_dir_add(za, e.name.c_str(), ZIP_FL_ENC_GUESS) < 0) {
            error = "cannot add folder " + e.name + ": " + zip_strerror(za);
            return false;
        }
        return true;
    }
    zip_source_t* src = zip_source_file(za, e.source.c_str(), 0, -1);
    if (!src) {
        error = "cannot read " + e.source.string() + ": " + zip_strerror(za);
        return false;
    }
    if (zip_file_add(za, e.name.c_str(), src, ZIP_FL_ENC_GUESS) < 0) {
        zip_source_free(src);
        error = "cannot add " + e.name + ": " + zip_strerror(za);
        return false;
    }
    return true;
}

// Writes the entries into a new archive at `path`; on failure nothing is left there.
bool writeArchive(const std::string& path, const std::vector<Entry>& entries, std::string& error) {
    int code = 0;
    zip_t* za = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (!za) {
        error = "cannot create " + path + ": " + zipErrorText(code);
        return false;
    }
    for (const Entry& e : entries) {
        if (!addEntry(za, e, error)) {
            zip_discard(za);
            return false;
        }
    }
    if (zip_close(za) != 0) {
        error = "cannot write " + path + ": " + zip_strerror(za);
        zip_discard(za);
        return false;
    }
    return true;
}

} // namespace

bool ZipWriter::zipFolder(const std::string& folder, const std::string& zipPath, std::string& error) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        error = "folder " + folder + " does not exist";
        return false;
    }
    std::vector<Entry> entries;
    if (!listEntries(folder, entries, error))
        return false;
    if (std::none_of(entries.begin(), entries.end(), [](const Entry& e) { return !e.source.empty(); })) {
        error = "folder " + folder + " holds no file";
        return false;
    }
    const std::string temp = zipPath + ".part";
    fs::remove(temp, ec);
    if (!writeArchive(temp, entries, error)) {
        fs::remove(temp, ec);
        return false;
    }
    fs::rename(temp, zipPath, ec);
    if (ec) {
        error = "cannot rename " + temp + " to " + zipPath + ": " + ec.message();
        fs::remove(temp, ec);
        return false;
    }
    return true;
}
