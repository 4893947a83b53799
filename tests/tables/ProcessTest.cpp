// Locking between processes: a table held by another program is refused cleanly, and two
// programs appending to one shared table keep every row.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <set>
#include <thread>

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

// The live keys of LOCKED.DBF as another program finds them in the file: the records the
// header counts (a 65-byte header, records of a flag and 8 bytes), trailing spaces removed.
std::vector<std::string> keysInFile(const fs::path& p) {
    const std::string b = testing::readBytes(p);
    std::vector<std::string> keys;
    for (std::uint32_t r = 0; r < testing::headerCount(p); ++r) {
        const std::size_t at = 65 + std::size_t(r) * 9;
        if (at + 9 > b.size() || b[at] != ' ') continue;
        std::string k = b.substr(at + 1, 8);
        while (!k.empty() && k.back() == ' ') k.pop_back();
        keys.push_back(k);
    }
    return keys;
}

// While a write batch holds a shared table, another program reading it sees it as it was,
// another writer waits for the batch to end and appends after its rows, and nothing is lost.
TEST(Batch, AnotherProgramSeesTheTableAsItWasAndAppendsAfterTheBatch) {
    TestDir dir;
    fs::path p = makeTable(dir);
    const std::string before = testing::readBytes(p);
    ASSERT_TRUE(holdFolder(dir.ztemp()));
    Dataset d;
    d.open(p, OpenMode::Shared);
    {
        WriteBatch batch({&d});
        for (int i = 0; i < 3; ++i) d.appendRecord({"ours" + std::to_string(i)});
        Helper writer({"append", p.string(), "theirs", "2"});  // waits for the append byte
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_EQ(testing::readBytes(p), before);  // another reader finds the table as it was
        EXPECT_EQ(d.recordCount(), 4);             // this process sees its rows
        batch.commit();
        EXPECT_EQ(writer.line(), "ok");
    }
    EXPECT_EQ(keysInFile(p),
              (std::vector<std::string>{"first", "ours0", "ours1", "ours2", "theirs0", "theirs1"}));
    EXPECT_EQ(testing::headerCount(p), 6u);
    d.close();
    releaseFolder();
}

// A batch that cannot hold the append byte (another program keeps it) does not start; a row
// another program holds is not written over by the batch, which keeps it for the next write.
TEST(Batch, LocksOfOtherProgramsStopItWithoutLosingRows) {
    setLockWait(std::chrono::milliseconds(200));
    TestDir dir;
    fs::path p = makeTable(dir);  // LOCKED.DBF: a 65-byte header, 9-byte records
    ASSERT_TRUE(holdFolder(dir.ztemp()));
    Dataset d;
    d.open(p, OpenMode::Shared);
    {
        Helper appender({"posix", "write", p.string(), std::to_string(0xEFFFFFFFULL), "1"});
        ASSERT_EQ(appender.line(), "ready");
        try {
            WriteBatch batch({&d});
            ADD_FAILURE() << "a batch started while another program held the append byte";
        } catch (const EngineError& e) {
            EXPECT_EQ(std::string(e.what()),
                      "La tabla " + p.string() + " está bloqueada por otro programa");
        }
    }
    {
        Helper editor({"posix", "write", p.string(), "65", "9"});  // record 1
        ASSERT_EQ(editor.line(), "ready");
        WriteBatch batch({&d});
        d.first();
        d.edit();
        d.setText("KEY", "edited");
        d.post();
        d.appendRecord({"added"});
        EXPECT_THROW(batch.commit(), EngineError);
        EXPECT_EQ(keysInFile(p), (std::vector<std::string>{"first"}));
        EXPECT_EQ(testing::headerCount(p), 1u);
        editor.closeInput();
        EXPECT_EQ(editor.wait(), 0);
        d.flush();  // what the batch kept is written now
    }
    EXPECT_EQ(keysInFile(p), (std::vector<std::string>{"edited", "added"}));
    EXPECT_EQ(testing::headerCount(p), 2u);
    d.close();
    releaseFolder();
    setLockWait(std::chrono::milliseconds(5000));
}

}  // namespace
}  // namespace tz::tables
