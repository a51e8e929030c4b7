#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "app/PrinterApp.h"
#include "app/WorkerThreads.h"
#include "pickup/PartialCopies.h"

namespace {

// The program as started by the user. The exit never waits for the release check, and a
// pickup worker stuck on a dead server is left behind; the toolkit's clean-up of threads
// that are still running can crash, so the process ends here without it while one is left.
class ProgramApp : public PrinterApp {
public:
    int OnExit() override {
        const int result = PrinterApp::OnExit();
        if (LiveWorkerThreads() > 0) {
            // A copy the worker left behind will never be finished; its document is still
            // on the server.
            RemovePartialCopiesForExit();
            std::cout.flush();
            std::fflush(nullptr);
            std::_Exit(0);
        }
        return result;
    }
};

}  // namespace

wxIMPLEMENT_APP(ProgramApp);
