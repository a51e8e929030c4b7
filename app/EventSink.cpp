#include "app/EventSink.h"

#include <condition_variable>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

namespace {

// Guards the set of open sinks; never held while user code runs.
std::mutex& StateMutex() {
    static std::mutex mutex;
    return mutex;
}

// Held for the whole of a WithOpenSink action, so that closing waits for it. Recursive so
// that an action may itself use WithOpenSink. Built from a plain mutex and a condition
// variable rather than std::recursive_timed_mutex: its timed wait goes through
// pthread_mutex_clocklock, which thread checkers do not see, so they would miss the
// ordering it gives.
class HandOverLock {
public:
    // Waits at most `wait` (forever when empty); false if another thread still holds it.
    bool Acquire(std::optional<std::chrono::milliseconds> wait = std::nullopt) {
        std::unique_lock<std::mutex> lock(mutex_);
        const auto self = std::this_thread::get_id();
        if (depth_ > 0 && owner_ == self) {
            ++depth_;
            return true;
        }
        const auto free = [this] { return depth_ == 0; };
        if (!wait) {
            released_.wait(lock, free);
        } else if (!released_.wait_for(lock, *wait, free)) {
            return false;
        }
        owner_ = self;
        depth_ = 1;
        return true;
    }

    void Release() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (--depth_ == 0) {
            owner_ = std::thread::id();
            released_.notify_all();
        }
    }

private:
    std::mutex mutex_;
    std::condition_variable released_;
    std::thread::id owner_;
    int depth_ = 0;
};

HandOverLock& HandOver() {
    static HandOverLock lock;
    return lock;
}

// Releases the hand-over lock at scope end when it was acquired.
class HandOverHold {
public:
    explicit HandOverHold(std::optional<std::chrono::milliseconds> wait = std::nullopt)
        : held_(HandOver().Acquire(wait)) {}
    ~HandOverHold() {
        if (held_) {
            HandOver().Release();
        }
    }
    HandOverHold(const HandOverHold&) = delete;
    HandOverHold& operator=(const HandOverHold&) = delete;

    bool Held() const { return held_; }

private:
    bool held_;
};

std::set<wxEvtHandler*>& OpenSinks() {
    static std::set<wxEvtHandler*> sinks;
    return sinks;
}

}  // namespace

void OpenEventSink(wxEvtHandler* sink) {
    std::lock_guard<std::mutex> lock(StateMutex());
    OpenSinks().insert(sink);
}

bool CloseEventSink(wxEvtHandler* sink, std::chrono::milliseconds wait) {
    const HandOverHold handOver(wait);
    std::lock_guard<std::mutex> lock(StateMutex());
    OpenSinks().erase(sink);
    return handOver.Held();
}

bool IsEventSinkOpen(wxEvtHandler* sink) {
    std::lock_guard<std::mutex> lock(StateMutex());
    return OpenSinks().count(sink) != 0;
}

bool QueueToSink(wxEvtHandler* sink, wxEvent* event) {
    std::lock_guard<std::mutex> lock(StateMutex());
    if (OpenSinks().count(sink) == 0) {
        delete event;
        return false;
    }
    wxQueueEvent(sink, event);
    return true;
}

bool WithOpenSink(wxEvtHandler* sink, const std::function<void()>& action) {
    const HandOverHold handOver;
    if (!IsEventSinkOpen(sink)) {
        return false;
    }
    action();
    return true;
}
