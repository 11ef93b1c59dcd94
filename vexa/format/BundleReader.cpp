#include "vexa/format/BundleReader.h"

#include <sodium.h>
#include <zip.h>

#include <algorithm>
#include <cstring>
#include <set>

namespace vexa::format {

namespace {

const char kMagic[8] = {'L', 'U', 'M', 'O', 'B', 'N', 'D', 'L'};

// DER prefixes of an Ed25519 SubjectPublicKeyInfo and PKCS#8 PrivateKeyInfo;
// the 32 key bytes follow them.
const std::uint8_t kSpkiPrefix[] = {0x30, 0x2a, 0x30, 0x05, 0x06, 0x03, 0x2b, 0x65, 0x70, 0x03, 0x21, 0x00};
const std::uint8_t kPkcs8Prefix[] = {0x30, 0x2e, 0x02, 0x01, 0x00, 0x30, 0x05, 0x06,
                                     0x03, 0x2b, 0x65, 0x70, 0x04, 0x22, 0x04, 0x20};

bool sodiumReady() {
    static const bool ready = sodium_init() >= 0;
    return ready;
}

std::uint16_t le16(const std::uint8_t* p) { return std::uint16_t(p[0] | (p[1] << 8)); }
std::uint32_t le32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}
std::uint64_t le64(const std::uint8_t* p) { return std::uint64_t(le32(p)) | (std::uint64_t(le32(p + 4)) << 32); }

// Decodes the base64 body between `begin` and `end` marker lines.
bool pemBody(const std::string& pem, const char* label, std::vector<std::uint8_t>& der, std::string& reason) {
    const std::string begin = std::string("-----BEGIN ") + label + "-----";
    const std::string end = std::string("-----END ") + label + "-----";
    const std::size_t b = pem.find(begin);
    const std::size_t e = b == std::string::npos ? std::string::npos : pem.find(end, b + begin.size());
    if (b == std::string::npos || e == std::string::npos) {
        reason = std::string("not a PEM ") + label;
        return false;
    }
    const std::string body = pem.substr(b + begin.size(), e - b - begin.size());
    if (!sodiumReady()) {
        reason = "crypto library failed to start";
        return false;
    }
    der.assign(body.size(), 0);
    std::size_t n = 0;
    const char* endOfBody = nullptr;
    if (sodium_base642bin(der.data(), der.size(), body.data(), body.size(), " \t\r\n", &n, &endOfBody,
                          sodium_base64_VARIANT_ORIGINAL) != 0 ||
        endOfBody != body.data() + body.size()) {
        reason = std::string("bad base64 in PEM ") + label;
        return false;
    }
    der.resize(n);
    return true;
}

bool safeName(const std::string& name, std::size_t maxLength) {
    if (name.empty() || name.size() > maxLength || name[0] == '/')
        return false;
    for (char c : name)
        if (c == '\\' || c == ':' || static_cast<unsigned char>(c) < 0x20)
            return false;
    const bool folder = name.back() == '/';
    const std::string path = folder ? name.substr(0, name.size() - 1) : name;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t slash = path.find('/', start);
        if (slash == std::string::npos)
            slash = path.size();
        const std::string part = path.substr(start, slash - start);
        if (part.empty() || part == "." || part == "..")
            return false;
        start = slash + 1;
    }
    return true;
}

} // namespace

PublicKey publicKeyFromRaw(const std::uint8_t raw[32]) {
    PublicKey key;
    std::memcpy(key.raw.data(), raw, 32);
    std::uint8_t hash[crypto_hash_sha256_BYTES];
    sodiumReady();
    crypto_hash_sha256(hash, raw, 32);
    std::memcpy(key.id.data(), hash, 8);
    return key;
}

bool parsePublicKeyPem(const std::string& pem, PublicKey& out, std::string& reason) {
    std::vector<std::uint8_t> der;
    if (!pemBody(pem, "PUBLIC KEY", der, reason))
        return false;
    if (der.size() != sizeof(kSpkiPrefix) + 32 || std::memcmp(der.data(), kSpkiPrefix, sizeof(kSpkiPrefix)) != 0) {
        reason = "public key is not an Ed25519 key";
        return false;
    }
    out = publicKeyFromRaw(der.data() + sizeof(kSpkiPrefix));
    return true;
}

bool publicKeyOfPrivatePem(const std::string& pem, PublicKey& out, std::string& reason) {
    std::vector<std::uint8_t> der;
    if (!pemBody(pem, "PRIVATE KEY", der, reason))
        return false;
    if (der.size() != sizeof(kPkcs8Prefix) + 32 ||
        std::memcmp(der.data(), kPkcs8Prefix, sizeof(kPkcs8Prefix)) != 0) {
        reason = "private key is not an Ed25519 key";
        return false;
    }
    std::uint8_t pk[crypto_sign_PUBLICKEYBYTES];
    std::uint8_t sk[crypto_sign_SECRETKEYBYTES];
    crypto_sign_seed_keypair(pk, sk, der.data() + sizeof(kPkcs8Prefix));
    sodium_memzero(sk, sizeof sk);
    sodium_memzero(der.data(), der.size());
    out = publicKeyFromRaw(pk);
    return true;
}

