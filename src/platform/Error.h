#pragma once
#include <string>
#include <system_error>

// Failures of system calls, as this system reports them: errno values on POSIX (generic
// category), GetLastError values on Windows (system category). Callers never look at the
// numbers; they ask what kind of failure it was and for its reason in words.
namespace tz::platform {

using Error = std::error_code;

// An errno-style value (EIO, ENOSPC …), as a test's fault hook gives one, on either system.
inline Error errnoError(int e) { return e ? Error(e, std::generic_category()) : Error(); }

// The kinds of failure the user is told about in words of their own; the rest are Other.
enum class ErrorKind {
    Other,
    DiskFull,
    QuotaFull,
    AccessDenied,
    NotFound,
    NotAFolder,
    IsAFolder,
    ReadOnly,
    TooManyOpenFiles,
    Io,
    InUse,
    Locked,
    AlreadyExists,
    NameTooLong,
    TooLarge,
    OutOfMemory,
    Invalid,
};

// The kind of an errno value, the same on both systems (ErrorText.cpp).
ErrorKind errnoKind(int e);
// The kind of any failure: errno values by errnoKind, the system's own codes (GetLastError on
// Windows) by the kind they stand for.
ErrorKind errorKind(const Error& e);

// The reason for the failure, in Spanish, UTF-8, without a trailing full stop or line break:
// "no queda espacio en el disco", "permiso denegado" … the same words on both systems for the
// same kind of failure; any other failure is "error del sistema N (<the system's own text>)".
// This is the one place the system's error texts come from (ErrorText.cpp).
std::string errorText(const Error& e);
// The system's own text for the failure (strerror, FormatMessage), UTF-8, trimmed; what
// errorText quotes for a failure of no known kind.
std::string systemText(const Error& e);

// Another program has the file open or locked in a way that excludes this use (Windows share
// modes, a lock in the way of a non-blocking lock request).
bool isBusy(const Error& e);
// The file or a folder of its path does not exist.
bool isNotFound(const Error& e);
// The file already exists (an exclusive create).
bool isAlreadyExists(const Error& e);

}  // namespace tz::platform
