// The Windows side of the platform layer (built with MinGW-w64, run on Windows or under Wine).
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cwctype>
#include <random>
#include <system_error>

#include "platform/Error.h"
#include "platform/File.h"
#include "platform/HtmlHelp.h"
#include "platform/System.h"

namespace tz::platform {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kToTheEnd = ~std::uint64_t(0);

Error win(DWORD e) { return Error(static_cast<int>(e), std::system_category()); }
Error lastError() { return win(::GetLastError()); }
HANDLE handleOf(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }

std::wstring wide(std::string_view s) {
    if (s.empty()) return {};
    const int n =
        ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

std::string narrow(std::wstring_view w) {
    if (w.empty()) return {};
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr,
                                        0, nullptr, nullptr);
    std::string s(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr,
                          nullptr);
    return s;
}

OVERLAPPED at(std::uint64_t offset) {
    OVERLAPPED o{};
    o.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    o.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return o;
}

std::uint64_t lengthOf(std::uint64_t start, std::uint64_t length) {
    return length == 0 ? kToTheEnd - start : length;
}

bool lockRange(HANDLE h, std::uint64_t start, std::uint64_t length, bool exclusive) {
    OVERLAPPED o = at(start);
    const std::uint64_t n = lengthOf(start, length);
    return ::LockFileEx(h, LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0), 0,
                        static_cast<DWORD>(n & 0xFFFFFFFFu), static_cast<DWORD>(n >> 32), &o) != 0;
}

void unlockRange(HANDLE h, std::uint64_t start, std::uint64_t length) {
    OVERLAPPED o = at(start);
    const std::uint64_t n = lengthOf(start, length);
    ::UnlockFileEx(h, 0, static_cast<DWORD>(n & 0xFFFFFFFFu), static_cast<DWORD>(n >> 32), &o);
}

// A refusal to replace or delete a file (access denied) because some program has it open
// becomes a sharing violation, which callers report as a file in use.
Error refusal(const fs::path& file, DWORD e) {
    if (e == ERROR_ACCESS_DENIED) {
        HANDLE h = ::CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            ::CloseHandle(h);
        } else if (::GetLastError() == ERROR_SHARING_VIOLATION) {
            return win(ERROR_SHARING_VIOLATION);
        }
    }
    return win(e);
}

}  // namespace

// --- errors ---

// ERROR_DISK_QUOTA_EXCEEDED, which MinGW's headers lack.
constexpr DWORD kDiskQuotaExceeded = 1295;

ErrorKind errorKind(const Error& e) {
    if (e.category() != std::system_category()) return errnoKind(e.value());
    switch (static_cast<DWORD>(e.value())) {
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ErrorKind::DiskFull;
        case kDiskQuotaExceeded:
        case ERROR_NOT_ENOUGH_QUOTA:
            return ErrorKind::QuotaFull;
        case ERROR_ACCESS_DENIED:
        case ERROR_NETWORK_ACCESS_DENIED:
            return ErrorKind::AccessDenied;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
            return ErrorKind::NotFound;
        case ERROR_DIRECTORY:
            return ErrorKind::NotAFolder;
        case ERROR_WRITE_PROTECT:
            return ErrorKind::ReadOnly;
        case ERROR_TOO_MANY_OPEN_FILES:
            return ErrorKind::TooManyOpenFiles;
        case ERROR_IO_DEVICE:
        case ERROR_CRC:
        case ERROR_READ_FAULT:
        case ERROR_WRITE_FAULT:
        case ERROR_GEN_FAILURE:
        case ERROR_SECTOR_NOT_FOUND:
        case ERROR_SEEK:
        case ERROR_NOT_READY:
            return ErrorKind::Io;
        case ERROR_SHARING_VIOLATION:
        case ERROR_BUSY:
            return ErrorKind::InUse;
        case ERROR_LOCK_VIOLATION:
            return ErrorKind::Locked;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return ErrorKind::AlreadyExists;
        case ERROR_FILENAME_EXCED_RANGE:
        case ERROR_BUFFER_OVERFLOW:
            return ErrorKind::NameTooLong;
        case ERROR_FILE_TOO_LARGE:
            return ErrorKind::TooLarge;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return ErrorKind::OutOfMemory;
        case ERROR_INVALID_PARAMETER:
            return ErrorKind::Invalid;
        default:
            return ErrorKind::Other;
    }
}

