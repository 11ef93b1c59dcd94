#include "pack/FileCopy.h"

#include "base/Trace.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace kvo {

namespace {

// Errors of the copy itself (the destination was opened, the bytes did not
// all arrive); anything else means the destination could not be opened.
bool isWriteError(const std::error_code& ec) {
    return ec == std::errc::no_space_on_device || ec == std::errc::io_error || ec == std::errc::file_too_large ||
           ec.value() == EDQUOT;
}

} // namespace

bool cp(const std::string& src, const std::string& dst) {
    std::error_code ec;
    const fs::file_status source = fs::status(src, ec);
    if (ec || !fs::is_regular_file(source)) {
        const std::string reason = ec ? ec.message() : std::make_error_code(std::errc::invalid_argument).message();
        Trace::out("kvo::cp failed can not read src.\n%s\n", reason.c_str());
        return false;
    }
    if (FILE* probe = std::fopen(src.c_str(), "rb")) {
        std::fclose(probe);
    } else {
        const std::error_code open(errno, std::generic_category());
        Trace::out("kvo::cp failed can not read src.\n%s\n", open.message().c_str());
        return false;
    }
    // The same file under another spelling or through a link: opening the
    // destination would truncate the source before a byte is read.
    std::error_code same;
    if (fs::equivalent(src, dst, same) && !same) {
        Trace::out("kvo::cp failed src and des are the same file.\n%s\n", dst.c_str());
        return false;
    }
    if (fs::copy_file(src, dst, fs::copy_options::overwrite_existing, ec))
        return true;
    if (isWriteError(ec)) {
        Trace::out("kvo::cp Fatal write error.\n");
        // The destination now holds part of the source at most.
        std::error_code ignored;
        if (fs::is_regular_file(dst, ignored))
            fs::remove(dst, ignored);
        return false;
    }
    Trace::out("kvo::cp failed can not read des.\n%s\n", ec.message().c_str());
    return false;
}

} // namespace kvo
