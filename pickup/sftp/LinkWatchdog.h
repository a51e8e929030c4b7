#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <libssh/libssh.h>

// Bounds every wait of one SSH session on the network. The SSH library's blocking SFTP calls
// ignore the session timeout and ask again when a read times out, so a link that goes silent
// without closing (a dropped NAT entry, a laptop's sleep) would hold them until TCP gives up,
// a quarter of an hour later. A thread of its own shuts the session's socket down when the
// worker has waited on the network longer than the bound without any answer coming, or
// longer than a short grace once a stop has been asked for. The library then sees the
// connection end: the waiting call fails and the session counts as disconnected.
class LinkWatchdog {
public:
    using Clock = std::chrono::steady_clock;

    LinkWatchdog(std::chrono::milliseconds bound, std::chrono::milliseconds stopGrace);
    ~LinkWatchdog();
    LinkWatchdog(const LinkWatchdog&) = delete;
    LinkWatchdog& operator=(const LinkWatchdog&) = delete;

    // Starts watching a connected socket; from now on the worker counts as waiting on it,
    // except inside a Pause.
    void Watch(socket_t socket);
    // Stops watching; the socket may be closed once this returns.
    void Release();

    // The worker got an answer of the server, or finished a step. Only the worker tells:
    // other data on the connection (a server that trickles bytes but never answers) does
    // not count.
    void Progress();
    // From any thread.
    void RequestStop();
    // The bound ran out and the link was cut.
    bool Expired() const { return expired; }
    // The link was cut, for either reason. On Windows the SSH library may still count the
    // session as connected afterwards (it sees only a failed wait), so this is what tells.
    bool Cut() const { return cut; }

    // The worker is not waiting on the network (it sleeps between polls): no bound runs.
    class Pause {
    public:
        explicit Pause(LinkWatchdog& watchdog);
        ~Pause();
        Pause(const Pause&) = delete;
        Pause& operator=(const Pause&) = delete;

    private:
        LinkWatchdog& watchdog;
    };

private:
    void Run();
    Clock::duration Silent() const;

    const Clock::duration bound;
    const Clock::duration stopGrace;
    std::mutex mutex;
    std::condition_variable changed;
    std::thread thread;
    socket_t socket = SSH_INVALID_SOCKET;
    bool ending = false;
    bool stopRequested = false;
    int paused = 0;
    std::atomic<Clock::rep> lastProgress{0};
    std::atomic<bool> expired{false};
    std::atomic<bool> cut{false};
};

// Ends a socket's connection so that a thread waiting on it wakes and sees it ended. The
// handle stays valid until its owner, the SSH library, closes it.
void ShutDownSocket(socket_t socket);
