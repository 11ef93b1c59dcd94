#pragma once
// Byte-exact file copies used by the packers.

#include <string>

namespace kvo {
// Copies the regular file src to dst (created or replaced) in raw bytes,
// through std::filesystem::copy_file. False, with a console line, when src
// cannot be read, dst cannot be opened or a write falls short (a dst that
// could not be fully written is removed, so no half-written file is left
// behind), and when src and dst name the same file, however spelled or
// linked: then both stay untouched.
bool cp(const std::string& src, const std::string& dst);
} // namespace kvo
