// The file layer's gathered writes and the append byte a write batch holds.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <string>
#include <vector>

#include "TestDir.h"
#include "tables/EngineError.h"
#include "tables/FileIo.h"

namespace tz::tables {
namespace {

using testing::TestDir;

// Pieces of every size (empty ones too), more of them than one system call takes, written at
// an offset into a file with bytes before and after: the file holds them one after the other.
TEST(FileIo, GatheredWritesLandInOrder) {
    TestDir dir;
    const auto p = dir.path() / "g.bin";
    testing::writeBytes(p, std::string(50, '.'));
    std::vector<std::string> parts;
    for (int i = 0; i < IOV_MAX + 300; ++i) {
        parts.push_back(
            std::string(static_cast<std::size_t>(i % 5), static_cast<char>('a' + i % 26)));
    }
    std::vector<FileIo::Piece> pieces;
    std::string want;
    for (const auto& s : parts) {
        pieces.push_back({s.data(), s.size()});
        want += s;
    }
    FileIo io(p, FileIo::Access::ReadWrite);
    io.writeGathered(pieces, 10);
    ASSERT_GT(want.size(), 40u);
    EXPECT_EQ(testing::readBytes(p), std::string(10, '.') + want);
    io.writeGathered({}, 3);  // nothing to write
    EXPECT_EQ(testing::readBytes(p).substr(0, 10), std::string(10, '.'));
    // A failure is told with the system's reason and the file's name.
    setFileFaultHook([](std::string_view op, const std::filesystem::path&) {
        return op == "write" ? 5 /* EIO */ : 0;
    });
    try {
        io.writeGathered(pieces, 0);
        ADD_FAILURE() << "the write should fail";
    } catch (const EngineError& e) {
        EXPECT_NE(std::string(e.what()).find(p.string()), std::string::npos) << e.what();
    }
    setFileFaultHook({});
}

// Whether another open of the file finds a write lock on `byte`.
bool lockedForOthers(const std::filesystem::path& p, std::uint64_t byte) {
    const int fd = ::open(p.c_str(), O_RDWR);
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(byte);
    fl.l_len = 1;
    const bool locked = ::fcntl(fd, F_OFD_GETLK, &fl) == 0 && fl.l_type != F_UNLCK;
    ::close(fd);
    return locked;
}

// The append byte is held from holdAppending to releaseAppending, through the short locks of
// the writes in between, and lets go when the file closes.
TEST(FileIo, AppendByteHeldAcrossWrites) {
    TestDir dir;
    const auto p = dir.path() / "a.bin";
    testing::writeBytes(p, "abc");
    const std::uint64_t append = 0xEFFFFFFFULL, record = 0xEFFFFFFDULL;
    FileIo io(p, FileIo::Access::ReadWrite);
    ASSERT_TRUE(io.tryLock(false));
    EXPECT_FALSE(lockedForOthers(p, append));
    io.holdAppending();
    EXPECT_TRUE(io.holdsAppending());
    EXPECT_TRUE(lockedForOthers(p, append));
    io.lockForWrite({{record, 1, false}});
    EXPECT_TRUE(lockedForOthers(p, record));
    io.unlockForWrite();
    EXPECT_FALSE(lockedForOthers(p, record));
    EXPECT_TRUE(lockedForOthers(p, append));  // still held by the batch
    io.releaseAppending();
    EXPECT_FALSE(lockedForOthers(p, append));
    io.lockForWrite();  // a write of its own takes and leaves it
    EXPECT_TRUE(lockedForOthers(p, append));
    io.unlockForWrite();
    EXPECT_FALSE(lockedForOthers(p, append));
    io.holdAppending();
    io.close();
    EXPECT_FALSE(lockedForOthers(p, append));
}

}  // namespace
}  // namespace tz::tables
