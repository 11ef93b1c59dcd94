#pragma once
// Token and number scanning shared by the mesh file readers. Everything
// works on string_views into the caller's buffer: no allocation, no copy.
// Numbers follow the C library's atof/atoi: leading blanks skipped, the
// longest valid prefix is read, text without a number reads 0.

#include <climits>
#include <cstdint>
#include <string_view>

namespace textscan {

// Separators of the readers' tokens.
inline constexpr std::string_view kLineSeparators = " \t\n\r"; // first token of a line
inline constexpr std::string_view kValueSeparators = " \t";    // MTL value tokens

// Skips leading separators of rest, then returns the token up to the next
// separator (or the end) and advances rest past it. Empty at the end.
std::string_view nextToken(std::string_view& rest, std::string_view separators);
// s without leading and trailing characters of chars.
std::string_view trim(std::string_view s, std::string_view chars = " \t\r\n");

// atof of the token: the value of its longest decimal or hexadecimal
// floating-point prefix (inf/nan included; out-of-range values become
// +-HUGE_VAL or 0 as strtod gives them), 0 when there is none.
double parseDouble(std::string_view token);
// atoi of the token, saturated to the int32 range.
int32_t parseInt(std::string_view token);

// parseDouble of the next token of rest split by kLineSeparators (0 when
// there is none); rest moves past the token. Reads each byte once for
// plain decimal numbers.
double nextDouble(std::string_view& rest);
// Reads an optionally signed run of decimal digits at p (before end) as
// atoi would, saturated to the int32 range, and moves p past it. False,
// p unchanged, when no digit follows the sign.
inline bool readInt(const char*& p, const char* end, int32_t& value) {
    const char* q = p;
    bool negative = false;
    if (q < end && (*q == '+' || *q == '-')) {
        negative = *q == '-';
        ++q;
    }
    if (q == end || *q < '0' || *q > '9')
        return false;
    // Accumulated up to 2^31 (the magnitude of INT32_MIN), then saturated.
    constexpr int64_t kLimit = int64_t(INT32_MAX) + 1;
    int64_t magnitude = 0;
    for (; q < end && *q >= '0' && *q <= '9'; ++q) {
        magnitude = magnitude * 10 + (*q - '0');
        if (magnitude > kLimit)
            magnitude = kLimit;
    }
    if (negative)
        value = static_cast<int32_t>(-magnitude);
    else
        value = magnitude > INT32_MAX ? INT32_MAX : static_cast<int32_t>(magnitude);
    p = q;
    return true;
}
inline bool isLineSeparator(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
// nextToken(rest, kLineSeparators), for the readers' inner loops.
inline std::string_view nextLineToken(std::string_view& rest) {
    const char* p = rest.data();
    const char* const end = p + rest.size();
    while (p < end && isLineSeparator(*p))
        ++p;
    const char* const begin = p;
    while (p < end && !isLineSeparator(*p))
        ++p;
    rest = std::string_view(p, static_cast<size_t>(end - p));
    return std::string_view(begin, static_cast<size_t>(p - begin));
}

} // namespace textscan