std::string systemText(const Error& e) {
    if (e.category() != std::system_category()) return e.message();
    wchar_t* text = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(e.value()), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring w = n && text ? std::wstring(text, n) : std::wstring();
    if (text) ::LocalFree(text);
    while (!w.empty() &&
           (w.back() == L'\r' || w.back() == L'\n' || w.back() == L' ' || w.back() == L'.'))
        w.pop_back();
    if (w.empty()) return "Error " + std::to_string(e.value());
    return narrow(w);
}

bool isBusy(const Error& e) {
    if (e.category() == std::system_category()) {
        return e.value() == ERROR_SHARING_VIOLATION || e.value() == ERROR_LOCK_VIOLATION;
    }
    return e.value() == EAGAIN || e.value() == EWOULDBLOCK;
}

bool isNotFound(const Error& e) {
    if (e.category() == std::system_category()) {
        return e.value() == ERROR_FILE_NOT_FOUND || e.value() == ERROR_PATH_NOT_FOUND;
    }
    return e.value() == ENOENT;
}

bool isAlreadyExists(const Error& e) {
    if (e.category() == std::system_category()) {
        return e.value() == ERROR_FILE_EXISTS || e.value() == ERROR_ALREADY_EXISTS;
    }
    return e.value() == EEXIST;
}

// --- File ---

Error File::open(const fs::path& file, Access access) {
    close();
    DWORD rights = GENERIC_READ | GENERIC_WRITE;
    DWORD disposition = OPEN_EXISTING;
    switch (access) {
        case Access::Read:
            rights = GENERIC_READ;
            break;
        case Access::ReadWrite:
            break;
        case Access::Create:
            disposition = CREATE_ALWAYS;
            break;
        case Access::CreateNew:
            disposition = CREATE_NEW;
            break;
    }
    // Others may read and write (the timetabler shares the tables) but not delete or rename.
    HANDLE h = ::CreateFileW(file.c_str(), rights, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return lastError();
    h_ = reinterpret_cast<std::intptr_t>(h);
    writable_ = access != Access::Read;
    return {};
}

bool File::isOpen() const { return h_ != -1; }

void File::close() {
    if (h_ != -1) ::CloseHandle(handleOf(h_));  // also releases its locks
    h_ = -1;
    hold_ = ranges_ = Hold::None;
}

Error File::size(std::uint64_t& bytes) const {
    LARGE_INTEGER n{};
    if (!::GetFileSizeEx(handleOf(h_), &n)) return lastError();
    bytes = static_cast<std::uint64_t>(n.QuadPart);
    return {};
}

Error File::readAt(void* dst, std::size_t n, std::uint64_t offset, std::size_t& done) const {
    auto* p = static_cast<char*>(dst);
    done = 0;
    while (done < n) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(n - done, 1u << 30));
        OVERLAPPED o = at(offset + done);
        DWORD got = 0;
        if (!::ReadFile(handleOf(h_), p + done, chunk, &got, &o)) {
            const DWORD e = ::GetLastError();
            if (e == ERROR_HANDLE_EOF) break;
            return win(e);
        }
        if (got == 0) break;
        done += got;
    }
    return {};
}

Error File::writeAt(const void* src, std::size_t n, std::uint64_t offset) {
    const auto* p = static_cast<const char*>(src);
    std::size_t done = 0;
    while (done < n) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(n - done, 1u << 30));
        OVERLAPPED o = at(offset + done);
        DWORD put = 0;
        if (!::WriteFile(handleOf(h_), p + done, chunk, &put, &o)) return lastError();
        if (put == 0) return win(ERROR_WRITE_FAULT);
        done += put;
    }
    return {};
}

