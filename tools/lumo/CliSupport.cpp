#include "tools/lumo/CliSupport.h"

#include "base/Paths.h"
#include "base/Trace.h"
#include "base/WholeFile.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace lumo_cli {

std::string Args::value(const std::string& name) const {
    const auto it = options.find(name);
    return it == options.end() ? std::string() : it->second;
}

bool parseArgs(int argc, char** argv, int first, const std::vector<std::string>& valueOptions,
               const std::vector<std::string>& flags, Args& out, std::string& error) {
    auto listed = [](const std::vector<std::string>& list, const std::string& s) {
        return std::find(list.begin(), list.end(), s) != list.end();
    };
    for (int i = first; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.size() < 2 || a.compare(0, 2, "--") != 0) {
            out.positional.push_back(a);
        } else if (listed(valueOptions, a)) {
            if (i + 1 >= argc) {
                error = a + " needs a value";
                return false;
            }
            out.options[a] = argv[++i];
        } else if (listed(flags, a)) {
            out.options[a] = "";
        } else {
            error = "unknown option " + a;
            return false;
        }
    }
    return true;
}

Console::Console(bool verbose) : m_verbose(verbose) { Trace::setEnabled(verbose); }

Console::~Console() = default;

void Console::out(const std::string& text) const {
    Trace::setEnabled(true);
    Trace::out("%s\n", text.c_str());
    Trace::setEnabled(m_verbose);
}

void Console::err(const std::string& text) const {
    Trace::setEnabled(true);
    Trace::err("%s\n", text.c_str());
    Trace::setEnabled(m_verbose);
}

void jsonString(JsonWriter& w, const std::string& s) { w.String(s.data(), static_cast<rapidjson::SizeType>(s.size())); }

bool openProject(const std::string& path, const std::string& rootOption, OpenedProject& out, std::string& error) {
    std::error_code ec;
    const fs::path file = fs::absolute(path, ec);
    if (ec) {
        error = "cannot resolve " + path;
        return false;
    }
    out.path = path;
    if (!rootOption.empty()) {
        out.root = rootOption;
    } else {
        const fs::path projects = file.parent_path().parent_path();
        if (projects.filename() != "Projects") {
            error = path + " is not inside <workspace>/Projects/<name>/; give the workspace with --root";
            return false;
        }
        out.root = projects.parent_path().string();
    }
    if (!ProjectDocument::fromFile(path, out.doc, &error)) {
        while (!error.empty() && error.back() == '\n')
            error.pop_back();
        error = path + ": " + error;
        return false;
    }
    return true;
}

std::string workspacePath(const std::string& root, const std::string& path) {
    if (path.size() > 1 && path[0] == '.' && path[1] == '/')
        return pathJoin(root, path.substr(2));
    return path;
}

namespace {

const char* kDevPublicKey = "data/tools/sign_key_dev.pub.pem";

std::string findRootUpward(fs::path start) {
    std::error_code ec;
    start = fs::absolute(start, ec);
    for (fs::path p = start; !p.empty(); p = p.parent_path()) {
        if (fs::exists(p / kDevPublicKey, ec))
            return p.string();
        if (p == p.parent_path())
            break;
    }
    return {};
}

void addPublicKeyFile(const std::string& file, std::vector<vexa::format::PublicKey>& keys,
                      std::vector<std::string>& notes) {
    std::string pem, reason;
    vexa::format::PublicKey key;
    if (!readWholeFile(file, pem, 1 << 20) || !vexa::format::parsePublicKeyPem(pem, key, reason)) {
        notes.push_back("public key " + file + " not usable" + (reason.empty() ? "" : ": " + reason));
        return;
    }
    keys.push_back(key);
}

} // namespace

std::vector<vexa::format::PublicKey> trustedKeys(const std::string& rootOption, const std::string& near,
                                                 const std::string& keyOption, std::vector<std::string>& notes) {
    std::vector<vexa::format::PublicKey> keys;
    std::string root = rootOption;
    if (root.empty() && !near.empty())
        root = findRootUpward(fs::path(near).parent_path());
    if (root.empty())
        root = findRootUpward(fs::current_path());
    if (!root.empty())
        addPublicKeyFile(pathJoin(root, kDevPublicKey), keys, notes);
    if (const char* pub = std::getenv("LUMO_SIGN_PUBKEY"))
        addPublicKeyFile(pub, keys, notes);
    if (const char* priv = std::getenv("LUMO_SIGN_KEY")) {
        std::string pem, reason;
        vexa::format::PublicKey key;
        if (readWholeFile(priv, pem, 1 << 20) && vexa::format::publicKeyOfPrivatePem(pem, key, reason))
            keys.push_back(key);
        else
            notes.push_back(std::string("LUMO_SIGN_KEY ") + priv + " not usable" + (reason.empty() ? "" : ": " + reason));
    }
    if (!keyOption.empty())
        addPublicKeyFile(keyOption, keys, notes);
    if (keys.empty())
        notes.push_back("no trusted public key found (give --root or --key)");
    return keys;
}

bool verifyBundleFile(const std::string& path, const std::vector<vexa::format::PublicKey>& keys,
                      std::string& keyId, std::string& reason) {
    std::vector<uint8_t> bytes;
    if (!readWholeFile(path, bytes, kMaxBundleBytes)) {
        reason = "cannot read " + path + " (missing, unreadable or over 1 GiB)";
        return false;
    }
    vexa::format::BundleHeader header;
    std::string ignored;
    if (vexa::format::checkBundle(bytes.data(), bytes.size(), {}, vexa::format::SignatureCheck::SkipForTesting,
                                  header, ignored))
        keyId = vexa::format::keyIdHex(header.keyId);
    const std::unique_ptr<vexa::format::Bundle> bundle =
        vexa::format::openBundle(bytes.data(), bytes.size(), keys, vexa::format::SignatureCheck::Required, reason);
    return bundle != nullptr;
}

} // namespace lumo_cli
