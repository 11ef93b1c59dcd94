#include "images/ResourceManager.h"

#include "base/SharedInstance.h"
#include "base/Trace.h"
#include "images/ImageBuffer.h"

#include <filesystem>
#include <system_error>

namespace {

// The file a path names, however it is spelled ("./a.png", "x/../a.png", a
// link); empty when that cannot be told.
std::string canonicalFile(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(path, ec);
    return ec ? std::string() : resolved.string();
}

// Converts a BGRA/BGR/grey buffer as imread gives it to R, G, B, A bytes in
// the same row order.
void toRgba(const ImageBuffer& image, std::vector<uint8_t>& rgba) {
    const size_t count = size_t(image.width) * size_t(image.height);
    const size_t c = size_t(image.channels);
    rgba.resize(count * 4);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* s = image.data.data() + i * c;
        uint8_t* d = rgba.data() + i * 4;
        if (c == 1) {
            d[0] = d[1] = d[2] = d[3] = s[0];
        } else {
            d[0] = s[2];
            d[1] = s[1];
            d[2] = s[0];
            d[3] = c == 4 ? s[3] : 255;
        }
    }
}

} // namespace

std::shared_ptr<ResourceManager> ResourceManager::instance() {
    static std::mutex mutex;
    static std::shared_ptr<ResourceManager> shared;
    return sharedInstance(shared, mutex, [] {
        Trace::out("creat ResourceManager\n");
        return new ResourceManager();
    });
}

ResourceManager::ResourceManager() = default;

ResourceManager::~ResourceManager() {
    Trace::out("ResourceManager::~ResourceManager()\n");
    Trace::out("ResourceManager::delete all Textures()\n");
    m_textures.clear();
}

void ResourceManager::addTex(const std::string& path) {
    Trace::out("addTex(%s)\n", path.c_str());
    if (m_textures.count(path) || m_aliases.count(path))
        return;
    const std::string file = canonicalFile(path);
    const auto known = file.empty() ? m_files.end() : m_files.find(file);
    if (known != m_files.end()) {
        m_aliases.emplace(path, known->second);
        return;
    }
    TextureEntry& entry = m_textures.emplace(path, TextureEntry()).first->second;

    ImageBuffer image;
    const bool loaded = image.imread(path) &&
                        (image.channels == 1 || image.channels == 3 || image.channels == 4) &&
                        image.data.size() == image.expectedSize();
    if (!loaded) {
        Trace::err("Load Texture failed: %s\n", path.c_str());
        return;
    }
    if (!file.empty())
        m_files.emplace(file, path);
    entry.path = path;
    entry.width = image.width;
    entry.height = image.height;
    entry.channels = 4;
    toRgba(image, entry.pixels);
    Trace::err("Load Texture end\n");
}

std::map<std::string, TextureEntry>::const_iterator ResourceManager::lookup(const std::string& path) const {
    const auto alias = m_aliases.find(path);
    return m_textures.find(alias == m_aliases.end() ? path : alias->second);
}

uint32_t ResourceManager::getTexid(const std::string& path, int contextIndex) const {
    const auto it = lookup(path);
    if (it == m_textures.end()) {
        Trace::out("!!!\ngetTexid %s not found\n\n", path.c_str());
        return 0;
    }
    if (contextIndex < 0 || contextIndex >= kTextureSlots)
        return 0;
    return it->second.texId[contextIndex];
}

void ResourceManager::uploadAll(int contextIndex) {
    if (contextIndex < 0 || contextIndex >= kTextureSlots) {
        Trace::out("uploadAll, context slot %d out of range\n", contextIndex);
        return;
    }
    for (auto& item : m_textures) {
        TextureEntry& entry = item.second;
        entry.contextIndex = contextIndex;
        uploadTexture(entry.pixels, entry.width, entry.height, entry.channels, entry.texId,
                      entry.contextIndex);
    }
}

const TextureEntry* ResourceManager::find(const std::string& path) const {
    const auto it = lookup(path);
    return it == m_textures.end() ? nullptr : &it->second;
}
