#include "images/DeclaredImageSize.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

// Bounds-checked reads at an offset; each returns false past the end.
struct Bytes {
    const uint8_t* p;
    size_t n;
    bool has(size_t at, size_t len) const { return at <= n && len <= n - at; }
    bool u16le(size_t at, uint64_t& v) const {
        if (!has(at, 2))
            return false;
        v = uint64_t(p[at]) | uint64_t(p[at + 1]) << 8;
        return true;
    }
    bool u16be(size_t at, uint64_t& v) const {
        if (!has(at, 2))
            return false;
        v = uint64_t(p[at]) << 8 | p[at + 1];
        return true;
    }
    bool u32le(size_t at, uint64_t& v) const {
        uint64_t lo, hi;
        if (!u16le(at, lo) || !u16le(at + 2, hi))
            return false;
        v = lo | hi << 16;
        return true;
    }
    bool u32be(size_t at, uint64_t& v) const {
        uint64_t hi, lo;
        if (!u16be(at, hi) || !u16be(at + 2, lo))
            return false;
        v = hi << 16 | lo;
        return true;
    }
    bool tag(size_t at, const char* t) const { return has(at, std::strlen(t)) && std::memcmp(p + at, t, std::strlen(t)) == 0; }
};

bool gifSize(const Bytes& b, uint64_t& w, uint64_t& h) {
    if (!b.u16le(6, w) || !b.u16le(8, h) || !b.has(10, 3))
        return false;
    size_t at = 13;
    if (b.p[10] & 0x80)
        at += 3u << ((b.p[10] & 7) + 1); // global colour table
    // Extension blocks up to the first image descriptor, whose size may
    // exceed the canvas.
    while (b.has(at, 1) && b.p[at] == 0x21) {
        at += 2;
        while (b.has(at, 1) && b.p[at] != 0)
            at += size_t(b.p[at]) + 1;
        ++at;
    }
    uint64_t fw, fh;
    if (b.has(at, 1) && b.p[at] == 0x2C && b.u16le(at + 5, fw) && b.u16le(at + 7, fh)) {
        w = std::max(w, fw);
        h = std::max(h, fh);
    }
    return true;
}

bool iffSize(const Bytes& b, uint64_t& w, uint64_t& h) {
    if (!b.tag(0, "FORM"))
        return false;
    for (size_t at = 12; b.has(at, 8);) {
        uint64_t len = 0;
        b.u32be(at + 4, len);
        if (b.tag(at, "BMHD"))
            return b.u16be(at + 8, w) && b.u16be(at + 10, h);
        if (len > b.n)
            return false;
        at += 8 + size_t(len) + (len & 1);
    }
    return false;
}

// MNG: the canvas in MHDR and the first embedded picture's IHDR or JHDR.
bool mngSize(const Bytes& b, uint64_t& w, uint64_t& h) {
    w = h = 0;
    bool found = false;
    for (size_t at = 8; b.has(at, 8);) {
        uint64_t len = 0, cw = 0, ch = 0;
        b.u32be(at, len);
        const bool header = b.tag(at + 4, "MHDR") || b.tag(at + 4, "IHDR") || b.tag(at + 4, "JHDR");
        if (header && b.u32be(at + 8, cw) && b.u32be(at + 12, ch)) {
            w = std::max(w, cw);
            h = std::max(h, ch);
            found = true;
            if (!b.tag(at + 4, "MHDR"))
                break;
        }
        if (len > b.n)
            break;
        at += 12 + size_t(len);
    }
    return found;
}

// WBMP's multi-byte integers: 7 bits a byte, high bit = more follows.
bool wbmpInt(const Bytes& b, size_t& at, uint64_t& v) {
    v = 0;
    for (int i = 0; i < 5; ++i, ++at) {
        if (!b.has(at, 1))
            return false;
        v = v << 7 | (b.p[at] & 0x7F);
        if (!(b.p[at] & 0x80)) {
            ++at;
            return true;
        }
    }
    return false;
}

bool wbmpSize(const Bytes& b, uint64_t& w, uint64_t& h) {
    size_t at = 0;
    uint64_t type;
    if (!wbmpInt(b, at, type) || type != 0 || !b.has(at, 1))
        return false;
    const uint8_t fix = b.p[at++];
    if (fix & 0x80) { // extension headers, each byte flagging another
        while (b.has(at, 1) && (b.p[at] & 0x80))
            ++at;
        ++at;
    }
    return wbmpInt(b, at, w) && wbmpInt(b, at, h);
}

// The number after "<name>_<key>" in an XBM's #define lines.
bool xbmValue(const Bytes& b, const char* key, uint64_t& v) {
    const size_t limit = std::min<size_t>(b.n, 4096);
    const std::string text(reinterpret_cast<const char*>(b.p), limit);
    const size_t at = text.find(key);
    if (at == std::string::npos)
        return false;
    size_t i = at + std::strlen(key);
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    if (i >= text.size() || text[i] < '0' || text[i] > '9')
        return false;
    v = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && v < (uint64_t(1) << 40); ++i)
        v = v * 10 + uint64_t(text[i] - '0');
    return true;
}

bool j2kSize(const Bytes& b, size_t at, uint64_t& w, uint64_t& h) {
    uint64_t x, y, x0, y0;
    if (!b.tag(at, "\xFF\x4F\xFF\x51") || !b.u32be(at + 8, x) || !b.u32be(at + 12, y) || !b.u32be(at + 16, x0) ||
        !b.u32be(at + 20, y0))
        return false;
    w = x > x0 ? x - x0 : 0;
    h = y > y0 ? y - y0 : 0;
    return true;
}

// JP2 boxes: the image header box inside the header superbox.
bool jp2Size(const Bytes& b, uint64_t& w, uint64_t& h) {
    size_t at = 0, end = b.n;
    while (b.has(at, 8) && at < end) {
        uint64_t len = 0;
        b.u32be(at, len);
        size_t head = 8;
        if (len == 1) {
            uint64_t hi, lo;
            if (!b.u32be(at + 8, hi) || !b.u32be(at + 12, lo))
                return false;
            len = hi << 32 | lo;
            head = 16;
        } else if (len == 0) {
            len = end - at;
        }
        if (len < head || len > end - at)
            return false;
        if (b.tag(at + 4, "jp2h")) { // descend into the superbox
            end = at + size_t(len);
            at += head;
            continue;
        }
        if (b.tag(at + 4, "ihdr"))
            return b.u32be(at + head, h) && b.u32be(at + head + 4, w);
        at += size_t(len);
    }
    return false;
}

} // namespace

bool declaredImageSize(DeclaredFormat format, const uint8_t* bytes, size_t size, uint64_t& width,
                       uint64_t& height) {
    if (!bytes)
        return false;
    const Bytes b{bytes, size};
    switch (format) {
    case DeclaredFormat::Gif: return gifSize(b, width, height);
    case DeclaredFormat::Sgi: return b.u16be(6, width) && b.u16be(8, height);
    case DeclaredFormat::Dds: return b.tag(0, "DDS ") && b.u32le(12, height) && b.u32le(16, width);
    case DeclaredFormat::Iff: return iffSize(b, width, height);
    case DeclaredFormat::Mng: return mngSize(b, width, height);
    case DeclaredFormat::Wbmp: return wbmpSize(b, width, height);
    case DeclaredFormat::Xbm: return xbmValue(b, "_width", width) && xbmValue(b, "_height", height);
    case DeclaredFormat::J2k: return j2kSize(b, 0, width, height);
    case DeclaredFormat::Jp2: return jp2Size(b, width, height);
    }
    return false;
}
