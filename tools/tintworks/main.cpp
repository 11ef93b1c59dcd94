// Tintworks: makes and edits the colour-grading looks of filter projects.
//
//   Tintworks -c <name>.lumoproj [controls] [--batch]   create Projects/<name>/
//   Tintworks -o <name>.lumoproj [controls] [--batch]   open an existing one
//   controls: --brightness V --contrast V --saturation V --temperature V,
//             each V in [-1, 1] (0: no change)
//
// Paths are relative to the working directory (the editor's workspace).
// Without --batch the look opens in the editing dialog; with it, the files
// are written and the program ends. Exit status 0 on success, 1 when the
// project is refused or cannot be written, 2 for a malformed command line.

#include "base/Trace.h"
#include "tools/tintworks/FilterProject.h"
#include "tools/tintworks/TintworksDialog.h"

#include <QApplication>
#include <QCoreApplication>
#include <QTimer>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

namespace {

const char* const kProjectsDir = "Projects";
const char* const kPictureDir = "data/ref";

struct Options {
    enum Mode { None, Create, Open } mode = None;
    std::string file;
    bool batch = false;
    std::optional<double> controls[4];
};

int usage(const char* why) {
    Trace::err("Tintworks: %s\n"
               "usage: Tintworks (-c <name>.lumoproj | -o <name>.lumoproj) [--batch]\n"
               "       [--brightness V] [--contrast V] [--saturation V] [--temperature V]  (V in -1..1)\n",
               why);
    return 2;
}

// Empty optional: malformed.
std::optional<Options> parse(int argc, char** argv, std::string& why) {
    Options o;
    const char* controlNames[4] = {"--brightness", "--contrast", "--saturation", "--temperature"};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--batch") {
            o.batch = true;
            continue;
        }
        if (i + 1 >= argc) {
            why = "missing value after " + arg;
            return std::nullopt;
        }
        const char* value = argv[++i];
        if (arg == "-c" || arg == "-o") {
            if (o.mode != Options::None) {
                why = "give one of -c and -o, once";
                return std::nullopt;
            }
            o.mode = arg == "-c" ? Options::Create : Options::Open;
            o.file = value;
            continue;
        }
        bool known = false;
        for (int c = 0; c < 4; ++c) {
            if (arg != controlNames[c])
                continue;
            char* end = nullptr;
            const double v = std::strtod(value, &end);
            if (end == value || *end != '\0' || !std::isfinite(v) || std::fabs(v) > 1.0) {
                why = arg + " needs a number from -1 to 1, not \"" + value + "\"";
                return std::nullopt;
            }
            o.controls[c] = v;
            known = true;
        }
        if (!known) {
            why = "unknown option " + arg;
            return std::nullopt;
        }
    }
    if (o.mode == Options::None) {
        why = "give -c or -o";
        return std::nullopt;
    }
    return o;
}

void applyControls(const Options& o, tint::Look& look) {
    double tint::Look::*fields[4] = {&tint::Look::brightness, &tint::Look::contrast, &tint::Look::saturation,
                                     &tint::Look::temperature};
    for (int c = 0; c < 4; ++c)
        if (o.controls[c])
            look.*fields[c] = *o.controls[c];
}

}  // namespace

int main(int argc, char** argv) {
    std::string why;
    const std::optional<Options> options = parse(argc, argv, why);
    if (!options)
        return usage(why.c_str());
    const Options& o = *options;

    std::unique_ptr<QCoreApplication> app;
    if (o.batch)
        app = std::make_unique<QCoreApplication>(argc, argv);
    else
        app = std::make_unique<QApplication>(argc, argv);

    tint::FilterProject project;
    std::string error;
    if (o.mode == Options::Create) {
        tint::Look look;
        applyControls(o, look);
        if (!tint::createProject(kProjectsDir, o.file, look, project, error)) {
            Trace::err("Tintworks: cannot create %s: %s\n", o.file.c_str(), error.c_str());
            return 1;
        }
        Trace::out("Tintworks: created %s\n", project.file.c_str());
    } else {
        if (!tint::openProject(kProjectsDir, o.file, project, error)) {
            Trace::err("Tintworks: cannot open %s: %s\n", o.file.c_str(), error.c_str());
            return 1;
        }
        applyControls(o, project.look);
        if (o.batch) {
            if (!tint::saveProject(project, error)) {
                Trace::err("Tintworks: cannot save %s: %s\n", project.file.c_str(), error.c_str());
                return 1;
            }
            Trace::out("Tintworks: saved %s\n", project.file.c_str());
        }
    }
    if (o.batch)
        return 0;

    TintworksDialog dialog(project, kPictureDir);
    dialog.show();
    const char* quitAfter = std::getenv("LUMO_QUIT_AFTER_MS");
    if (quitAfter && std::atoi(quitAfter) > 0)
        QTimer::singleShot(std::atoi(quitAfter), &dialog, [&dialog] { dialog.reject(); });
    dialog.exec();
    return 0;
}
