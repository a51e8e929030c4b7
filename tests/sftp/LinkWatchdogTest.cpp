// The bound on network waits and the pause between failed local copies.
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "pickup/sftp/CopyBackoff.h"
#include "pickup/sftp/LinkWatchdog.h"

using namespace std::chrono_literals;

namespace {

// A connected pair standing in for the session's socket and the silent server's end.
struct SocketPair {
    int fds[2] = {-1, -1};
    SocketPair() { EXPECT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM, 0, fds)); }
    ~SocketPair() {
        close(fds[0]);
        close(fds[1]);
    }
    // What a blocked read of the session's end gives: 0 once the watchdog cut it.
    std::future<ssize_t> Read() {
        return std::async(std::launch::async, [fd = fds[0]] {
            char byte;
            return recv(fd, &byte, 1, 0);
        });
    }
};

}  // namespace

TEST(LinkWatchdog, AWaitWithoutAnswerIsCutAtTheBound) {
    SocketPair link;
    LinkWatchdog watchdog(300ms, 60s);
    watchdog.Watch(link.fds[0]);
    EXPECT_EQ(0, link.Read().get());
    EXPECT_TRUE(watchdog.Expired());
}

TEST(LinkWatchdog, AStopCutsASilentWaitAfterTheGraceWithoutCountingAsExpired) {
    SocketPair link;
    LinkWatchdog watchdog(60s, 100ms);
    watchdog.Watch(link.fds[0]);
    auto read = link.Read();
    watchdog.RequestStop();
    EXPECT_EQ(0, read.get());
    EXPECT_FALSE(watchdog.Expired());
}

TEST(LinkWatchdog, NoBoundRunsWhilePausedOrReleased) {
    SocketPair link;
    {
        LinkWatchdog watchdog(100ms, 100ms);
        watchdog.Watch(link.fds[0]);
        {
            const LinkWatchdog::Pause pause(watchdog);
            std::this_thread::sleep_for(600ms);
        }
        watchdog.Release();
        watchdog.RequestStop();
        std::this_thread::sleep_for(400ms);
        EXPECT_FALSE(watchdog.Expired());
    }
    // The link still carries data both ways.
    auto read = link.Read();
    ASSERT_EQ(1, send(link.fds[1], "x", 1, 0));
    EXPECT_EQ(1, read.get());
    EXPECT_EQ(1, send(link.fds[0], "y", 1, 0));
}

TEST(CopyBackoff, PausesDoubleFromOneSecondUpToThirty) {
    CopyBackoff backoff;
    auto now = CopyBackoff::Clock::now();
    EXPECT_TRUE(backoff.Ready("a.pdf", now));
    const std::vector<int> pauses = {1, 2, 4, 8, 16, 30, 30};
    for (const int seconds : pauses) {
        SCOPED_TRACE(seconds);
        backoff.Failed("a.pdf", now);
        EXPECT_FALSE(backoff.Ready("a.pdf", now + std::chrono::seconds(seconds) - 1ms));
        EXPECT_TRUE(backoff.Ready("b.pdf", now));
        now += std::chrono::seconds(seconds);
        EXPECT_TRUE(backoff.Ready("a.pdf", now));
    }
    // Once the file is gone from the listing it starts afresh.
    backoff.KeepOnly({"b.pdf"});
    backoff.Failed("a.pdf", now);
    EXPECT_TRUE(backoff.Ready("a.pdf", now + 1s));
}
