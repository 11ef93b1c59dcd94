#include "geometry/OffReader.h"

#include "base/Trace.h"
#include "geometry/ObjReader.h"
#include "geometry/TextScan.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

constexpr std::string_view kBlanks = " \t\r\n\f\v";
constexpr std::string_view kLineEnds = "\r\n";

// Whitespace-separated tokens of OFF text, with '#' comments skipped.
class OffTokens {
public:
    explicit OffTokens(std::string_view text) : m_rest(text) {}

    // The next token, or empty at the end.
    std::string_view next() {
        for (;;) {
            const size_t begin = m_rest.find_first_not_of(kBlanks);
            if (begin == std::string_view::npos) {
                m_rest = {};
                return {};
            }
            m_rest.remove_prefix(begin);
            if (m_rest[0] != '#')
                break;
            skipLine();
        }
        return take();
    }
    // The next token when it is on the current line, else empty (nothing
    // consumed but blanks before the line end).
    std::string_view nextOnLine() {
        const size_t begin = m_rest.find_first_not_of(" \t\f\v");
        m_rest.remove_prefix(begin == std::string_view::npos ? m_rest.size() : begin);
        if (m_rest.empty() || kLineEnds.find(m_rest[0]) != std::string_view::npos || m_rest[0] == '#')
            return {};
        return take();
    }
    // Drops the rest of the current line.
    void skipLine() {
        const size_t end = m_rest.find_first_of(kLineEnds);
        m_rest = end == std::string_view::npos ? std::string_view() : m_rest.substr(end + 1);
    }
    size_t remaining() const { return m_rest.size(); }

private:
    std::string_view take() {
        size_t end = m_rest.find_first_of(kBlanks);
        if (end == std::string_view::npos)
            end = m_rest.size();
        const std::string_view token = m_rest.substr(0, end);
        m_rest.remove_prefix(end);
        return token;
    }

    std::string_view m_rest;
};

// Line numbers of byte offsets of a text, asked in increasing order (each
// byte is looked at once).
class LineCounter {
public:
    explicit LineCounter(std::string_view text) : m_text(text) {}
    int64_t lineAt(size_t offset) {
        for (; m_offset < offset && m_offset < m_text.size(); ++m_offset) {
            const char c = m_text[m_offset];
            if (c == '\n' || (c == '\r' && (m_offset + 1 == m_text.size() || m_text[m_offset + 1] != '\n')))
                ++m_line;
        }
        return m_line;
    }

private:
    std::string_view m_text;
    size_t m_offset = 0;
    int64_t m_line = 1;
};

int refuse(const char* reason) {
    Trace::err("error in loading off file: %s\n", reason);
    return 0;
}

bool readInt(OffTokens& tokens, int32_t& value) {
    const std::string_view token = tokens.next();
    if (token.empty())
        return false;
    value = textscan::parseInt(token);
    return true;
}

bool readVertex(OffTokens& tokens, math3d::Vec3& p) {
    for (int i = 0; i < 3; ++i) {
        const std::string_view token = tokens.next();
        if (token.empty())
            return false;
        p[i] = static_cast<float>(textscan::parseDouble(token));
    }
    tokens.skipLine();
    return true;
}

// Reads one face's corners into corners; 1, or 0 after the refusal message.
int readFace(OffTokens& tokens, int32_t vertexCount, std::vector<int32_t>& corners) {
    int32_t count = 0;
    if (!readInt(tokens, count))
        return refuse("unexpected end of file");
    if (count < 0)
        return refuse("negative number of verts per face");
    if (size_t(count) > tokens.remaining() / 2 + 1) // every index takes a digit and a separator
        return refuse("unexpected end of file");
    corners.resize(size_t(count));
    for (int32_t& v : corners) {
        if (!readInt(tokens, v))
            return refuse("unexpected end of file");
        if (v < 0 || v >= vertexCount)
            return refuse("vertex index out of range");
    }
    tokens.skipLine();
    return 1;
}

// Appends the polygon as one face, or as a fan of faces that fit.
void storeFace(const std::vector<int32_t>& corners, ObjMesh& mesh) {
    const int count = int(corners.size());
    for (int start = 1; start + 1 < count;) {
        const int end = std::min(count, start + Face::kMaxCorners - 1);
        Face& f = mesh.faces.emplace_back();
        f.v[0] = corners[0];
        std::copy(corners.begin() + start, corners.begin() + end, f.v + 1);
        f.count = 1 + end - start;
        std::fill(f.t, f.t + f.count, -1);
        std::fill(f.n, f.n + f.count, -1);
        f.material = -1;
        start = end - 1;
    }
}

} // namespace

int OffReader::read(std::string_view bytes, const std::string& path, ObjMesh& mesh) {
    OffTokens tokens(bytes);
    if (tokens.next() != "OFF")
        return refuse("no OFF header");
    int32_t vertexCount = 0, faceCount = 0;
    if (!readInt(tokens, vertexCount) || !readInt(tokens, faceCount))
        return refuse("unexpected end of file");
    if (tokens.nextOnLine().empty())
        return refuse("no edge count after the vertex and face counts");
    tokens.skipLine();
    if (vertexCount < 0 || faceCount < 0)
        return refuse("negative element count");
    // Every vertex takes three numbers and every face one, each at least
    // one character and a separator.
    const int64_t minimumBytes = 2 * (3 * int64_t(vertexCount) + faceCount) - 1;
    if (minimumBytes > static_cast<int64_t>(tokens.remaining()))
        return refuse("element counts exceed the file");
    mesh.vertices.reserve(vertexCount);
    mesh.faces.reserve(std::min<size_t>(faceCount, tokens.remaining() / 8 + 1));
    for (int32_t i = 0; i < vertexCount; ++i) {
        math3d::Vec3 p;
        if (!readVertex(tokens, p))
            return refuse("unexpected end of file");
        mesh.vertices.push_back(p);
    }
    std::vector<int32_t> corners;
    LineCounter lines(bytes);
    for (int32_t i = 0; i < faceCount; ++i) {
        const size_t start = bytes.size() - tokens.remaining();
        if (!readFace(tokens, vertexCount, corners))
            return 0;
        if (corners.size() < 3) { // named by the line of its first token
            const size_t first = start + bytes.substr(start).find_first_not_of(kBlanks);
            ObjReader::reportTooFewCorners(path, lines.lineAt(first));
        } else {
            storeFace(corners, mesh);
        }
    }
    return 1;
}
