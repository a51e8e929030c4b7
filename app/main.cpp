#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>

#include "app/PrinterApp.h"
#include "app/SingleInstance.h"
#include "app/WorkerThreads.h"
#include "pickup/PartialCopies.h"

namespace {

// The program as started by the user. The exit never waits for the release check, and a
// pickup worker stuck on a dead server is left behind; the toolkit's clean-up of threads
// that are still running can crash, so the process ends here without it while one is left.
// A second start in the same desktop session brings the first copy's window forward instead.
class ProgramApp : public PrinterApp {
public:
    bool OnInit() override {
        instance = std::make_unique<SingleInstance>();
        if (instance->AnotherCopyRuns()) {
            instance->AskToShow();
            secondCopy = true;
            return true;  // OnRun then ends at once, quietly
        }
        // Listening before the window exists: a copy started meanwhile is answered as soon
        // as the main loop runs.
        instance->Listen([this] { ShowMainWindow(); });
        return PrinterApp::OnInit();
    }

    int OnRun() override { return secondCopy ? 0 : PrinterApp::OnRun(); }

    int OnExit() override {
        instance.reset();
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

private:
    std::unique_ptr<SingleInstance> instance;
    bool secondCopy = false;
};

}  // namespace

wxIMPLEMENT_APP(ProgramApp);
