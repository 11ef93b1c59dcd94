#include "geometry/LineReader.h"

#include "base/Trace.h"
#include "base/WholeFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The first c of text at or after from, or null.
const char* findByte(std::string_view text, size_t from, char c) {
    if (from >= text.size())
        return nullptr;
    return static_cast<const char*>(std::memchr(text.data() + from, c, text.size() - from));
}

} // namespace

LineReader::LineReader(std::string_view bytes) : m_memory(true), m_window(bytes), m_source(bytes) {
    m_eof = true;
}

LineReader::LineReader(const std::string& path, uint64_t maxBytes) { openFile(path, maxBytes); }

// Opened without blocking (a pipe would wait for a writer), checked to be a
// regular file, then read whole when small, so a second pass costs no
// further reading; larger files are read in blocks.
void LineReader::openFile(const std::string& path, uint64_t maxBytes) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        m_failure = "cannot be opened";
        return;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        m_failure = "is not a regular file";
        return;
    }
    const uint64_t size = uint64_t(info.st_size);
    if (size > maxBytes) {
        ::close(fd);
        m_failure = "is too large";
        return;
    }
    m_fd = fd;
    if (size <= kWholeFileBytes) {
        m_capacity = size_t(size) + 1; // one more byte tells a file that grew meanwhile
        m_buffer.reset(new char[m_capacity]);
        const long got = readFully(fd, m_buffer.get(), m_capacity);
        if (got >= 0 && size_t(got) <= size) {
            ::close(fd);
            m_fd = -1;
            m_memory = true;
            m_eof = true;
            m_source = m_window = std::string_view(m_buffer.get(), size_t(got));
            return;
        }
        if (::lseek(fd, 0, SEEK_SET) != 0) { // grew or failed: read in blocks
            ::close(fd);
            m_fd = -1;
            m_failure = "cannot be opened";
            return;
        }
    }
    m_capacity = kBlockBytes;
    m_buffer.reset(new char[m_capacity]);
}

LineReader::~LineReader() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool LineReader::rewind() {
    m_lineNumber = 0;
    m_tooLong = false;
    m_endsKnown = false;
    if (m_memory) {
        m_window = m_source;
        return true;
    }
    if (m_fd < 0 || ::lseek(m_fd, 0, SEEK_SET) != 0)
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
    if (kept > 0 && m_window.data() != m_buffer.get())
        std::memmove(m_buffer.get(), m_window.data(), kept);
    if (m_capacity - kept < kBlockBytes / 2) {
        std::unique_ptr<char[]> bigger(new char[m_capacity * 2]);
        std::memcpy(bigger.get(), m_buffer.get(), kept);
        m_buffer = std::move(bigger);
        m_capacity *= 2;
    }
    const long got = readFully(m_fd, m_buffer.get() + kept, std::min(m_capacity - kept, kBlockBytes * 4));
    if (got <= 0)
        m_eof = true;
    m_window = std::string_view(m_buffer.get(), kept + size_t(std::max(got, 0L)));
    m_endsKnown = false;
    return got > 0;
}

// The first c of the window at or after from, through the remembered one
// when it still lies ahead.
const char* LineReader::nextOf(char c, const char*& cached, size_t from) {
    if (m_endsKnown && (!cached || cached >= m_window.data() + from))
        return cached;
    cached = findByte(m_window, from, c);
    return cached;
}

// The first '\n' or '\r' of the window at or after from, or null.
const char* LineReader::findLineEnd(size_t from) {
    const char* nl = nextOf('\n', m_nl, from);
    const char* cr = nextOf('\r', m_cr, from);
    m_endsKnown = true;
    return cr && (!nl || cr < nl) ? cr : nl;
}

bool LineReader::refuseLongLine() {
    ++m_lineNumber;
    m_tooLong = true;
    m_window = {};
    m_eof = true;
    return false;
}

bool LineReader::next(std::string_view& line) {
    if (m_tooLong)
        return false;
    size_t searched = 0;
    for (;;) {
        const char* end = findLineEnd(searched);
        if (end) {
            size_t length = static_cast<size_t>(end - m_window.data());
            if (length > kMaxLineBytes)
                return refuseLongLine();
            // A '\r' at the end of a block may be the first half of "\r\n".
            if (*end == '\r' && length + 1 == m_window.size() && !m_eof) {
                searched = length;
                if (refill())
                    continue;
                end = m_window.data() + length;
            }
            const size_t after = length + 1;
            const bool crlf = *end == '\r' && after < m_window.size() && m_window[after] == '\n';
            line = m_window.substr(0, length);
            m_window.remove_prefix(after + (crlf ? 1 : 0));
            ++m_lineNumber;
            return true;
        }
        searched = m_window.size();
        if (searched > kMaxLineBytes)
            return refuseLongLine();
        if (!refill())
            break;
    }
    if (m_window.empty())
        return false;
    // The last line, without an end.
    line = m_window;
    m_window = m_window.substr(m_window.size());
    ++m_lineNumber;
    return true;
}

void LineReader::reportTooLong(const std::string& name) const {
    Trace::err("Line too long (over %zu bytes) in %s at line %lld, not read\n", kMaxLineBytes, name.c_str(),
               static_cast<long long>(m_lineNumber));
}
