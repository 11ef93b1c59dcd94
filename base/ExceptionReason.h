#pragma once
// Turns a caught exception into the reason a failed step reports, at the
// barriers where exceptions stop (workers, packers, slots).

#include <exception>
#include <new>
#include <string>

// "out of memory" for std::bad_alloc (and its kinds), what() for other
// standard exceptions, "unknown error" for anything else or a null pointer.
inline std::string exceptionReason(const std::exception_ptr& error) {
    if (!error)
        return "unknown error";
    try {
        std::rethrow_exception(error);
    } catch (const std::bad_alloc&) {
        return "out of memory";
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown error";
    }
}
