// Locking between processes: a table held by another program is refused cleanly, and two
// programs appending to one shared table keep every row.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

#include "TestDir.h"
#include "tables/Dataset.h"
#include "tables/FileIo.h"
#include "tables/TableFiles.h"

extern char** environ;

namespace tz::tables {
namespace {

namespace fs = std::filesystem;
using testing::TestDir;

// The helper program running with a pipe on its stdin and one on its stdout.
class Helper {
  public:
    explicit Helper(std::vector<std::string> args) {
        int in[2], out[2];
        if (::pipe(in) != 0 || ::pipe(out) != 0) throw std::runtime_error("pipe");
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, in[0], 0);
        posix_spawn_file_actions_adddup2(&fa, out[1], 1);
        posix_spawn_file_actions_addclose(&fa, in[1]);
        posix_spawn_file_actions_addclose(&fa, out[0]);
        args.insert(args.begin(), TZ_LOCK_HELPER);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, TZ_LOCK_HELPER, &fa, nullptr, argv.data(), environ) != 0) {
            throw std::runtime_error("spawn");
        }
        posix_spawn_file_actions_destroy(&fa);
        ::close(in[0]);
        ::close(out[1]);
        toChild_ = in[1];
        fromChild_ = out[0];
    }
    ~Helper() {
        closeInput();
        if (pid_ > 0) wait();
        ::close(fromChild_);
    }
    std::string line() {
        std::string s;
        char c;
        while (::read(fromChild_, &c, 1) == 1 && c != '\n') s.push_back(c);
        return s;
    }
    void closeInput() {
        if (toChild_ >= 0) ::close(toChild_);
        toChild_ = -1;
    }
    int wait() {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    pid_t pid_ = -1;
    int toChild_ = -1, fromChild_ = -1;
};

std::string run(std::vector<std::string> args, int* status = nullptr) {
    Helper h(std::move(args));
    std::string out = h.line();
    h.closeInput();  // a holder waits for its input to close
    int s = h.wait();
    if (status) *status = s;
    return out;
}

fs::path makeTable(const TestDir& dir) {
    fs::path p = dir.ztemp() / "LOCKED.DBF";
    createTable(p, {charField("KEY", 8)}, {"KEY"});
    Dataset d;
    d.open(p);
    d.appendRecord({"first"});
    return p;
}

std::string busy(const fs::path& p) {
    return "La tabla " + p.string() + " está siendo usada por otro programa";
}

TEST(Locking, TableHeldExclusivelyByAnotherProcessIsRefused) {
    TestDir dir;
    fs::path p = makeTable(dir);
    std::string before = testing::readBytes(p);
    Helper holder({"hold", "exclusive", p.string()});
    ASSERT_EQ(holder.line(), "ready");
    for (OpenMode m : {OpenMode::Shared, OpenMode::ReadOnly, OpenMode::Exclusive}) {
        Dataset d;
        try {
            d.open(p, m);
            ADD_FAILURE() << "opened a table held by another process";
        } catch (const EngineError& e) {
            EXPECT_EQ(std::string(e.what()), busy(p));
        }
        EXPECT_FALSE(d.isOpen());
    }
    EXPECT_THROW(createTable(p, {charField("X", 1)}, {}), EngineError);
    EXPECT_THROW(deleteTableFiles(p), EngineError);
    EXPECT_EQ(testing::readBytes(p), before);
    holder.closeInput();
    EXPECT_EQ(holder.wait(), 0);
    Dataset d;
    d.open(p, OpenMode::Exclusive);
    EXPECT_EQ(d.text("KEY"), "first");
}

TEST(Locking, AnotherProcessIsRefusedWhileWeHoldTheTable) {
    TestDir dir;
    fs::path p = makeTable(dir);
    Dataset d;
    d.open(p, OpenMode::Exclusive);
    d.appendRecord({"batched"});
    std::string before = testing::readBytes(p);
    for (const auto& args : std::vector<std::vector<std::string>>{{"open", "shared", p.string()},
                                                                  {"open", "readonly", p.string()},
                                                                  {"open", "exclusive", p.string()},
                                                                  {"create", p.string()},
                                                                  {"delete", p.string()}}) {
        int status = 0;
        EXPECT_EQ(run(args, &status), busy(p)) << args[0];
        EXPECT_EQ(status, 3);
    }
    EXPECT_EQ(testing::readBytes(p), before);
    d.close();
    EXPECT_EQ(run({"open", "exclusive", p.string()}), "ok");
}

