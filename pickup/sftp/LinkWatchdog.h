#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <libssh/callbacks.h>
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
    // Data arriving on `channel` counts as an answer. The channel must not outlive this object.
    void WatchChannel(ssh_channel channel);
    // Stops watching; the socket may be closed once this returns.
    void Release();

    // The worker got an answer, or finished a step.
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
    static int OnChannelData(ssh_session session, ssh_channel channel, void* data, uint32_t len,
                             int isStderr, void* userdata);
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
    ssh_channel_callbacks_struct callbacks{};
};

// Ends a socket's connection so that a thread waiting on it wakes and sees it ended. On POSIX
// systems the handle stays valid until its owner closes it; on Windows it is closed here.
void ShutDownSocket(socket_t socket);
