#pragma once
// Hands out the lines of a text, one at a time, from memory or from a file
// read in large blocks (so a reader never holds a whole big file). A line
// is returned without its '\n'; a final line without '\n' counts too.
// Lines of any length are returned whole up to kMaxLineBytes; a longer line
// is returned cut at that length (its rest is skipped) and flagged.

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

class LineReader {
public:
    static constexpr size_t kBlockBytes = size_t(1) << 20;
    static constexpr size_t kMaxLineBytes = size_t(64) << 20;
    static constexpr size_t kWholeFileBytes = size_t(16) << 20; // smaller files are read at once

    // Reads the given bytes (not copied: they must outlive the reader).
    explicit LineReader(std::string_view bytes);
    // Reads the file at path; isOpen() tells whether it could be opened.
    explicit LineReader(const std::string& path);
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    bool isOpen() const { return m_file != nullptr || m_memory; }
    // The next line (valid until the next call); false at the end.
    bool next(std::string_view& line);
    // 1-based number of the line last returned.
    int lineNumber() const { return m_lineNumber; }
    // True when the line last returned was cut at kMaxLineBytes.
    bool lineWasCut() const { return m_cut; }
    // Starts again at the first line. False when a file cannot be re-read.
    bool rewind();

private:
    bool refill();
    bool skipRestOfLine();

    std::FILE* m_file = nullptr;
    bool m_memory = false;
    std::vector<char> m_buffer;  // file blocks
    std::string_view m_window;   // unread bytes (memory or buffer)
    std::string_view m_source;   // the whole text in memory mode
    bool m_eof = false;
    bool m_cut = false;
    bool m_skipPending = false; // the rest of a cut line is still unread
    int m_lineNumber = 0;
};
