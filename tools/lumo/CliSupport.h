#pragma once
// Shared pieces of the `lumo` command line: argument parsing, the report
// output (text or JSON), locating a project's workspace and the keys a
// bundle is checked with.

#include "scene/ProjectDocument.h"
#include "vexa/format/BundleReader.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <map>
#include <string>
#include <vector>

namespace lumo_cli {

// Exit codes of every command.
enum Exit { kOk = 0, kFailed = 1, kUsage = 2 };

// The arguments after the command name: "--name value" options (for the
// names in valueOptions), "--flag" flags and positional words.
struct Args {
    std::vector<std::string> positional;
    std::map<std::string, std::string> options; // "--out" -> "DIR"; flags map to ""
    bool has(const std::string& name) const { return options.count(name) != 0; }
    std::string value(const std::string& name) const;
};

// Parses argv[first..argc). False, with `error` set, for an unknown option
// or an option that misses its value.
bool parseArgs(int argc, char** argv, int first, const std::vector<std::string>& valueOptions,
               const std::vector<std::string>& flags, Args& out, std::string& error);

// The command's own output. The core's trace lines are silenced for the
// rest of the process (unless verbose); report lines still reach the
// console.
class Console {
public:
    explicit Console(bool verbose);
    ~Console();
    // One report line on standard output / progress or error on standard error.
    void out(const std::string& text) const;
    void err(const std::string& text) const;

private:
    bool m_verbose;
};

using JsonWriter = rapidjson::Writer<rapidjson::StringBuffer>;
void jsonString(JsonWriter& w, const std::string& s);

// A project file with its workspace root.
struct OpenedProject {
    std::string path;
    std::string root; // holds data/ and Projects/
    ProjectDocument doc;
};

// Reads the project at path. The root is rootOption when given, else the
// folder three levels up (<root>/Projects/<name>/<name>.lumoproj). False,
// with the reason, when the file is refused or not inside a workspace.
bool openProject(const std::string& path, const std::string& rootOption, OpenedProject& out, std::string& error);

// A path of the workspace as the editor reads it: "./x" relative to root.
std::string workspacePath(const std::string& root, const std::string& path);

// The public keys bundles are checked with: the development key under
// root/data/tools (root: rootOption, else the first folder holding
// data/tools/sign_key_dev.pub.pem upward from `near` or the current folder),
// the key file of LUMO_SIGN_PUBKEY, the public half of LUMO_SIGN_KEY, and
// keyOption (a public key PEM). Keys that cannot be read are noted in
// `notes`.
std::vector<vexa::format::PublicKey> trustedKeys(const std::string& rootOption, const std::string& near,
                                                 const std::string& keyOption, std::vector<std::string>& notes);

// Checks the bundle file with the keys. `keyId` gets the header's signer key
// id (hex) when the header could be read.
bool verifyBundleFile(const std::string& path, const std::vector<vexa::format::PublicKey>& keys,
                      std::string& keyId, std::string& reason);

// Bundles are refused above this size unread.
constexpr uint64_t kMaxBundleBytes = 1ull << 30;

} // namespace lumo_cli

// The commands: argv[first] is the first argument after the command name.
int lumoCheck(int argc, char** argv, int first);
int lumoPack(int argc, char** argv, int first);
int lumoVerify(int argc, char** argv, int first);
int lumoInfo(int argc, char** argv, int first);