Error File::writeGathered(const Piece* pieces, std::size_t count, std::uint64_t offset) {
    for (std::size_t i = 0; i < count; ++i) {
        if (pieces[i].size == 0) continue;
        if (Error e = writeAt(pieces[i].data, pieces[i].size, offset)) return e;
        offset += pieces[i].size;
    }
    return {};
}

Error File::truncate(std::uint64_t size) {
    FILE_END_OF_FILE_INFO info{};
    info.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    if (!::SetFileInformationByHandle(handleOf(h_), FileEndOfFileInfo, &info, sizeof info))
        return lastError();
    return {};
}

Error File::grow(std::uint64_t size) {
    std::uint64_t now = 0;
    if (Error e = this->size(now)) return e;
    return size <= now ? Error() : truncate(size);  // the system allocates what it extends
}

Error File::sync() { return ::FlushFileBuffers(handleOf(h_)) ? Error() : lastError(); }

Error File::copyPermissions(const fs::path&) { return {}; }

Error File::setHold(Hold want) {
    HANDLE h = handleOf(h_);
    const Hold before = ranges_;
    const auto drop = [&] {
        if (ranges_ == Hold::Exclusive) unlockRange(h, 0, 0);
        if (ranges_ == Hold::Shared) unlockRange(h, 0, 1);
        ranges_ = Hold::None;
    };
    const auto take = [&](Hold k) {
        const bool ok = k == Hold::Exclusive ? lockRange(h, 0, 0, true) : lockRange(h, 0, 1, false);
        if (ok) ranges_ = k;
        return ok;
    };
    if (want == Hold::None) {
        drop();
        hold_ = Hold::None;
        return {};
    }
    if (want == Hold::Exclusive && !writable_) {
        if (lockedByOthers(0, 0, true)) return win(ERROR_LOCK_VIOLATION);
        hold_ = want;
        return {};
    }
    if (ranges_ == want) {
        hold_ = want;
        return {};
    }
    // Windows locks do not convert in place: the old one goes before the new one is asked for,
    // and comes back when the new one is refused.
    drop();
    if (take(want)) {
        hold_ = want;
        return {};
    }
    const DWORD e = ::GetLastError();
    if (before != Hold::None && !take(before)) hold_ = Hold::None;
    return win(e == ERROR_IO_PENDING ? ERROR_LOCK_VIOLATION : e);
}

Error File::lock(std::uint64_t start, std::uint64_t length, bool exclusive) {
    if (lockRange(handleOf(h_), start, length, exclusive)) return {};
    const DWORD e = ::GetLastError();
    return win(e == ERROR_IO_PENDING ? ERROR_LOCK_VIOLATION : e);
}

void File::unlock(std::uint64_t start, std::uint64_t length) {
    unlockRange(handleOf(h_), start, length);
}

bool File::lockedByOthers(std::uint64_t start, std::uint64_t length, bool exclusive) const {
    HANDLE h = handleOf(h_);
    if (lockRange(h, start, length, exclusive)) {
        unlockRange(h, start, length);
        return false;
    }
    return ::GetLastError() == ERROR_LOCK_VIOLATION;
}

void* File::map(std::uint64_t) { return nullptr; }
void File::unmap(void*, std::uint64_t) {}

// --- replacing, renaming, removing ---

