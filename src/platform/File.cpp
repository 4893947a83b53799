#include "platform/File.h"

// What both systems' files and folder holds share: closing on destruction and moving the
// handle; the system calls themselves are in Posix.cpp and Win32.cpp.
namespace tz::platform {

File::~File() { close(); }

File::File(File&& o) noexcept
    : h_(o.h_), writable_(o.writable_), hold_(o.hold_), ranges_(o.ranges_) {
    o.h_ = -1;
    o.hold_ = o.ranges_ = Hold::None;
}

File& File::operator=(File&& o) noexcept {
    if (this != &o) {
        close();
        h_ = o.h_;
        writable_ = o.writable_;
        hold_ = o.hold_;
        ranges_ = o.ranges_;
        o.h_ = -1;
        o.hold_ = o.ranges_ = Hold::None;
    }
    return *this;
}

FolderHold::~FolderHold() { release(); }
FolderHold::FolderHold(FolderHold&& o) noexcept : h_(o.h_) { o.h_ = -1; }
FolderHold& FolderHold::operator=(FolderHold&& o) noexcept {
    if (this != &o) {
        release();
        h_ = o.h_;
        o.h_ = -1;
    }
    return *this;
}

}  // namespace tz::platform
