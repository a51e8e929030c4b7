#pragma once

#include <chrono>

// Counts the program's detached worker threads that have not yet ended. The
// toolkit's own clean-up at process end races with a detached thread that is still
// running, so the program ends without that clean-up while a worker is left (see main.cpp).
class WorkerThreadToken {
public:
    WorkerThreadToken();
    ~WorkerThreadToken();
    WorkerThreadToken(const WorkerThreadToken&) = delete;
    WorkerThreadToken& operator=(const WorkerThreadToken&) = delete;
};

int LiveWorkerThreads();

// Waits up to `limit` for every worker thread to be gone; false if some are left.
bool WaitForWorkerThreads(std::chrono::milliseconds limit);
