#include "geometry/OffReader.h"

#include "base/Trace.h"
#include "geometry/TextScan.h"

#include <algorithm>
#include <cstdint>

namespace {

// Whitespace-separated tokens of OFF text, with '#' comments skipped.
class OffTokens {
public:
    explicit OffTokens(std::string_view text) : m_rest(text) {}

    // The next token, or empty at the end.
    std::string_view next() {
        for (;;) {
            const size_t begin = m_rest.find_first_not_of(" \t\r\n\f\v");
            if (begin == std::string_view::npos) {
                m_rest = {};
                return {};
            }
            m_rest.remove_prefix(begin);
            if (m_rest[0] != '#')
                break;
            skipLine();
        }
        size_t end = m_rest.find_first_of(" \t\r\n\f\v");
        if (end == std::string_view::npos)
            end = m_rest.size();
        const std::string_view token = m_rest.substr(0, end);
        m_rest.remove_prefix(end);
        return token;
    }
    // Drops the rest of the current line.
    void skipLine() {
        const size_t nl = m_rest.find('\n');
        m_rest = nl == std::string_view::npos ? std::string_view() : m_rest.substr(nl + 1);
    }
    size_t remaining() const { return m_rest.size(); }

private:
    std::string_view m_rest;
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

// 1, or 0 after the refusal message.
int readFace(OffTokens& tokens, int32_t vertexCount, Face& f) {
    int32_t corners = 0;
    if (!readInt(tokens, corners))
        return refuse("unexpected end of file");
    if (corners >= Face::kMaxCorners) {
        Trace::err("error in loading off file: max number of verts per face is too large: %d\n", corners);
        return 0;
    }
    if (corners < 0)
        return refuse("negative number of verts per face");
    for (int i = 0; i < corners; ++i) {
        int32_t v = 0;
        if (!readInt(tokens, v))
            return refuse("unexpected end of file");
        if (v < 0 || v >= vertexCount)
            return refuse("vertex index out of range");
        f.v[i] = v;
        f.t[i] = -1;
        f.n[i] = -1;
    }
    f.count = corners;
    f.material = -1;
    tokens.skipLine();
    return 1;
}

} // namespace

int OffReader::read(std::string_view bytes, ObjMesh& mesh) {
    OffTokens tokens(bytes);
    if (tokens.next() != "OFF")
        return refuse("no OFF header");
    int32_t vertexCount = 0, faceCount = 0, edgeCount = 0;
    if (!readInt(tokens, vertexCount) || !readInt(tokens, faceCount) || !readInt(tokens, edgeCount))
        return refuse("unexpected end of file");
    tokens.skipLine();
    if (vertexCount < 0 || faceCount < 0)
        return refuse("negative element count");
    // Every vertex takes three numbers and every face one, each at least
    // one character and a separator.
    const int64_t minimumBytes = 2 * (3 * int64_t(vertexCount) + faceCount) - 1;
    if (minimumBytes > static_cast<int64_t>(tokens.remaining()))
        return refuse("element counts exceed the file");
    mesh.vertices.reserve(vertexCount);
    mesh.faces.reserve(std::min<size_t>(faceCount, tokens.remaining() / 2 + 1));
    for (int32_t i = 0; i < vertexCount; ++i) {
        math3d::Vec3 p;
        if (!readVertex(tokens, p))
            return refuse("unexpected end of file");
        mesh.vertices.push_back(p);
    }
    for (int32_t i = 0; i < faceCount; ++i) {
        Face f;
        if (!readFace(tokens, vertexCount, f))
            return 0;
        mesh.faces.push_back(f);
    }
    return 1;
}
