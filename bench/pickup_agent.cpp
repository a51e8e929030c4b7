// The pickup worker without the window, for the benchmark: runs one or more workers
// against a given server and prints every event they report on standard output, stamped
// with the monotonic clock when the worker queued it:
//   <seconds> CONNECTED|STATUS|PRINT|ERROR|FINISHED <text, or "path name" for PRINT>
// A line "stop" on standard input (or its end) asks every worker to stop; the program
// ends once all have finished. With --copy-path alone it prints the SSH library's version
// and the way the copy reads, and ends.
#include <time.h>

#include <cstdio>
#include <iostream>
#include <mutex>
#include <string>
#include <vector>

#include <libssh/libssh.h>
#include <wx/init.h>
#include <wx/thread.h>

#include "app/EventSink.h"
#include "app/NarrowText.h"
#include "app/WorkerThreads.h"
#include "app/WorkerEvents.h"
#include "pickup/sftp/ReadPipeline.h"
#include "pickup/sftp/SftpThread.h"

namespace {

double Now() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Takes each event the moment a worker queues it, on the worker's thread: no event loop
// is needed and the stamp is the worker's own moment.
class EventPrinter : public wxEvtHandler {
public:
    void QueueEvent(wxEvent* event) override {
        const double stamp = Now();
        auto* threadEvent = dynamic_cast<wxThreadEvent*>(event);
        std::string line;
        if (threadEvent != nullptr) {
            const wxEventType type = event->GetEventType();
            if (type == wxEVT_PRINT_FILE) {
                line = "PRINT " + ToNarrow(threadEvent->GetPayload<wxString>()) + " " +
                       ToNarrow(threadEvent->GetString());
            } else {
                const std::string text = threadEvent->GetPayload<std::string>();
                const char* kind = type == wxEVT_SFTP_CONNECTED  ? "CONNECTED"
                                   : type == wxEVT_SFTP_STATUS   ? "STATUS"
                                   : type == wxEVT_SFTP_FINISHED ? "FINISHED"
                                                                 : "ERROR";
                line = std::string(kind) + " " + text;
                if (type == wxEVT_SFTP_FINISHED) {
                    ++finished;
                }
            }
        }
        delete event;
        std::lock_guard<std::mutex> lock(mutex);
        std::printf("%.6f %s\n", stamp, line.c_str());
        std::fflush(stdout);
    }

    int Finished() {
        std::lock_guard<std::mutex> lock(mutex);
        return finished;
    }

private:
    std::mutex mutex;
    int finished = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--copy-path") {
        std::printf("%s\n", ReadPipeline::Description().c_str());
        return 0;
    }
    if (argc < 6) {
        std::fprintf(stderr, "usage: %s HOST PORT USER PASSWORD KNOWN_HOSTS [WORKERS]\n", argv[0]);
        return 2;
    }
    // A console application: the worker needs threads and events, not a display.
    wxInitializer initializer(argc, argv);
    if (!initializer.IsOk()) {
        return 1;
    }
    ssh_init();
    const SftpEndpoint endpoint{argv[1], argv[2], argv[5], ""};
    const int count = argc > 6 ? std::stoi(argv[6]) : 1;
    EventPrinter printer;
    OpenEventSink(&printer);
    std::vector<SftpThread*> workers;
    for (int i = 0; i < count; ++i) {
        SftpThread* worker = CreateSftpThread(&printer, argv[3], argv[4], endpoint);
        if (worker->Run() != wxTHREAD_NO_ERROR) {
            return 1;
        }
        workers.push_back(worker);
    }
    std::string command;
    while (std::getline(std::cin, command) && command != "stop") {
    }
    for (SftpThread* worker : workers) {
        SftpThread::RequestStop(worker);
    }
    while (printer.Finished() < count) {
        wxMilliSleep(10);
    }
    CloseEventSink(&printer);
    // The library goes only after the threads that used it.
    WaitForWorkerThreads(std::chrono::seconds(10));
    ssh_finalize();
    return 0;
}