TEST(Locking, SharedHoldersExcludeOnlyExclusiveOpens) {
    TestDir dir;
    fs::path p = makeTable(dir);
    Dataset d;
    d.open(p, OpenMode::Shared);
    EXPECT_EQ(run({"open", "shared", p.string()}), "ok");
    EXPECT_EQ(run({"open", "readonly", p.string()}), "ok");
    EXPECT_EQ(run({"open", "exclusive", p.string()}), busy(p));
    // Upgrading to exclusive in this process fails while another process shares the table.
    Helper holder({"hold", "shared", p.string()});
    ASSERT_EQ(holder.line(), "ready");
    Dataset ex;
    EXPECT_THROW(ex.open(p, OpenMode::Exclusive), EngineError);
    d.appendRecord({"still"});  // our shared hold survived the failed upgrade
    EXPECT_EQ(run({"open", "exclusive", p.string()}), busy(p));
}

// POSIX record locks (fcntl), as programs under Wine hold them, by another process.
struct PosixCase {
    const char* what;
    const char* type;  // "read" or "write"
    std::uint64_t start, length;
    bool refusesShared;     // shared and read-only opening
    bool refusesExclusive;  // exclusive opening, and making the table anew
    bool refusesRecord2;    // writing record 2 (appending for "append") while open shared
    bool refusesAppend;
};

TEST(Locking, PosixRecordLocksOfAnotherProcessAreRespected) {
    // LOCKED.DBF: a 65-byte header, 9-byte records; record 2 is bytes 74 to 82.
    const std::uint64_t kRecordLock = 0xEFFFFFFEULL;
    const PosixCase cases[] = {
        {"whole file, write", "write", 0, 0, true, true, true, true},
        {"whole file, read", "read", 0, 0, false, true, true, true},
        {"record 2's bytes", "write", 74, 9, false, true, true, false},
        {"record 2's lock byte", "write", kRecordLock - 2, 1, false, true, true, false},
        {"the table lock bytes", "write", kRecordLock, 2, false, true, true, true},
        {"record 1's bytes", "write", 65, 9, false, true, false, false},
    };
    setLockWait(std::chrono::milliseconds(200));  // each refused write waits this long
    for (const PosixCase& c : cases) {
        SCOPED_TRACE(c.what);
        TestDir dir;
        fs::path p = makeTable(dir);
        {
            Dataset d;
            d.open(p, OpenMode::Shared);
            d.appendRecord({"second"});
        }
        const std::string before = testing::readBytes(p);
        Helper holder(
            {"posix", c.type, p.string(), std::to_string(c.start), std::to_string(c.length)});
        ASSERT_EQ(holder.line(), "ready");
        for (OpenMode m : {OpenMode::Shared, OpenMode::ReadOnly, OpenMode::Exclusive}) {
            const bool refused = m == OpenMode::Exclusive ? c.refusesExclusive : c.refusesShared;
            Dataset d;
            try {
                d.open(p, m);
                EXPECT_FALSE(refused) << "opened in mode " << static_cast<int>(m);
            } catch (const EngineError& e) {
                EXPECT_TRUE(refused) << e.what();
                EXPECT_EQ(std::string(e.what()), busy(p));
            }
        }
        if (c.refusesExclusive) {
            EXPECT_THROW(createTable(p, {charField("X", 1)}, {}), EngineError);
        }
        if (!c.refusesShared) {
            Dataset d;
            d.open(p, OpenMode::Shared);
            d.setIndex("KEY");
            ASSERT_TRUE(d.findKey("second"));  // record 2
            d.edit();
            d.setText("KEY", "edited");
            if (c.refusesRecord2) {
                try {
                    d.post();
                    ADD_FAILURE() << "wrote a record another program holds";
                } catch (const EngineError& e) {
                    EXPECT_EQ(std::string(e.what()),
                              "La tabla " + p.string() + " está bloqueada por otro programa");
                }
                d.cancel();
            } else {
                d.post();
            }
            if (c.refusesAppend) {
                EXPECT_THROW(d.appendRecord({"third"}), EngineError);
                d.cancel();
            }
        }
        if (c.refusesRecord2 && c.refusesAppend) {
            EXPECT_EQ(testing::readBytes(p), before) << "the table changed under the lock";
        }
        holder.closeInput();
        EXPECT_EQ(holder.wait(), 0);
    }
    setLockWait(std::chrono::milliseconds(5000));
}

