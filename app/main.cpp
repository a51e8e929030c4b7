#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/CommandLine.h"
#include "app/PrinterApp.h"
#include "app/SessionEnd.h"
#include "app/SingleInstance.h"
#include "app/ToolkitLog.h"
#include "app/WorkerThreads.h"
#include "pickup/sftp/PartialCopies.h"

namespace {

constexpr std::chrono::seconds kAskLimit(10);

// The program as started by the user. The exit never waits for the release check, and a
// pickup worker stuck on a dead server is left behind; the toolkit's clean-up of threads
// that are still running can crash, so the process ends here without it while one is left.
// A second start in the same desktop session brings the first copy's window forward instead.
// Its options are answered before any of that (app/CommandLine.h).
class ProgramApp : public PrinterApp {
public:
    // Called before the toolkit starts: --version and --help need no display.
    bool Initialize(int& argc, wxChar** argv) override {
        std::vector<std::string> args;
        for (int i = 1; i < argc; ++i) {
            args.push_back(wxString(argv[i]).utf8_string());
        }
        const CommandLine line(args);
        if (!line.StartsProgram()) {
            line.Show();
            std::exit(line.ExitCode());
        }
        return PrinterApp::Initialize(argc, argv);
    }

    bool OnInit() override {
        // The toolkit owns its log target and deletes it at exit.
        std::unique_ptr<wxLog> previous(wxLog::SetActiveTarget(new ToolkitLog));
        instance = std::make_unique<SingleInstance>();
        if (instance->AnotherCopyRuns()) {
            // A first copy that never answers (stopped, hung) must not keep this one alive
            // unseen: the toolkit's IPC would wait for it for minutes.
            std::thread([] {
                std::this_thread::sleep_for(kAskLimit);
                std::_Exit(1);
            }).detach();
            secondCopy = true;
            firstCopyAsked = instance->AskToShow();
            return true;  // OnRun then ends at once, quietly
        }
        // Listening before the window exists: a copy started meanwhile is answered as soon
        // as the main loop runs.
        instance->Listen([this] { ShowMainWindow(); });
        sessionEnd = WatchSessionEnd([this](const std::string& why) { EndSession(why); },
                                     [this] { EndSessionWithoutDisplay(); });
        return PrinterApp::OnInit();
    }

    int OnRun() override {
        if (secondCopy) {
            return firstCopyAsked ? 0 : 1;
        }
        return PrinterApp::OnRun();
    }

    int OnExit() override {
        sessionEnd.reset();
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

protected:
    // A message box's loop may be running below: the process ends here, with what the
    // exit does when a worker is left behind.
    void LeaveAtSessionEnd() override {
        instance.reset();
        RemovePartialCopiesForExit();
        std::cout.flush();
        std::fflush(nullptr);
        std::_Exit(0);
    }

private:
    std::unique_ptr<SessionEndWatch> sessionEnd;
    std::unique_ptr<SingleInstance> instance;
    bool secondCopy = false;
    bool firstCopyAsked = false;
};

}  // namespace

wxIMPLEMENT_APP(ProgramApp);
