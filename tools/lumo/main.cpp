// lumo: the editor's project model on the command line, for build scripts
// and CI. No window, no display and no GL context are needed.

#include "tools/lumo/CliSupport.h"

#include "base/Trace.h"

#include <string>

namespace {

const char* kUsage =
    "usage: lumo <command> [arguments] [--json] [--help]\n"
    "\n"
    "commands:\n"
    "  check <project.lumoproj>   report missing or unreadable files, sequence gaps,\n"
    "                             unknown face actions and bad trigger combinations\n"
    "  pack <project.lumoproj>    build, zip and sign the project's bundle\n"
    "  verify <file.bundle>       check a signed bundle\n"
    "  info <file.bundle>         list a bundle's files, atlases, nodes and signer\n"
    "\n"
    "lumo <command> --help describes each command. Exit status: 0 success,\n"
    "1 problems found or failure, 2 wrong arguments.";

} // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "check")
        return lumoCheck(argc, argv, 2);
    if (command == "pack")
        return lumoPack(argc, argv, 2);
    if (command == "verify")
        return lumoVerify(argc, argv, 2);
    if (command == "info")
        return lumoInfo(argc, argv, 2);
    if (command == "--help" || command == "-h" || command == "help") {
        Trace::out("%s\n", kUsage);
        return lumo_cli::kOk;
    }
    Trace::err("%s%s\n", command.empty() ? "" : ("unknown command " + command + "\n\n").c_str(), kUsage);
    return lumo_cli::kUsage;
}