Error replaceFile(const fs::path& file, std::string_view bytes, const ReplaceSteps& steps) {
    const auto fault = [&](std::string_view step, const fs::path& p) {
        return steps.fault ? steps.fault(steps.context, step, p) : 0;
    };
    fs::path dir = file.parent_path();
    if (dir.empty()) dir = ".";
    static std::mt19937_64 gen{std::random_device{}()};
    fs::path temp;
    File out;
    Error err;
    for (int attempt = 0; attempt < 8 && !out.isOpen(); ++attempt) {
        char suffix[24];
        std::snprintf(suffix, sizeof suffix, ".%012llx.tmp",
                      static_cast<unsigned long long>(gen() & 0xFFFFFFFFFFFFULL));
        temp = dir / pathFromUtf8("." + utf8(file.filename()) + suffix);
        if (int e = fault("create", temp)) return errnoError(e);
        err = out.open(temp, File::Access::CreateNew);
        if (err && !isAlreadyExists(err)) return err;
    }
    if (!out.isOpen()) return win(ERROR_FILE_EXISTS);

    if (int e = fault("write", temp)) err = errnoError(e);
    if (!err) err = out.writeAt(bytes.data(), bytes.size(), 0);
    if (!err) {
        if (int e = fault("sync", temp)) err = errnoError(e);
    }
    if (!err) err = out.sync();
    out.close();
    if (!err && steps.beforeCommit && !steps.beforeCommit(steps.context, temp))
        err = errnoError(EIO);
    if (!err) {
        if (int e = fault("rename", file)) err = errnoError(e);
    }
    if (!err && !::MoveFileExW(temp.c_str(), file.c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        err = refusal(file, ::GetLastError());
    if (err) {
        ::DeleteFileW(temp.c_str());
        return err;
    }
    return {};
}

Error renameFile(const fs::path& from, const fs::path& to) {
    if (::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return {};
    const DWORD e = ::GetLastError();
    if (e == ERROR_ACCESS_DENIED) {
        // Either end may be the one held open.
        const Error t = refusal(to, e);
        return isBusy(t) ? t : refusal(from, e);
    }
    return win(e);
}

Error removeFile(const fs::path& file) {
    if (::DeleteFileW(file.c_str())) return {};
    const DWORD e = ::GetLastError();
    if (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND) return {};
    return refusal(file, e);
}

FileStamp fileStamp(const fs::path& file) {
    FileStamp s;
    HANDLE h = ::CreateFileW(file.c_str(), FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return s;
    BY_HANDLE_FILE_INFORMATION info{};
    FILE_BASIC_INFO basic{};
    const bool ok = ::GetFileInformationByHandle(h, &info) != 0;
    const bool hasBasic =
        ::GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic) != 0;
    ::CloseHandle(h);
    if (!ok) return s;
    const auto ticks = [](const FILETIME& t) {
        return std::int64_t((std::uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime) * 100;
    };
    s.device = info.dwVolumeSerialNumber;
    s.inode = (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    s.size = (std::uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    s.modified = ticks(info.ftLastWriteTime);
    s.changed = hasBasic ? std::int64_t(basic.ChangeTime.QuadPart) * 100 : s.modified;
    return s;
}

// --- folder hold ---

Error FolderHold::take(const fs::path& folder) {
    release();
    const DWORD attributes = ::GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return lastError();
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return win(ERROR_DIRECTORY);
    // One name per folder, whatever its spelling: a hash of its key ("\" is not allowed in the
    // name of a mutex).
    std::uint64_t hash = 1469598103934665603ull;
    for (unsigned char c : fileKey(folder)) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    wchar_t name[64];
    std::swprintf(name, 64, L"Local\\transzanderxel-%016llx",
                  static_cast<unsigned long long>(hash));
    HANDLE m = ::CreateMutexW(nullptr, FALSE, name);
    if (!m) return lastError();
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(m);
        return win(ERROR_SHARING_VIOLATION);
    }
    h_ = reinterpret_cast<std::intptr_t>(m);
    return {};
}

bool FolderHold::held() const { return h_ != -1; }

void FolderHold::release() {
    if (h_ != -1) ::CloseHandle(handleOf(h_));
    h_ = -1;
}

std::string fileKey(const fs::path& file) {
    HANDLE h =
        ::CreateFileW(file.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        BY_HANDLE_FILE_INFORMATION info{};
        const bool ok = ::GetFileInformationByHandle(h, &info) != 0;
        ::CloseHandle(h);
        if (ok) {
            return "#" + std::to_string(info.dwVolumeSerialNumber) + ":" +
                   std::to_string((std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow);
        }
    }
    std::error_code ec;
    std::wstring w = fs::absolute(file, ec).lexically_normal().wstring();
    for (wchar_t& c : w) c = static_cast<wchar_t>(std::towlower(c));
    return narrow(w);
}

// --- process facts ---

fs::path pathFromUtf8(std::string_view utf8) { return fs::path(wide(utf8)); }
std::string utf8(const fs::path& p) { return narrow(p.native()); }

std::string executableFolder() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n =
            ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) {
            buffer.resize(n);
            break;
        }
        buffer.resize(buffer.size() * 2);
    }
    std::string folder = narrow(fs::path(buffer).parent_path().native());
    if (folder.empty()) return {};
    if (folder.back() != '\\' && folder.back() != '/') folder += '\\';
    return folder;
}

std::optional<std::string> environment(std::string_view name) {
    const std::wstring w = wide(name);
    const DWORD n = ::GetEnvironmentVariableW(w.c_str(), nullptr, 0);
    if (n == 0) return std::nullopt;
    std::wstring value(n, L'\0');
    const DWORD got = ::GetEnvironmentVariableW(w.c_str(), value.data(), n);
    value.resize(got);
    return narrow(value);
}

fs::path stateFolder() {
    if (auto v = environment("LOCALAPPDATA"); v && !v->empty())
        return pathFromUtf8(*v) / "transzanderxel";
    if (auto v = environment("USERPROFILE"); v && !v->empty())
        return pathFromUtf8(*v) / "AppData" / "Local" / "transzanderxel";
    std::error_code ec;
    return fs::temp_directory_path(ec) / "transzanderxel";
}

std::tm localTime(std::time_t t) {
    std::tm tm{};
    localtime_s(&tm, &t);
    return tm;
}

long processId() { return static_cast<long>(::GetCurrentProcessId()); }

std::vector<std::string> commandLineArguments(int argc, char** argv) {
    int n = 0;
    wchar_t** w = ::CommandLineToArgvW(::GetCommandLineW(), &n);
    if (!w) return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
    std::vector<std::string> args;
    for (int i = 1; i < n; ++i) args.push_back(narrow(w[i]));
    ::LocalFree(w);
    return args;
}

void prepareConsole() {
    ::SetConsoleOutputCP(CP_UTF8);
    ::SetConsoleCP(CP_UTF8);
}

void keepFreedMemory() {}

std::string driveOf(const fs::path& p) { return narrow(p.root_name().native()); }

// --- help viewer ---

namespace {
using HtmlHelpW = HWND(WINAPI*)(HWND, LPCWSTR, UINT, DWORD_PTR);
HtmlHelpW helpEntry() {
    static HtmlHelpW entry = [] {
        HMODULE m = ::LoadLibraryW(L"hhctrl.ocx");
        return m ? reinterpret_cast<HtmlHelpW>(
                       reinterpret_cast<void*>(::GetProcAddress(m, "HtmlHelpW")))
                 : nullptr;
    }();
    return entry;
}
}  // namespace

bool htmlHelpAvailable() { return helpEntry() != nullptr; }

std::uintptr_t htmlHelp(std::uintptr_t window, const std::string& file, unsigned command,
                        std::uintptr_t data, const std::string* keyword) {
    HtmlHelpW entry = helpEntry();
    if (!entry) return 0;
    const std::wstring name = wide(file);
    const std::wstring word = keyword ? wide(*keyword) : std::wstring();
    const DWORD_PTR arg = keyword ? reinterpret_cast<DWORD_PTR>(word.c_str()) : data;
    HWND shown =
        entry(reinterpret_cast<HWND>(window), name.empty() ? nullptr : name.c_str(), command, arg);
    return reinterpret_cast<std::uintptr_t>(shown);
}

}  // namespace tz::platform
