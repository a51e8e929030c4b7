#include "pickup/sftp/LinkWatchdog.h"

namespace {

// How often the bound is looked at: the cut comes at most this late.
constexpr std::chrono::milliseconds kTick{200};

}  // namespace

LinkWatchdog::LinkWatchdog(std::chrono::milliseconds bound, std::chrono::milliseconds stopGrace)
    : bound(bound), stopGrace(stopGrace) {
    Progress();
}

LinkWatchdog::~LinkWatchdog() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        ending = true;
        socket = SSH_INVALID_SOCKET;
    }
    changed.notify_all();
    if (thread.joinable()) {
        thread.join();
    }
}

void LinkWatchdog::Watch(socket_t watched) {
    Progress();
    std::lock_guard<std::mutex> lock(mutex);
    socket = watched;
    if (!thread.joinable()) {
        thread = std::thread([this] { Run(); });
    }
}

void LinkWatchdog::Release() {
    std::lock_guard<std::mutex> lock(mutex);
    socket = SSH_INVALID_SOCKET;
}

void LinkWatchdog::Progress() {
    lastProgress = Clock::now().time_since_epoch().count();
}

void LinkWatchdog::RequestStop() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopRequested = true;
    }
    changed.notify_all();
}

LinkWatchdog::Clock::duration LinkWatchdog::Silent() const {
    return Clock::now().time_since_epoch() - Clock::duration(lastProgress.load());
}

void LinkWatchdog::Run() {
    std::unique_lock<std::mutex> lock(mutex);
    while (!ending) {
        changed.wait_for(lock, kTick);
        if (ending || socket == SSH_INVALID_SOCKET || paused > 0) {
            continue;
        }
        const Clock::duration silent = Silent();
        const bool overBound = silent > bound;
        if (overBound || (stopRequested && silent > stopGrace)) {
            expired = expired || overBound;
            cut = true;
            // Once only: the library closes the handle itself later, after Release.
            ShutDownSocket(socket);
            socket = SSH_INVALID_SOCKET;
        }
    }
}

LinkWatchdog::Pause::Pause(LinkWatchdog& watchdog) : watchdog(watchdog) {
    std::lock_guard<std::mutex> lock(watchdog.mutex);
    ++watchdog.paused;
}

LinkWatchdog::Pause::~Pause() {
    watchdog.Progress();
    std::lock_guard<std::mutex> lock(watchdog.mutex);
    --watchdog.paused;
}
