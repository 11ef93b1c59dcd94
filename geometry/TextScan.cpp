#include "geometry/TextScan.h"

#include <charconv>
#include <cstdlib>
#include <limits>
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

std::string_view nextToken(std::string_view& rest, std::string_view separators) {
    const size_t begin = rest.find_first_not_of(separators);
    if (begin == std::string_view::npos) {
        rest = {};
        return {};
    }
    size_t end = rest.find_first_of(separators, begin);
    if (end == std::string_view::npos)
        end = rest.size();
    const std::string_view token = rest.substr(begin, end - begin);
    rest.remove_prefix(end);
    return token;
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
    std::string_view s = skipBlanks(token);
    if (s.empty())
        return 0;
    bool negative = false;
    if (s[0] == '+' || s[0] == '-') {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    if (s.empty() || s[0] == '+' || s[0] == '-')
        return 0;
    int64_t value = 0;
    const auto result = std::from_chars(s.data(), s.data() + s.size(), value);
    if (result.ec == std::errc::invalid_argument)
        return 0;
    constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
    if (result.ec == std::errc::result_out_of_range || value > kMax + 1)
        return negative ? std::numeric_limits<int32_t>::min() : std::numeric_limits<int32_t>::max();
    if (negative)
        return static_cast<int32_t>(-value);
    return value > kMax ? std::numeric_limits<int32_t>::max() : static_cast<int32_t>(value);
}

} // namespace textscan
