#pragma once
// Token and number scanning shared by the mesh file readers. Everything
// works on string_views into the caller's buffer: no allocation, no copy.
// Numbers follow the C library's atof/atoi: leading blanks skipped, the
// longest valid prefix is read, text without a number reads 0.

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

} // namespace textscan
