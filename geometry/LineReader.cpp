#include "geometry/LineReader.h"

#include <algorithm>
#include <cstring>

namespace {

// The first '\n' of text at or after from, or null (also for empty text,
// whose data may be null).
const char* findNewline(std::string_view text, size_t from) {
    if (from >= text.size())
        return nullptr;
    return static_cast<const char*>(std::memchr(text.data() + from, '\n', text.size() - from));
}

} // namespace

LineReader::LineReader(std::string_view bytes) : m_memory(true), m_window(bytes), m_source(bytes) {
    m_eof = true;
}

LineReader::LineReader(const std::string& path) {
    m_file = std::fopen(path.c_str(), "rb");
    if (!m_file)
        return;
    m_buffer.resize(kBlockBytes);
    // A small file is read whole once and then served from memory, so a
    // second pass costs no further reading.
    const long size = std::fseek(m_file, 0, SEEK_END) == 0 ? std::ftell(m_file) : -1;
    if (std::fseek(m_file, 0, SEEK_SET) != 0 || size < 0 || size_t(size) > kWholeFileBytes)
        return;
    m_buffer.resize(size_t(size) + 1);
    const size_t got = std::fread(m_buffer.data(), 1, m_buffer.size(), m_file);
    if (got > size_t(size) || std::ferror(m_file)) { // grew or failed meanwhile: read in blocks
        std::fseek(m_file, 0, SEEK_SET);
        m_buffer.resize(std::max(m_buffer.size(), kBlockBytes));
        return;
    }
    std::fclose(m_file);
    m_file = nullptr;
    m_memory = true;
    m_eof = true;
    m_source = m_window = std::string_view(m_buffer.data(), got);
}

LineReader::~LineReader() {
    if (m_file)
        std::fclose(m_file);
}

bool LineReader::rewind() {
    m_lineNumber = 0;
    m_cut = false;
    m_skipPending = false;
    if (m_memory) {
        m_window = m_source;
        return true;
    }
    if (!m_file || std::fseek(m_file, 0, SEEK_SET) != 0)
        return false;
    m_window = {};
    m_eof = false;
    return true;
}

// Moves the unread bytes to the front of the buffer and appends the next
// block, growing the buffer when the unread part fills it. False when
// nothing more could be read.
bool LineReader::refill() {
    if (m_eof)
        return false;
    const size_t kept = m_window.size();
    if (kept > 0 && m_window.data() != m_buffer.data())
        std::memmove(m_buffer.data(), m_window.data(), kept);
    if (m_buffer.size() - kept < kBlockBytes / 2)
        m_buffer.resize(m_buffer.size() * 2);
    const size_t got = std::fread(m_buffer.data() + kept, 1, m_buffer.size() - kept, m_file);
    if (got == 0)
        m_eof = true;
    m_window = std::string_view(m_buffer.data(), kept + got);
    return got > 0;
}

// Drops bytes up to and including the next '\n' (after a cut line).
bool LineReader::skipRestOfLine() {
    for (;;) {
        const char* nl = findNewline(m_window, 0);
        if (nl) {
            m_window.remove_prefix(static_cast<size_t>(nl - m_window.data()) + 1);
            return true;
        }
        m_window = {};
        if (!refill())
            return false;
    }
}

bool LineReader::next(std::string_view& line) {
    m_cut = false;
    if (m_skipPending) {
        m_skipPending = false;
        if (!skipRestOfLine())
            return false;
    }
    size_t searched = 0;
    for (;;) {
        const char* nl = findNewline(m_window, searched);
        if (nl) {
            const size_t length = static_cast<size_t>(nl - m_window.data());
            if (length > kMaxLineBytes)
                break;
            line = m_window.substr(0, length);
            m_window.remove_prefix(length + 1);
            ++m_lineNumber;
            return true;
        }
        searched = m_window.size();
        if (searched > kMaxLineBytes || !refill())
            break;
    }
    if (m_window.empty())
        return false;
    // The last line without '\n', or a line longer than the limit.
    const size_t length = std::min(m_window.size(), kMaxLineBytes);
    line = m_window.substr(0, length);
    ++m_lineNumber;
    if (m_window.size() > kMaxLineBytes) {
        m_cut = true;
        m_skipPending = true;
        m_window.remove_prefix(length);
        return true;
    }
    m_window = m_window.substr(m_window.size());
    return true;
}
