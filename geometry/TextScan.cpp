#include "geometry/TextScan.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <string>

namespace textscan {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::string_view skipBlanks(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && isBlank(s[i]))
        ++i;
    return s.substr(i);
}

// strtod on a zero-terminated copy: the reference for what from_chars does
// not cover (hexadecimal floats, out-of-range values).
double strtodCopy(std::string_view s) {
    char small[128];
    if (s.size() < sizeof small) {
        s.copy(small, s.size());
        small[s.size()] = '\0';
        return std::strtod(small, nullptr);
    }
    const std::string copy(s);
    return std::strtod(copy.c_str(), nullptr);
}

} // namespace

namespace {

// A set of bytes, tested with one shift per byte.
class ByteSet {
public:
    explicit ByteSet(std::string_view bytes) {
        for (char c : bytes)
            m_bits[static_cast<unsigned char>(c) >> 6] |= uint64_t(1) << (static_cast<unsigned char>(c) & 63);
    }
    bool has(char c) const {
        const unsigned char u = static_cast<unsigned char>(c);
        return (m_bits[u >> 6] >> (u & 63)) & 1;
    }

private:
    uint64_t m_bits[4] = {0, 0, 0, 0};
};

} // namespace

std::string_view nextToken(std::string_view& rest, std::string_view separators) {
    const ByteSet set(separators);
    const char* p = rest.data();
    const char* const end = p + rest.size();
    while (p < end && set.has(*p))
        ++p;
    const char* const begin = p;
    while (p < end && !set.has(*p))
        ++p;
    rest = std::string_view(p, static_cast<size_t>(end - p));
    return std::string_view(begin, static_cast<size_t>(p - begin));
}

std::string_view trim(std::string_view s, std::string_view chars) {
    const size_t begin = s.find_first_not_of(chars);
    if (begin == std::string_view::npos)
        return {};
    const size_t end = s.find_last_not_of(chars);
    return s.substr(begin, end - begin + 1);
}

double parseDouble(std::string_view token) {
    std::string_view s = skipBlanks(token);
    if (s.empty())
        return 0.0;
    bool negative = false;
    std::string_view body = s;
    if (body[0] == '+' || body[0] == '-') {
        negative = body[0] == '-';
        body.remove_prefix(1);
    }
    if (body.empty() || body[0] == '+' || body[0] == '-')
        return 0.0;
    // "0x..." is a hexadecimal float for strtod; from_chars would stop at 'x'.
    if (body.size() > 1 && body[0] == '0' && (body[1] == 'x' || body[1] == 'X'))
        return strtodCopy(s);
    double value = 0.0;
    const auto result = std::from_chars(body.data(), body.data() + body.size(), value);
    if (result.ec == std::errc::invalid_argument)
        return 0.0;
    if (result.ec == std::errc::result_out_of_range)
        return strtodCopy(s);
    return negative ? -value : value;
}

int32_t parseInt(std::string_view token) {
    const char* p = token.data();
    const char* const end = p + token.size();
    while (p < end && isBlank(*p))
        ++p;
    int32_t value = 0;
    return readInt(p, end, value) ? value : 0;
}

double nextDouble(std::string_view& rest) {
    const char* p = rest.data();
    const char* const end = p + rest.size();
    while (p < end && isLineSeparator(*p))
        ++p;
    const char* const token = p;
    double value = 0.0;
    bool done = false;
    if (p < end) {
        const bool negative = *p == '-';
        const char* q = p + ((*p == '-' || *p == '+') ? 1 : 0);
        if (q < end && ((*q >= '0' && *q <= '9') || *q == '.')) {
            const auto result = std::from_chars(q, end, value);
            if (result.ec == std::errc() && (result.ptr == end || isLineSeparator(*result.ptr))) {
                p = result.ptr;
                value = negative ? -value : value;
                done = true;
            }
        }
    }
    if (!done) {
        while (p < end && !isLineSeparator(*p))
            ++p;
        value = parseDouble(std::string_view(token, static_cast<size_t>(p - token)));
    }
    rest = std::string_view(p, static_cast<size_t>(end - p));
    return value;
}

} // namespace textscan
