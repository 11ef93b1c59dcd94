#pragma once
// The process-wide texture table: image files turned into OpenGL textures
// shared by all viewports, one GL texture name per context slot.

#include "images/TextureUpload.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

class ObjMesh;

// One texture of the table. All fields are zero or empty when created; a
// path whose image failed to load keeps such an empty entry.
struct TextureEntry {
    std::string path;            // the image path, set once loading succeeded
    std::vector<uint8_t> pixels; // R, G, B, A bytes, width x height x 4, bottom row first
    int32_t width = 0;
    int32_t height = 0;
    int32_t channels = 0;        // 4 after a successful load
    int32_t contextIndex = 0;    // the slot the last upload was made for
    uint32_t texId[kTextureSlots] = {0, 0, 0, 0}; // GL name per slot; 0: none
};

class ResourceManager {
public:
    // The shared table, created on first use (first creation is thread-safe);
    // it lives while any handle does, and the process keeps one until exit.
    static std::shared_ptr<ResourceManager> instance();
    // Frees every entry's pixels; GL names are left alone (their contexts may
    // already be gone).
    ~ResourceManager();
    ResourceManager(const ResourceManager&) = delete;
    ResourceManager& operator=(const ResourceManager&) = delete;

    // Loads the image at path into the table as R, G, B, A unless the path is
    // already there. A path is tried at most once for the life of the table,
    // also when its first load failed. Another spelling of an already loaded
    // file ("./a.png" beside "a.png", a link) shares that file's entry instead
    // of holding a second copy of its pixels; every spelling stays a key.
    void addTex(const std::string& path);
    // The GL name of path for slot contextIndex (0..kTextureSlots-1); 0 when
    // that slot was never uploaded, the slot is out of range, or the path is
    // unknown (the last case with a console line).
    uint32_t getTexid(const std::string& path, int contextIndex) const;
    // Creates or recreates the GL texture of every entry for one slot, in
    // path order; other slots' names stay. The slot's GL context must be
    // current.
    void uploadAll(int contextIndex);
    // The entry of path, or null (for inspection).
    const TextureEntry* find(const std::string& path) const;

    // Multi-group OBJ reader: reads the OBJ file at path into one new ObjMesh
    // per group, appended to out (the caller owns them). forceNormals
    // recomputes normals even when the file has them. Returns 1 on success, 0
    // when the file cannot be read. Implemented with the mesh readers in
    // geometry/ObjGroupReader.cpp.
    static int loadObjGroups(const std::string& path, bool forceNormals, std::vector<ObjMesh*>& out);

private:
    ResourceManager();

    // The entry of path, through its alias when it is another spelling.
    std::map<std::string, TextureEntry>::const_iterator lookup(const std::string& path) const;

    std::map<std::string, TextureEntry> m_textures;          // by the first spelling loaded
    std::map<std::string, std::string> m_files;              // canonical file -> key in m_textures
    std::map<std::string, std::string> m_aliases;            // other spelling -> key in m_textures
};