// While this process holds a table, programs that take POSIX locks find it held: exclusively,
// every lock is refused; shared, a lock over the whole file.
TEST(Locking, OurHoldIsSeenByProgramsThatTakePosixLocks) {
    TestDir dir;
    fs::path p = makeTable(dir);
    const std::string end = "0";
    {
        Dataset d;
        d.open(p, OpenMode::Exclusive);
        EXPECT_EQ(run({"posix", "read", p.string(), "74", "9"}), "held");
        EXPECT_EQ(run({"posix", "write", p.string(), "0", end}), "held");
    }
    {
        Dataset d;
        d.open(p, OpenMode::Shared);
        EXPECT_EQ(run({"posix", "write", p.string(), "0", end}), "held");
        EXPECT_EQ(run({"posix", "read", p.string(), "0", end}), "ready");
        EXPECT_EQ(run({"posix", "write", p.string(), "74", "9"}), "ready");  // a record: theirs
    }
    EXPECT_EQ(run({"posix", "write", p.string(), "0", end}), "ready");
}

// Two copies of the tool never work on one exchange folder at once.
TEST(Locking, OneProcessAtATimeHoldsAFolder) {
    TestDir dir;
    const fs::path z = dir.ztemp();
    {
        Helper holder({"folder", z.string()});
        ASSERT_EQ(holder.line(), "ready");
        EXPECT_FALSE(holdFolder(z));
        EXPECT_FALSE(holdFolder(z / "."));                // the same folder by another name
        EXPECT_TRUE(holdFolder(dir.path() / "MISSING"));  // nothing to hold
        holder.closeInput();
        EXPECT_EQ(holder.wait(), 0);
    }
    // Released when its holder ends; held here, again and again, until another is held.
    EXPECT_TRUE(holdFolder(z));
    EXPECT_TRUE(holdFolder(z));
    int status = 0;
    EXPECT_EQ(run({"folder", z.string()}, &status), "held");
    EXPECT_EQ(status, 3);
    ASSERT_TRUE(holdFolder(dir.path()));
    {
        Helper again({"folder", z.string()});
        EXPECT_EQ(again.line(), "ready");
    }
    EXPECT_EQ(run({"folder", dir.path().string()}, &status), "held");
    releaseFolder();  // let go: the other process gets it
    Helper free({"folder", dir.path().string()});
    EXPECT_EQ(free.line(), "ready");
}

TEST(Locking, RowsAppendedByAnotherProcessAreKept) {
    TestDir dir;
    fs::path p = makeTable(dir);
    Dataset d;
    d.open(p, OpenMode::Shared);
    EXPECT_EQ(run({"append", p.string(), "child", "2"}), "ok");
    d.appendRecord({"parent"});
    d.setIndex("KEY");
    std::vector<std::string> keys;
    for (d.first(); !d.eof(); d.next()) keys.push_back(d.text("KEY"));
    EXPECT_EQ(keys, (std::vector<std::string>{"child0", "child1", "first", "parent"}));
    EXPECT_EQ(testing::headerCount(p), 4u);
}

TEST(Locking, TwoProcessesAppendingSharedLoseNothing) {
    TestDir dir;
    fs::path p = makeTable(dir);
    {
        Helper a({"append", p.string(), "a", "400"});
        Helper b({"append", p.string(), "b", "400"});
        EXPECT_EQ(a.line(), "ok");
        EXPECT_EQ(b.line(), "ok");
    }
    Dataset d;
    d.open(p);
    std::set<std::string> keys;
    for (d.first(); !d.eof(); d.next()) keys.insert(d.text("KEY"));
    EXPECT_EQ(d.recordCount(), 801);
    EXPECT_EQ(keys.size(), 801u);
    EXPECT_EQ(testing::headerCount(p), 801u);
}

}  // namespace
}  // namespace tz::tables
