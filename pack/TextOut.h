#pragma once
// Text pieces of the generated bundle files (descriptors, mesh bundle JSON,
// parameter JSON), which are written by string concatenation.

#include <string>

namespace textout {

// A float as a default-configured text stream writes it (6 significant
// digits, "%g" style: 0.5, 1e-07, 32767). Infinite or NaN values, which JSON
// cannot hold, are written as 0.
std::string floatText(double value);

// `text` with the characters JSON strings may not hold raw escaped: quote and
// backslash as \" and \\, control characters below 0x20 as \n, \r, \t, \b,
// \f or \u00XX. Other bytes (UTF-8 included) pass unchanged.
std::string jsonEscape(const std::string& text);

} // namespace textout
