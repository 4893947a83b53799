#pragma once
#include <string>
#include <system_error>

// Failures of system calls, as this system reports them: errno values on POSIX (generic
// category), GetLastError values on Windows (system category). Callers never look at the
// numbers; they ask what kind of failure it was and for the system's own words.
namespace tz::platform {

using Error = std::error_code;

// An errno-style value (EIO, ENOSPC …), as a test's fault hook gives one, on either system.
inline Error errnoError(int e) { return e ? Error(e, std::generic_category()) : Error(); }

// The system's text for the failure, UTF-8, without a trailing full stop or line break. This is
// the one place the system's error texts come from; a translation of them sits behind it.
std::string errorText(const Error& e);

// Another program has the file open or locked in a way that excludes this use (Windows share
// modes, a lock in the way of a non-blocking lock request).
bool isBusy(const Error& e);
// The file or a folder of its path does not exist.
bool isNotFound(const Error& e);
// The file already exists (an exclusive create).
bool isAlreadyExists(const Error& e);

}  // namespace tz::platform
