// lumo verify and lumo info: a signed bundle checked with the trusted keys
// through the runtime's bundle-format reader, and described.

#include "tools/lumo/CliSupport.h"

#include "base/Trace.h"
#include "base/WholeFile.h"

#include <rapidjson/document.h>
#include <webp/decode.h>

#include <algorithm>
#include <array>
#include <set>

using namespace lumo_cli;
namespace vf = vexa::format;

namespace {

const char* kVerifyHelp =
    "usage: lumo verify <file.bundle> [--root DIR] [--key PUBKEY.pem] [--json]\n"
    "\n"
    "Checks the bundle's header, its Ed25519 signature over header and zip, and\n"
    "the zip's directory. Trusted keys: the development key of the workspace\n"
    "(--root, else found upward from the bundle or the current folder), the key\n"
    "file of LUMO_SIGN_PUBKEY, the public half of LUMO_SIGN_KEY, and --key.\n"
    "Exit status: 0 verified, 1 refused, 2 wrong arguments.";

const char* kInfoHelp =
    "usage: lumo info <file.bundle> [--root DIR] [--key PUBKEY.pem] [--json]\n"
    "\n"
    "Lists the files of a bundle with their sizes, the texture atlases with their\n"
    "size and fill (share of the atlas covered by frames), the node count (2D:\n"
    "desc.json nodes, 3D: avatar.json draw calls) and the signer's key id.\n"
    "Trusted keys as for lumo verify. Exit status: 0 verified, 1 refused or not\n"
    "verified (still described when its zip can be read), 2 wrong arguments.";

bool commonArgs(int argc, char** argv, int first, const char* help, Args& args, int& exitCode) {
    std::string error;
    if (!parseArgs(argc, argv, first, {"--root", "--key"}, {"--json", "--help"}, args, error) ||
        (!args.has("--help") && args.positional.size() != 1)) {
        Trace::err("%s\n%s\n", error.empty() ? "one bundle file is needed" : error.c_str(), help);
        exitCode = kUsage;
        return false;
    }
    if (args.has("--help")) {
        Trace::out("%s\n", help);
        exitCode = kOk;
        return false;
    }
    return true;
}

struct Atlas {
    std::string name;
    int width = 0, height = 0;
    double fill = -1; // share of the area covered by frames; -1 unknown
};

struct Description {
    std::vector<vf::ZipEntry> entries;
    std::vector<Atlas> atlases;
    int nodes = -1; // -1: neither desc.json nor avatar.json readable
};

bool parseJson(const vf::ZipArchive& zip, const std::string& name, rapidjson::Document& doc) {
    std::string text, reason;
    if (!zip.has(name) || !zip.readText(name, text, reason))
        return false;
    doc.Parse<rapidjson::kParseIterativeFlag>(text.data(), text.size());
    return !doc.HasParseError();
}

// Frame rectangles per atlas from desc.json ("vt": 8 coordinates in [0, 1]
// of the atlas, "bigtexidx"); a frame shared by several nodes counts once.
void measureFill(const rapidjson::Document& desc, std::vector<Atlas>& atlases) {
    std::set<std::array<double, 5>> rects;
    for (const auto& node : desc.GetArray()) {
        if (!node.IsObject() || !node.HasMember("texture_frames") || !node["texture_frames"].IsArray())
            continue;
        for (const auto& frame : node["texture_frames"].GetArray()) {
            if (!frame.IsObject() || !frame.HasMember("vt") || !frame.HasMember("bigtexidx") ||
                !frame["vt"].IsArray() || frame["vt"].Size() != 8 || !frame["bigtexidx"].IsInt())
                continue;
            const auto& vt = frame["vt"];
            double x0 = 1, x1 = 0, y0 = 1, y1 = 0;
            bool numbers = true;
            for (rapidjson::SizeType k = 0; k < 8; ++k) {
                numbers = numbers && vt[k].IsNumber();
                const double v = numbers ? vt[k].GetDouble() : 0;
                (k % 2 ? y0 : x0) = std::min(k % 2 ? y0 : x0, v);
                (k % 2 ? y1 : x1) = std::max(k % 2 ? y1 : x1, v);
            }
            if (numbers)
                rects.insert({double(frame["bigtexidx"].GetInt()), x0, y0, x1, y1});
        }
    }
    for (Atlas& a : atlases)
        a.fill = 0;
    for (const auto& r : rects) {
        const double index = r[0];
        if (index >= 0 && index < double(atlases.size()))
            atlases[size_t(index)].fill += std::max(0.0, r[3] - r[1]) * std::max(0.0, r[4] - r[2]);
    }
    for (Atlas& a : atlases)
        a.fill = std::min(1.0, a.fill);
}

Description describe(const vf::ZipArchive& zip) {
    Description d;
    d.entries = zip.entries();
    rapidjson::Document doc;
    if (parseJson(zip, "bigtex_desc.json", doc) && doc.IsObject() && doc.HasMember("bigtexs") &&
        doc["bigtexs"].IsArray()) {
        for (const auto& name : doc["bigtexs"].GetArray()) {
            if (!name.IsString())
                continue;
            Atlas a;
            a.name = name.GetString();
            std::vector<uint8_t> bytes;
            std::string reason;
            if (zip.read(a.name, bytes, reason))
                WebPGetInfo(bytes.data(), bytes.size(), &a.width, &a.height);
            d.atlases.push_back(a);
        }
    }
    rapidjson::Document desc;
    if (parseJson(zip, "desc.json", desc) && desc.IsArray()) {
        d.nodes = int(desc.Size());
        measureFill(desc, d.atlases);
    } else if (rapidjson::Document avatar;
               parseJson(zip, "avatar.json", avatar) && avatar.IsObject() && avatar.HasMember("drawcalls") &&
               avatar["drawcalls"].IsArray()) {
        d.nodes = int(avatar["drawcalls"].Size());
    }
    return d;
}

struct Checked {
    std::vector<uint8_t> bytes;
    std::unique_ptr<vf::Bundle> bundle;
    bool verified = false;
    std::string keyId, reason;
};

// Verifies the bundle; when `describeAnyway` the zip is opened without the
// signature rules if verification failed.
Checked check(const Args& args, bool describeAnyway, const Console& console) {
    Checked c;
    const std::string& path = args.positional[0];
    std::vector<std::string> notes;
    const auto keys = trustedKeys(args.value("--root"), path, args.value("--key"), notes);
    for (const std::string& note : notes)
        console.err("lumo: " + note);
    if (!readWholeFile(path, c.bytes, kMaxBundleBytes)) {
        c.reason = "cannot read " + path + " (missing, unreadable or over 1 GiB)";
        return c;
    }
    vf::BundleHeader header;
    std::string ignored;
    if (vf::checkBundle(c.bytes.data(), c.bytes.size(), {}, vf::SignatureCheck::SkipForTesting, header, ignored))
        c.keyId = vf::keyIdHex(header.keyId);
    c.bundle = vf::openBundle(c.bytes.data(), c.bytes.size(), keys, vf::SignatureCheck::Required, c.reason);
    c.verified = c.bundle != nullptr;
    if (!c.verified && describeAnyway)
        c.bundle = vf::openBundle(c.bytes.data(), c.bytes.size(), {}, vf::SignatureCheck::SkipForTesting, ignored);
    return c;
}

// The described contents: "files", "atlases" and "nodes".
void writeDescription(JsonWriter& w, const Description& d) {
    w.Key("files");
    w.StartArray();
    for (const vf::ZipEntry& e : d.entries) {
        w.StartObject();
        w.Key("name");
        jsonString(w, e.name);
        w.Key("size");
        w.Uint64(e.size);
        w.Key("compressedSize");
        w.Uint64(e.compressedSize);
        w.EndObject();
    }
    w.EndArray();
    w.Key("atlases");
    w.StartArray();
    for (const Atlas& a : d.atlases) {
        w.StartObject();
        w.Key("name");
        jsonString(w, a.name);
        w.Key("width");
        w.Int(a.width);
        w.Key("height");
        w.Int(a.height);
        w.Key("fill");
        a.fill < 0 ? w.Null() : w.Double(a.fill);
        w.EndObject();
    }
    w.EndArray();
    w.Key("nodes");
    w.Int(d.nodes);
}

// The --json report on one line: "bundle", "verified" and "keyId", the
// command's own keys written by body(w), then "error".
template <class Body>
void printJsonReport(const Console& console, const std::string& path, const Checked& c, Body body) {
    rapidjson::StringBuffer buffer;
    JsonWriter w(buffer);
    w.StartObject();
    w.Key("bundle");
    jsonString(w, path);
    w.Key("verified");
    w.Bool(c.verified);
    w.Key("keyId");
    jsonString(w, c.keyId);
    body(w);
    w.Key("error");
    jsonString(w, c.verified ? "" : c.reason);
    w.EndObject();
    console.out(buffer.GetString());
}

} // namespace

