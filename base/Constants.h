#pragma once
// Names shared across subsystems: workspace-relative paths and tags.

namespace lumo {
inline constexpr const char* kBundleExtension = ".bundle";
inline constexpr const char* kFilterToolPath = "./bins/Tintworks";
inline constexpr const char* kIosBuildSubfolder = "/build/iOS/";
inline constexpr const char* kProjectsFolder = "Projects/";
inline constexpr const char* kVexaDataBlob = "data/vexa/v3.bundle";
inline constexpr const char* kVersionTag = "lumoeditor_3_0_1";
inline constexpr const char* kVersionTitle = "LumoEditor V3.0.1";
inline constexpr const char* kAtlasDescriptor = "/out/bigtex_desc.json";
inline constexpr const char* kDescriptor = "/out/desc.json";
inline constexpr const char* kScript = "/out/script.js";
inline constexpr const char* kEyeShader = "/out/eyes.glsl";
inline constexpr const char* kScriptTemplate = "/data/tools/script.js";
inline constexpr const char* kEyeShaderTemplate = "/data/tools/eyes.glsl";
// Files of the 3D template folder, in the order they are copied into a bundle.
inline constexpr const char* k3dTemplateFiles[] = {"frag.glsl", "vert.glsl", "white.png",
                                                   "desc.json", "script.js", "grey.png"};
} // namespace lumo
