#include "app/WorkerThreads.h"

#include <condition_variable>
#include <mutex>

#include <wx/thread.h>

#include "app/ThreadEnd.h"

namespace {

std::mutex& CountMutex() {
    static std::mutex mutex;
    return mutex;
}

std::condition_variable& CountChanged() {
    static std::condition_variable changed;
    return changed;
}

int liveThreads = 0;

void CountDown() {
    std::lock_guard<std::mutex> lock(CountMutex());
    --liveThreads;
    CountChanged().notify_all();
}

}  // namespace

WorkerThreadToken::WorkerThreadToken() {
    std::lock_guard<std::mutex> lock(CountMutex());
    ++liveThreads;
}

WorkerThreadToken::~WorkerThreadToken() {
    if (wxThread::IsMain()) {
        CountDown();
        return;
    }
    // A detached toolkit thread deletes its own object, and with it the token, while it still
    // holds the toolkit's internal lock, which the toolkit's clean-up at process end destroys.
    // Counting the thread gone only when it ends keeps that clean-up after its last step.
    RunAtThreadEnd(CountDown);
}

int LiveWorkerThreads() {
    std::lock_guard<std::mutex> lock(CountMutex());
    return liveThreads;
}

bool WaitForWorkerThreads(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(CountMutex());
    return CountChanged().wait_for(lock, limit, [] { return liveThreads == 0; });
}