int lumoVerify(int argc, char** argv, int first) {
    Args args;
    int code = kOk;
    if (!commonArgs(argc, argv, first, kVerifyHelp, args, code))
        return code;
    const Console console(false);
    const Checked c = check(args, false, console);
    const std::string& path = args.positional[0];
    if (args.has("--json")) {
        printJsonReport(console, path, c, [&](JsonWriter& w) {
            w.Key("entries");
            w.Int(c.verified ? int(c.bundle->zip->entries().size()) : 0);
        });
    } else if (c.verified) {
        console.out("verified " + path + ": signed by key " + c.keyId + ", " +
                    std::to_string(c.bundle->zip->entries().size()) + " entries");
    } else {
        console.out("REFUSED " + path + ": " + c.reason);
    }
    return c.verified ? kOk : kFailed;
}

int lumoInfo(int argc, char** argv, int first) {
    Args args;
    int code = kOk;
    if (!commonArgs(argc, argv, first, kInfoHelp, args, code))
        return code;
    const Console console(false);
    const Checked c = check(args, true, console);
    const std::string& path = args.positional[0];
    if (!c.bundle) {
        console.out("REFUSED " + path + ": " + c.reason);
        return kFailed;
    }
    const Description d = describe(*c.bundle->zip);
    if (args.has("--json")) {
        printJsonReport(console, path, c, [&](JsonWriter& w) { writeDescription(w, d); });
    } else {
        console.out("bundle: " + path);
        console.out("signer key id: " + c.keyId + (c.verified ? " (verified)" : " (NOT VERIFIED: " + c.reason + ")"));
        console.out("files: " + std::to_string(d.entries.size()));
        for (const vf::ZipEntry& e : d.entries)
            console.out("  " + e.name + "  " + std::to_string(e.size) + " bytes (" +
                        std::to_string(e.compressedSize) + " compressed)");
        console.out("atlases: " + std::to_string(d.atlases.size()));
        for (const Atlas& a : d.atlases) {
            char fill[32] = "unknown";
            if (a.fill >= 0)
                std::snprintf(fill, sizeof fill, "%.1f%%", a.fill * 100.0);
            console.out("  " + a.name + "  " + std::to_string(a.width) + "x" + std::to_string(a.height) + "  fill " +
                        fill);
        }
        console.out("nodes: " + (d.nodes < 0 ? std::string("unknown") : std::to_string(d.nodes)));
    }
    return c.verified ? kOk : kFailed;
}
