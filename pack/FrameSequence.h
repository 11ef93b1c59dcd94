#pragma once
// Naming of the frames of a numbered image sequence: a texture path such as
// "/a/b/walk_00003.png" stands for the frames "/a/b/walk_00000.png",
// "/a/b/walk_00001.png", ... (prefix, "_", five-digit index, extension).

#include <string>

class FrameSequence {
public:
    // Splits texturePath into folder, stem and extension (see splitPath) and
    // the prefix: the stem up to its last "_". False when the stem holds no
    // "_" (the prefix then stays empty); the other parts are filled anyway.
    bool parse(const std::string& texturePath);

    // Full path of frame n: the folder joined with "<prefix>_<n, %05d><ext>"
    // ("/" inserted only when the folder does not end in "/" or "\").
    std::string framePath(int n) const;
    // The frame's file name alone.
    std::string frameName(int n) const;
    // The key of the sequence: the folder joined with the prefix.
    std::string key() const;

    const std::string& folder() const { return m_folder; }
    const std::string& stem() const { return m_stem; }
    const std::string& extension() const { return m_ext; }
    const std::string& prefix() const { return m_prefix; }

private:
    std::string m_folder;
    std::string m_stem;
    std::string m_ext;
    std::string m_prefix;
};
