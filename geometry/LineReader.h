#pragma once
// Hands out the lines of a text, one at a time, from memory or from a file
// read in large blocks (so a reader never holds a whole big file). A line
// ends at "\n", "\r\n" or a lone "\r" (returned without it); a final line
// without an end counts too. Lines are numbered from 1 in 64 bits.
//
// A line longer than kMaxLineBytes is refused, never cut: next() stops
// there with lineTooLong() set, and the reader reports it with
// reportTooLong (naming the text and the line) and refuses the text.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class LineReader {
public:
    static constexpr size_t kBlockBytes = size_t(1) << 20;
    static constexpr size_t kMaxLineBytes = size_t(64) << 20;
    static constexpr size_t kWholeFileBytes = size_t(16) << 20; // smaller files are read at once
    static constexpr uint64_t kAnySize = UINT64_MAX;

    // Reads the given bytes (not copied: they must outlive the reader).
    explicit LineReader(std::string_view bytes);
    // Reads the regular file at path when it is at most maxBytes long.
    // Devices, pipes and folders are refused without reading (or waiting
    // for) them; isOpen() tells whether the file could be opened and
    // openFailure() why not.
    explicit LineReader(const std::string& path, uint64_t maxBytes = kAnySize);
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    bool isOpen() const { return m_fd >= 0 || m_memory; }
    // Why the file is not open ("cannot be opened", "is not a regular
    // file", "is too large"); empty when it is open.
    const char* openFailure() const { return m_failure; }
    // The next line (valid until the next call); false at the end or at a
    // line longer than kMaxLineBytes (see lineTooLong).
    bool next(std::string_view& line);
    // 1-based number of the line last returned (or refused as too long).
    int64_t lineNumber() const { return m_lineNumber; }
    // True when next() stopped at a line longer than kMaxLineBytes.
    bool lineTooLong() const { return m_tooLong; }
    // Prints the refusal of the too-long line, naming the text and line.
    void reportTooLong(const std::string& name) const;
    // Starts again at the first line. False when a file cannot be re-read.
    bool rewind();

private:
    void openFile(const std::string& path, uint64_t maxBytes);
    bool refill();
    const char* findLineEnd(size_t from);
    const char* nextOf(char c, const char*& cached, size_t from);
    bool refuseLongLine();

    int m_fd = -1;
    bool m_memory = false;
    const char* m_failure = "";
    std::unique_ptr<char[]> m_buffer; // file bytes: the whole file or blocks
    size_t m_capacity = 0;            // bytes of m_buffer
    std::string_view m_window;        // unread bytes (memory or buffer)
    std::string_view m_source;        // the whole text in memory mode
    // The next '\n' and '\r' of the window at or after the last search
    // start (null: none), remembered per window so that a text with only
    // one kind of line end is searched once per block for the other.
    const char* m_nl = nullptr;
    const char* m_cr = nullptr;
    bool m_endsKnown = false;
    bool m_eof = false;
    bool m_tooLong = false;
    int64_t m_lineNumber = 0;
};
