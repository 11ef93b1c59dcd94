// The runtime's bundle reader against bundles signed by the signing script
// (node's crypto, not ours) and zips written by libzip: good bundles open with
// unzip's names and bytes, every damaged or foreign one is refused with its
// reason, and the zip layer keeps names inside the bundle.

#include "PackTestSupport.h"
#include "TestSupport.h"
#include "pack/ExternalTool.h"
#include "pack/ZipWriter.h"
#include "vexa/format/BundleReader.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <filesystem>
#include <random>

using namespace vexa::format;
using testing_support::readFile;
using testing_support::ScratchDir;
using testing_support::writeFile;

namespace {

const std::string kSource = LUMO_SOURCE_DIR;

std::vector<PublicKey> devKeys() {
    PublicKey k;
    std::string reason;
    EXPECT_TRUE(parsePublicKeyPem(readFile(kSource + "/data/tools/sign_key_dev.pub.pem"), k, reason)) << reason;
    return {k};
}

std::unique_ptr<Bundle> open(const std::string& bytes, std::string& reason,
                             SignatureCheck check = SignatureCheck::Required) {
    return openBundle(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), devKeys(), check, reason);
}

// Signs `zip` with the signing script (LUMO_SIGN_KEY when `key` is given).
std::string signZip(const ScratchDir& dir, const std::string& zip, const std::string& key = "") {
    pack_test::ScopedEnv env("LUMO_SIGN_KEY", key.empty() ? nullptr : key.c_str());
    const std::string out = dir.file("signed.bundle");
    const ToolResult r = ExternalTool::run({ExternalTool::find("node"), kSource + "/data/tools/sign_file.js", zip, out});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    return readFile(out);
}

// A zip made by libzip with the given (name, content) entries, names as given.
std::string rawZip(const ScratchDir& dir, const std::vector<std::pair<std::string, std::string>>& files) {
    const std::string path = dir.file("raw.zip");
    int err = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    EXPECT_NE(z, nullptr);
    for (const auto& f : files) {
        zip_source_t* s = zip_source_buffer(z, f.second.data(), f.second.size(), 0);
        EXPECT_GE(zip_file_add(z, f.first.c_str(), s, ZIP_FL_ENC_UTF_8), 0) << f.first;
    }
    EXPECT_EQ(zip_close(z), 0);
    return readFile(path);
}

// Wraps a zip in a header with a zero signature (readable only without the
// signature check).
std::string unsignedBundle(const std::string& zip) {
    std::string h = "LUMOBNDL";
    h += std::string("\1\0\1\0", 4) + std::string(8, '\0') + std::string("\x40\0\0\0", 4);
    for (int i = 0; i < 8; ++i)
        h += char((std::uint64_t(zip.size()) >> (8 * i)) & 0xff);
    return h + std::string(64, '\0') + zip;
}

struct SignedFixture {
    ScratchDir dir;
    std::string bundle;
    std::string folder;
    SignedFixture() {
        folder = dir.file("out");
        std::filesystem::create_directories(folder + "/sub");
        writeFile(folder + "/desc.json", "[{\"name\":\"a\"}]");
        writeFile(folder + "/sub/eyes.glsl", std::string(3000, 'x') + "void main(){}");
        std::string error;
        EXPECT_TRUE(ZipWriter::zipFolder(folder, dir.file("out.zip"), error)) << error;
        bundle = signZip(dir, dir.file("out.zip"));
    }
};

} // namespace

TEST(VexaFormat, devKeysParseToTheDocumentedIdAndPrivateMatchesPublic) {
    const std::vector<PublicKey> pub = devKeys();
    ASSERT_EQ(pub.size(), 1u);
    EXPECT_EQ(keyIdHex(pub[0].id), "47db3fcd194612d3");
    PublicKey fromPrivate;
    std::string reason;
    ASSERT_TRUE(publicKeyOfPrivatePem(readFile(kSource + "/data/tools/sign_key_dev.pem"), fromPrivate, reason));
    EXPECT_EQ(fromPrivate.raw, pub[0].raw);
    PublicKey k;
    EXPECT_FALSE(parsePublicKeyPem("-----BEGIN PUBLIC KEY-----\n!!\n-----END PUBLIC KEY-----\n", k, reason));
    EXPECT_FALSE(parsePublicKeyPem(readFile(kSource + "/data/tools/sign_key_dev.pem"), k, reason));
}

TEST(VexaFormat, signedBundleOpensWithUnzipsNamesAndBytes) {
    SignedFixture f;
    std::string reason;
    auto b = open(f.bundle, reason);
    ASSERT_TRUE(b) << reason;
    std::vector<std::string> names;
    for (const ZipEntry& e : b->zip->entries())
        names.push_back(e.name);
    EXPECT_EQ(names, pack_test::unzipNames(f.dir.file("out.zip")));
    std::string text;
    ASSERT_TRUE(b->zip->readText("sub/eyes.glsl", text, reason)) << reason;
    EXPECT_EQ(text, pack_test::unzipEntry(f.dir.file("out.zip"), "sub/eyes.glsl"));
    EXPECT_FALSE(b->zip->readText("sub/", text, reason));
    EXPECT_FALSE(b->zip->readText("missing.json", text, reason));
}

