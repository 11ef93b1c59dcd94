// lumo pack: the pack button's pipeline without the editor. The project is
// read into MainDataHolder as opening it in the editor would, copied into a
// ProjectSnapshot and packed by PackController; the signed bundle is then
// checked with the trusted keys.

#include "tools/lumo/CliSupport.h"

#include "base/Paths.h"
#include "base/Trace.h"
#include "base/WholeFile.h"
#include "pack/PackController.h"
#include "pack/PackStatusSink.h"
#include "scene/MainDataHolder.h"
#include "scene/ProjectSnapshot.h"

#include <filesystem>
#include <memory>

using namespace lumo_cli;

namespace {

const char* kHelp =
    "usage: lumo pack <project.lumoproj> [--option auto|step1|step2] [--out DIR]\n"
    "                 [--no-cache] [--root DIR] [--key PUBKEY.pem] [--json] [--verbose]\n"
    "\n"
    "Packs the project as the editor's pack button does: the outputs go to\n"
    "<root>/Projects/<name>/ (out/, zip/, build/iOS/<name>.bundle and\n"
    "build/Android/<name>.mp3); progress is shown on standard error.\n"
    "  --option auto    build out/, zip and sign (default)\n"
    "  --option step1   only build out/\n"
    "  --option step2   only zip and sign the existing out/\n"
    "  --out DIR        also copy the bundle and the .mp3 into DIR\n"
    "  --no-cache       build every output anew, neither reading nor filling the\n"
    "                   project's pack cache (build/packcache); the outputs are\n"
    "                   the same bytes either way\n"
    "  --key FILE       trust this Ed25519 public key (PEM) as well\n"
    "Exit status: 0 only when the pack succeeded and (auto, step2) the signed\n"
    "bundle verifies; 1 otherwise; 2 wrong arguments.";

// Progress and status messages as terminal lines.
class TerminalSink : public PackStatusSink {
public:
    explicit TerminalSink(const Console& console) : m_console(console) {}
    void showMessage(const std::string& text, int) override { m_console.err("lumo pack: " + text); }
    void setProgress(int value) override { show(value); }
    void advanceProgress(int n) override { show(std::min(100, m_progress + n)); }

private:
    void show(int value) {
        if (value == m_progress)
            return;
        m_progress = value;
        m_console.err("lumo pack: " + std::to_string(value) + "%");
    }
    const Console& m_console;
    int m_progress = -1;
};

bool optionCode(const std::string& text, int& option) {
    if (text.empty() || text == "auto")
        option = PackController::Auto;
    else if (text == "step1")
        option = PackController::Step1;
    else if (text == "step2")
        option = PackController::Step2;
    else
        return false;
    return true;
}

bool copyInto(const std::string& file, const std::string& folder, std::string& copied) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    std::string bytes;
    copied = pathJoin(folder, std::filesystem::path(file).filename().string());
    return readWholeFile(file, bytes) && writeWholeFile(copied, bytes.data(), bytes.size());
}

struct PackResult {
    bool packed = false;
    bool verified = false;
    std::string bundle, android, keyId, reason;
    std::vector<std::string> copies;
};

// Loads the project into the holder and packs it; never throws.
bool runPack(const OpenedProject& project, int option, bool useCache, const Console& console, PackResult& result) {
    try {
        std::shared_ptr<MainDataHolder> holder = MainDataHolder::instance();
        if (!holder->init(project.root)) {
            result.reason = "the reference data under " + project.root + "/data cannot be loaded";
            return false;
        }
        holder->parseTemplate();
        holder->loadFaceActions();
        holder->projectType = project.doc.projecttype;
        ProjectTree tree;
        project.doc.applyTo(*holder, tree);
        linkGroupChains(tree);
        // A project copied without its output folders still packs.
        std::error_code ec;
        const std::filesystem::path dir = std::filesystem::path(project.root) / "Projects" / project.doc.projectname;
        for (const char* sub : {"out", "zip", "fcopy", "build/iOS", "build/Android"})
            std::filesystem::create_directories(dir / sub, ec);
        // Paths such as "./data/ref/white.png" are relative to the workspace.
        std::filesystem::current_path(project.root);
        auto snapshot = std::make_shared<const ProjectSnapshot>(ProjectSnapshot::capture(*holder));
        TerminalSink sink(console);
        PackController controller = PackController::forSnapshot(snapshot, &sink, useCache);
        result.packed = controller.packProject(snapshot->projectType, option);
        result.bundle = controller.iosBundlePath();
        result.android = controller.androidBundlePath();
        if (!result.packed)
            result.reason = "the pack failed (see the lines above, or --verbose)";
        return result.packed;
    } catch (const std::exception& e) {
        result.reason = std::string("pack stopped: ") + e.what();
    } catch (...) {
        result.reason = "pack stopped by an unknown error";
    }
    return false;
}

} // namespace

