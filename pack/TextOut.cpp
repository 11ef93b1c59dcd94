#include "pack/TextOut.h"

#include <cmath>
#include <cstdio>
#include <sstream>

namespace textout {

std::string floatText(double value) {
    if (!std::isfinite(value))
        return "0";
    std::ostringstream s;
    s << value;
    return s.str();
}

std::string jsonEscape(const std::string& text) {
    std::string r;
    r.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '"': r += "\\\""; break;
        case '\\': r += "\\\\"; break;
        case '\n': r += "\\n"; break;
        case '\r': r += "\\r"; break;
        case '\t': r += "\\t"; break;
        case '\b': r += "\\b"; break;
        case '\f': r += "\\f"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
                r += buf;
            } else {
                r += c;
            }
        }
    }
    return r;
}

} // namespace textout