TEST(VexaFormat, refusesDamagedUnsignedForeignTruncatedAndRandomBundles) {
    SignedFixture f;
    const std::string keyPem = f.dir.file("foreign.pem");
    const ToolResult gen = ExternalTool::run(
        {ExternalTool::find("node"), "-e",
         "const c=require('crypto');const k=c.generateKeyPairSync('ed25519');require('fs').writeFileSync('" + keyPem +
             "',k.privateKey.export({type:'pkcs8',format:'pem'}))"});
    ASSERT_EQ(gen.exitCode, 0) << gen.output;
    std::string tampered = f.bundle;
    tampered[tampered.size() - 30] ^= 0x01;
    std::string headerChanged = f.bundle;
    headerChanged[8] = 2;
    std::string sigChanged = f.bundle;
    sigChanged[40] ^= 0x80;
    std::string random(4000, '\0');
    std::mt19937 rng(7);
    for (char& c : random)
        c = char(rng());
    std::string randomAfterMagic = "LUMOBNDL" + random;
    const struct {
        const char* what;
        std::string bytes;
        const char* reason;
    } cases[] = {
        {"tampered zip", tampered, "signature does not verify"},
        {"changed signature", sigChanged, "signature does not verify"},
        {"changed version", headerChanged, "version"},
        {"unsigned zip", readFile(f.dir.file("out.zip")), "magic"},
        {"foreign key", signZip(f.dir, f.dir.file("out.zip"), keyPem), "untrusted key"},
        {"truncated", f.bundle.substr(0, f.bundle.size() - 1), "does not match"},
        {"header only", f.bundle.substr(0, 60), "too short"},
        {"random", random, "magic"},
        {"random after magic", randomAfterMagic, "version"},
        {"empty", std::string(), "too short"},
    };
    for (const auto& c : cases) {
        std::string reason;
        EXPECT_FALSE(open(c.bytes, reason)) << c.what;
        EXPECT_NE(reason.find(c.reason), std::string::npos) << c.what << ": " << reason;
    }
    for (std::size_t n = 0; n < f.bundle.size(); ++n) {
        std::string reason;
        EXPECT_FALSE(open(f.bundle.substr(0, n), reason)) << n;
        EXPECT_FALSE(reason.empty());
    }
}

TEST(VexaFormat, zipLayerKeepsNamesInsideAndRefusesBrokenArchives) {
    ScratchDir dir;
    const struct {
        const char* name;
        bool ok;
    } names[] = {
        {"a/b.json", true}, {"../evil.js", false}, {"/etc/passwd", false}, {"a/../../x", false},
        {"a\\b.js", false}, {"c:/x", false},      {"a//b", false},        {"./a", false},
    };
    for (const auto& n : names) {
        std::string reason;
        auto b = open(unsignedBundle(rawZip(dir, {{n.name, "data"}})), reason, SignatureCheck::SkipForTesting);
        EXPECT_EQ(bool(b), n.ok) << n.name << ": " << reason;
    }
    // Without the skip switch an unsigned header never opens.
    std::string reason;
    EXPECT_FALSE(open(unsignedBundle(rawZip(dir, {{"a.json", "{}"}})), reason));

    // A damaged deflate stream opens (the directory is intact) but its entry
    // is refused when read.
    std::string zip = rawZip(dir, {{"big.txt", std::string(20000, 'q') + "end"}});
    const std::size_t dataStart = 30 + 7;
    for (std::size_t i = dataStart + 2; i < dataStart + 20; ++i)
        zip[i] ^= 0x5a;
    const std::string damaged = unsignedBundle(zip);  // the reader keeps pointing into these bytes
    auto b = open(damaged, reason, SignatureCheck::SkipForTesting);
    ASSERT_TRUE(b) << reason;
    std::vector<std::uint8_t> bytes;
    EXPECT_FALSE(b->zip->read("big.txt", bytes, reason));
    EXPECT_TRUE(bytes.empty());

    // Too many entries for the limits.
    ZipLimits tight;
    tight.maxEntries = 2;
    const std::string three = unsignedBundle(rawZip(dir, {{"a", "1"}, {"b", "2"}, {"c", "3"}}));
    EXPECT_FALSE(openBundle(reinterpret_cast<const std::uint8_t*>(three.data()), three.size(), {},
                            SignatureCheck::SkipForTesting, reason, tight));
    EXPECT_NE(reason.find("too many entries"), std::string::npos) << reason;
}
