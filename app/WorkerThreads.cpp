#include "app/WorkerThreads.h"

#include <condition_variable>
#include <mutex>

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

}  // namespace

WorkerThreadToken::WorkerThreadToken() {
    std::lock_guard<std::mutex> lock(CountMutex());
    ++liveThreads;
}

WorkerThreadToken::~WorkerThreadToken() {
    std::lock_guard<std::mutex> lock(CountMutex());
    --liveThreads;
    CountChanged().notify_all();
}

int LiveWorkerThreads() {
    std::lock_guard<std::mutex> lock(CountMutex());
    return liveThreads;
}

bool WaitForWorkerThreads(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(CountMutex());
    return CountChanged().wait_for(lock, limit, [] { return liveThreads == 0; });
}