std::string keyIdHex(const std::array<std::uint8_t, 8>& id) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (std::uint8_t b : id) {
        s += digits[b >> 4];
        s += digits[b & 15];
    }
    return s;
}

bool checkBundle(const std::uint8_t* data, std::size_t size, const std::vector<PublicKey>& trusted,
                 SignatureCheck check, BundleHeader& header, std::string& reason) {
    if (!data || size < kMinBundleSize) {
        reason = "bundle too short (" + std::to_string(data ? size : 0) + " bytes, at least 96 needed)";
        return false;
    }
    if (std::memcmp(data, kMagic, 8) != 0) {
        reason = "not a bundle (magic LUMOBNDL missing)";
        return false;
    }
    BundleHeader h;
    h.version = le16(data + 8);
    h.algorithm = le16(data + 10);
    std::memcpy(h.keyId.data(), data + 12, 8);
    h.signatureSize = le32(data + 20);
    h.zipSize = le64(data + 24);
    if (h.version != 1) {
        reason = "unsupported bundle format version " + std::to_string(h.version);
        return false;
    }
    if (h.algorithm != 1) {
        reason = "unsupported signature algorithm " + std::to_string(h.algorithm);
        return false;
    }
    if (h.signatureSize != kSignatureSize) {
        reason = "bad signature length " + std::to_string(h.signatureSize);
        return false;
    }
    if (h.zipSize != size - kHeaderSize - kSignatureSize) {
        reason = "zip length " + std::to_string(h.zipSize) + " does not match the file (" +
                 std::to_string(size - kHeaderSize - kSignatureSize) + " bytes follow the signature)";
        return false;
    }
    const std::uint8_t* zip = data + kHeaderSize + kSignatureSize;
    if (check == SignatureCheck::Required) {
        const auto key = std::find_if(trusted.begin(), trusted.end(),
                                      [&](const PublicKey& k) { return k.id == h.keyId; });
        if (key == trusted.end()) {
            reason = "bundle signed by an untrusted key " + keyIdHex(h.keyId);
            return false;
        }
        if (!sodiumReady()) {
            reason = "crypto library failed to start";
            return false;
        }
        // Header and zip are contiguous in the file except for the
        // signature between them: pure Ed25519 needs the message in one piece.
        std::vector<std::uint8_t> message;
        message.reserve(kHeaderSize + h.zipSize);
        message.insert(message.end(), data, data + kHeaderSize);
        message.insert(message.end(), zip, zip + h.zipSize);
        if (crypto_sign_verify_detached(data + kHeaderSize, message.data(), message.size(), key->raw.data()) != 0) {
            reason = "signature does not verify (bundle changed or signed by another key)";
            return false;
        }
    }
    const bool local = h.zipSize >= 4 && std::memcmp(zip, "PK\3\4", 4) == 0;
    const bool empty = h.zipSize >= 4 && std::memcmp(zip, "PK\5\6", 4) == 0;
    if (!local && !empty) {
        reason = "bundle payload is not a zip";
        return false;
    }
    header = h;
    return true;
}

struct ZipArchive::Impl {
    zip_t* archive = nullptr;
};

ZipArchive::~ZipArchive() {
    if (m_impl) {
        if (m_impl->archive)
            zip_discard(m_impl->archive);
        delete m_impl;
    }
}

