// The output writer: every failing write, fsync and rename leaves the old file and no temporary
// behind; links are followed, modes kept, and an unwritable file refused.
#include <corvelle/files.h>
#include "io/FileOps.h"

#include "CaseName.h"
#include "RenderTestSupport.h"
#include "core/HostError.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvelle {
namespace {

using testing_support::CaseName;
using testing_support::ReadBytes;
using testing_support::TempDir;

void WriteText(const std::string& path, const std::string& text) {
    WriteFileAtomically(path, std::vector<unsigned char>(text.begin(), text.end()));
}

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    stat(path.c_str(), &info);
    return info.st_mode & 07777;
}

struct FaultCase {
    const char* name;
    FileFaultPlan plan;
    int writes;   // how many Write calls the output gets
};

class AtomicFileFaultTest : public testing::TestWithParam<FaultCase> {
protected:
    void TearDown() override { SetFileFaultPlan({}); }
};

TEST_P(AtomicFileFaultTest, FailureKeepsTheOldFileAndLeavesNoTemporary) {
    const FaultCase& c = GetParam();
    TempDir dir;
    const std::string path = dir / "out.bin";
    WriteText(path, "old contents");
    SetFileFaultPlan(c.plan);
    try {
        AtomicFile file(path);
        for (int i = 0; i < c.writes; ++i)
            file.Write("new", 3);
        file.Commit();
        FAIL() << "the planned fault did not fail the output";
    } catch (const HostError& e) {
        EXPECT_EQ(e.Kind(), ErrorKind::IO);
    }
    SetFileFaultPlan({});
    EXPECT_EQ(ReadBytes(path), "old contents");
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"out.bin"});
}

INSTANTIATE_TEST_SUITE_P(EveryCall, AtomicFileFaultTest,
                         testing::Values(FaultCase{"first_write", {1, 0, 0, ENOSPC}, 3},
                                         FaultCase{"last_write", {3, 0, 0, ENOSPC}, 3},
                                         FaultCase{"fsync", {0, 1, 0, EIO}, 3},
                                         FaultCase{"rename", {0, 0, 1, EXDEV}, 3}),
                         CaseName());

TEST(AtomicFileTest, FollowsALinkAndKeepsIt) {
    TempDir dir;
    WriteText(dir / "target", "old");
    ASSERT_EQ(0, symlink("target", (dir / "link").c_str()));
    WriteText(dir / "link", "new");
    struct stat info {};
    ASSERT_EQ(0, lstat((dir / "link").c_str(), &info));
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(ReadBytes(dir / "target"), "new");
}

TEST(AtomicFileTest, AReplacedFileKeepsItsModeAndANewOneFollowsTheUmask) {
    TempDir dir;
    WriteText(dir / "private", "old");
    ASSERT_EQ(0, chmod((dir / "private").c_str(), 0600));
    WriteText(dir / "private", "new");
    EXPECT_EQ(ModeOf(dir / "private"), 0600u);

    const mode_t mask = umask(027);
    WriteText(dir / "fresh", "new");
    umask(mask);
    EXPECT_EQ(ModeOf(dir / "fresh"), 0640u);
}

TEST(AtomicFileTest, AnUnwritableFileIsRefusedUnlessRootMayWriteIt) {
    TempDir dir;
    WriteText(dir / "locked", "old");
    ASSERT_EQ(0, chmod((dir / "locked").c_str(), 0444));
    if (geteuid() == 0) {
        GTEST_SKIP() << "root may write any file; the end-to-end test checks this as an unprivileged user";
    }
    EXPECT_THROW(WriteText(dir / "locked", "new"), HostError);
    EXPECT_EQ(ReadBytes(dir / "locked"), "old");
}

TEST(AtomicFileTest, ADeviceIsWrittenStraightThrough) {
    AtomicFile file("/dev/null");
    file.Write("bytes", 5);
    file.Commit();
    struct stat info {};
    ASSERT_EQ(0, stat("/dev/null", &info));
    EXPECT_TRUE(S_ISCHR(info.st_mode));
}

TEST(AtomicFileTest, AFolderIsRefused) {
    TempDir dir;
    EXPECT_THROW(AtomicFile file(dir.Path()), HostError);
}

TEST(WriteAllTest, ReportsTheFailingCallWithItsErrno) {
    SetFileFaultPlan({2, 0, 0, ENOSPC});
    TempDir dir;
    AtomicFile file(dir / "x");
    EXPECT_NO_THROW(file.Write("a", 1));
    errno = 0;
    EXPECT_THROW(file.Write("b", 1), HostError);
    EXPECT_EQ(errno, ENOSPC);
    SetFileFaultPlan({});
}

// While a temporary file is created and remembered, a cleanup signal waits, so its handler
// always knows the file it must remove; afterwards the thread's mask is as it was.
TEST(AtomicFile, CleanupSignalsWaitWhileATemporaryFileIsMade) {
    sigset_t before;
    sigset_t inside;
    sigset_t after;
    pthread_sigmask(SIG_SETMASK, nullptr, &before);
    {
        const CleanupSignalsHeld held;
        pthread_sigmask(SIG_SETMASK, nullptr, &inside);
    }
    pthread_sigmask(SIG_SETMASK, nullptr, &after);
    for (const int signal : kCleanupSignals) {
        EXPECT_EQ(sigismember(&inside, signal), 1) << signal;
        EXPECT_EQ(sigismember(&after, signal), sigismember(&before, signal)) << signal;
    }
}

// A signal may land on another thread while one makes its file: the cleanup then waits for the
// file to be remembered and removes it, instead of running before it exists.
TEST(AtomicFileDeathTest, CleanupOnAnotherThreadWaitsForTheFileBeingMade) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TempDir dir;
    const std::string path = dir / "made.tmp";
    EXPECT_EXIT(
        {
            std::atomic<bool> holding{false};
            std::thread maker([&] {
                const CleanupSignalsHeld held;
                holding = true;
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                const int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
                if (fd >= 0)
                    close(fd);
                RememberTempFile(path.c_str());
            });
            while (!holding) {
            }
            RemoveTempFilesNow();
            maker.join();
            _exit(access(path.c_str(), F_OK) == 0 ? 1 : 0);
        },
        testing::ExitedWithCode(0), "");
}

}   // namespace
}   // namespace corvelle
