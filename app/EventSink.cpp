#include "app/EventSink.h"

#include <mutex>
#include <set>

namespace {

// Guards the set of open sinks; never held while user code runs.
std::mutex& StateMutex() {
    static std::mutex mutex;
    return mutex;
}

// Held for the whole of a WithOpenSink action, so that closing waits for it. Recursive so
// that an action may itself use WithOpenSink.
std::recursive_timed_mutex& HandOverMutex() {
    static std::recursive_timed_mutex mutex;
    return mutex;
}

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
    std::unique_lock<std::recursive_timed_mutex> handOver(HandOverMutex(), std::defer_lock);
    const bool settled = handOver.try_lock_for(wait);
    std::lock_guard<std::mutex> lock(StateMutex());
    OpenSinks().erase(sink);
    return settled;
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
    std::lock_guard<std::recursive_timed_mutex> handOver(HandOverMutex());
    if (!IsEventSinkOpen(sink)) {
        return false;
    }
    action();
    return true;
}