int lumoPack(int argc, char** argv, int first) {
    Args args;
    std::string error;
    int option = PackController::Auto;
    if (!parseArgs(argc, argv, first, {"--option", "--out", "--root", "--key"},
                   {"--json", "--help", "--verbose", "--no-cache"}, args, error) ||
        (!args.has("--help") && args.positional.size() != 1) || !optionCode(args.value("--option"), option)) {
        Trace::err("%s\n%s\n", error.empty() ? "lumo pack needs one project file and a known --option" : error.c_str(),
                   kHelp);
        return kUsage;
    }
    if (args.has("--help")) {
        Trace::out("%s\n", kHelp);
        return kOk;
    }
    const Console console(args.has("--verbose"));
    OpenedProject project;
    PackResult result;
    std::error_code ec;
    const std::string outDir = args.has("--out") ? std::filesystem::absolute(args.value("--out"), ec).string() : "";
    if (!openProject(args.positional[0], args.value("--root"), project, error)) {
        result.reason = error;
    } else if (project.doc.projecttype & kProjectFilter) {
        result.reason = "filter projects are made by the filter generator; there is nothing to pack";
    } else {
        project.root = std::filesystem::absolute(project.root, ec).string();
        console.err("lumo pack: packing " + project.doc.projectname + " in " + project.root);
        if (runPack(project, option, !args.has("--no-cache"), console, result) && option != PackController::Step1) {
            std::vector<std::string> notes;
            const auto keys = trustedKeys(project.root, "", args.value("--key"), notes);
            for (const std::string& note : notes)
                console.err("lumo pack: " + note);
            result.verified = verifyBundleFile(result.bundle, keys, result.keyId, result.reason);
            if (result.verified && !outDir.empty())
                for (const std::string& file : {result.bundle, result.android}) {
                    std::string copied;
                    if (copyInto(file, outDir, copied)) {
                        result.copies.push_back(copied);
                    } else {
                        result.verified = false;
                        result.reason = "cannot copy " + file + " into " + outDir;
                    }
                }
        }
    }
    const bool ok = result.packed && (option == PackController::Step1 || result.verified);
    if (args.has("--json")) {
        rapidjson::StringBuffer buffer;
        JsonWriter w(buffer);
        w.StartObject();
        w.Key("project");
        jsonString(w, args.positional[0]);
        w.Key("ok");
        w.Bool(ok);
        w.Key("packed");
        w.Bool(result.packed);
        w.Key("verified");
        w.Bool(result.verified);
        w.Key("bundle");
        jsonString(w, result.bundle);
        w.Key("android");
        jsonString(w, result.android);
        w.Key("keyId");
        jsonString(w, result.keyId);
        w.Key("copies");
        w.StartArray();
        for (const std::string& c : result.copies)
            jsonString(w, c);
        w.EndArray();
        w.Key("error");
        jsonString(w, ok ? "" : result.reason);
        w.EndObject();
        console.out(buffer.GetString());
    } else if (ok) {
        console.out(option == PackController::Step1 ? "packed out/ of " + project.doc.projectname
                                                    : "packed and verified " + result.bundle + " (key " +
                                                          result.keyId + ")");
        for (const std::string& c : result.copies)
            console.out("copied to " + c);
    } else {
        console.err("lumo pack: FAILED: " + result.reason);
    }
    return ok ? kOk : kFailed;
}
