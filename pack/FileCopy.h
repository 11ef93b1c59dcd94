#pragma once
// Byte-exact file copies used by the packers.

#include <string>

namespace kvo {
// Copies src to dst (created or truncated) in raw bytes. False, with a console
// line, when src cannot be read, dst cannot be opened or a write falls short;
// a dst that could not be fully written is removed, so no half-written file
// is left behind.
bool cp(const std::string& src, const std::string& dst);
} // namespace kvo