std::unique_ptr<ZipArchive> ZipArchive::open(const std::uint8_t* data, std::size_t size, const ZipLimits& limits,
                                             std::string& reason) {
    if (!data || size == 0) {
        reason = "empty zip";
        return nullptr;
    }
    zip_error_t err;
    zip_error_init(&err);
    zip_source_t* src = zip_source_buffer_create(data, size, 0, &err);
    if (!src) {
        reason = std::string("zip: ") + zip_error_strerror(&err);
        zip_error_fini(&err);
        return nullptr;
    }
    zip_t* za = zip_open_from_source(src, ZIP_RDONLY | ZIP_CHECKCONS, &err);
    if (!za) {
        reason = std::string("zip cannot be opened: ") + zip_error_strerror(&err);
        zip_error_fini(&err);
        zip_source_free(src);
        return nullptr;
    }
    zip_error_fini(&err);
    std::unique_ptr<ZipArchive> z(new ZipArchive());
    z->m_impl = new Impl();
    z->m_impl->archive = za;
    z->m_limits = limits;

    const zip_int64_t count = zip_get_num_entries(za, 0);
    if (count < 0 || static_cast<std::uint64_t>(count) > limits.maxEntries) {
        reason = "zip has too many entries (" + std::to_string(count) + ", at most " +
                 std::to_string(limits.maxEntries) + ")";
        return nullptr;
    }
    std::uint64_t total = 0;
    std::set<std::string> seen;
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(za, static_cast<zip_uint64_t>(i), 0, &st) != 0 || !(st.valid & ZIP_STAT_NAME) ||
            !(st.valid & ZIP_STAT_SIZE)) {
            reason = "zip entry " + std::to_string(i) + " is unreadable";
            return nullptr;
        }
        ZipEntry e;
        e.name = st.name ? st.name : "";
        if (!safeName(e.name, limits.maxNameLength)) {
            reason = "zip entry name leaves the bundle or is malformed: \"" + e.name.substr(0, 80) + "\"";
            return nullptr;
        }
        if (!seen.insert(e.name).second) {
            reason = "zip entry appears twice: " + e.name;
            return nullptr;
        }
        if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE) {
            reason = "zip entry is encrypted: " + e.name;
            return nullptr;
        }
        e.size = st.size;
        e.compressedSize = (st.valid & ZIP_STAT_COMP_SIZE) ? st.comp_size : 0;
        e.isFolder = e.name.back() == '/';
        if (e.size > limits.maxEntrySize) {
            reason = "zip entry too large: " + e.name + " (" + std::to_string(e.size) + " bytes)";
            return nullptr;
        }
        // Deflate expands at most about 1032 : 1 and stored data not at all;
        // a directory claiming more lies, and would cost a large buffer.
        if ((st.valid & ZIP_STAT_COMP_METHOD) && (st.valid & ZIP_STAT_COMP_SIZE)) {
            const bool stored = st.comp_method == ZIP_CM_STORE;
            const bool deflated = st.comp_method == ZIP_CM_DEFLATE;
            if ((!stored && !deflated) || (stored && e.size != st.comp_size) ||
                (deflated && e.size > st.comp_size * 1100 + 64)) {
                reason = "zip entry has an unsupported or inconsistent compression: " + e.name;
                return nullptr;
            }
        }
        total += e.size;
        if (total > limits.maxTotalSize) {
            reason = "zip unpacks to more than " + std::to_string(limits.maxTotalSize) + " bytes";
            return nullptr;
        }
        z->m_entries.push_back(std::move(e));
    }
    return z;
}

bool ZipArchive::has(const std::string& name) const {
    return std::any_of(m_entries.begin(), m_entries.end(), [&](const ZipEntry& e) { return e.name == name; });
}

bool ZipArchive::read(const std::string& name, std::vector<std::uint8_t>& out, std::string& reason) const {
    out.clear();
    std::size_t index = 0;
    for (; index < m_entries.size() && m_entries[index].name != name; ++index) {
    }
    if (index == m_entries.size()) {
        reason = "bundle has no file " + name;
        return false;
    }
    const ZipEntry& e = m_entries[index];
    if (e.isFolder) {
        reason = name + " is a folder";
        return false;
    }
    zip_file_t* f = zip_fopen_index(m_impl->archive, index, 0);
    if (!f) {
        reason = "cannot open " + name + " in the zip: " + zip_strerror(m_impl->archive);
        return false;
    }
    out.resize(static_cast<std::size_t>(e.size));
    std::size_t got = 0;
    bool ok = true;
    while (got < out.size()) {
        const zip_int64_t n = zip_fread(f, out.data() + got, out.size() - got);
        if (n <= 0) {
            ok = false;
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    std::uint8_t extra = 0;
    // The end of the stream is where the checksum is checked; data beyond the
    // stated size is refused too.
    if (ok && zip_fread(f, &extra, 1) != 0)
        ok = false;
    if (!ok) {
        zip_error_t* ze = zip_file_get_error(f);
        reason = "corrupt zip entry " + name + (ze ? std::string(": ") + zip_error_strerror(ze) : std::string());
    }
    zip_fclose(f);
    if (!ok)
        out.clear();
    return ok;
}

bool ZipArchive::readText(const std::string& name, std::string& out, std::string& reason) const {
    std::vector<std::uint8_t> bytes;
    if (!read(name, bytes, reason))
        return false;
    out.assign(bytes.begin(), bytes.end());
    return true;
}

std::unique_ptr<Bundle> openBundle(const std::uint8_t* data, std::size_t size, const std::vector<PublicKey>& trusted,
                                   SignatureCheck check, std::string& reason, const ZipLimits& limits) {
    auto b = std::make_unique<Bundle>();
    if (!checkBundle(data, size, trusted, check, b->header, reason))
        return nullptr;
    b->zip = ZipArchive::open(data + kHeaderSize + kSignatureSize, static_cast<std::size_t>(b->header.zipSize),
                              limits, reason);
    if (!b->zip)
        return nullptr;
    return b;
}

} // namespace vexa::format
