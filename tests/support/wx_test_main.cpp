// main() of every test program: a real wxApp (the GUI toolkit needs a display, which
// tools/run-tests.sh provides with Xvfb), then GoogleTest.
#include <csignal>
#include <cstring>

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/init.h>
#include <wx/log.h>

#include "app/WorkerThreads.h"

namespace {
// A failed toolkit assertion is a test failure, never a dialog waiting for a click.
void FailOnAssert(const wxString& file, int line, const wxString& func, const wxString& cond,
                  const wxString& msg) {
    ADD_FAILURE_AT(file.ToStdString().c_str(), line)
        << "wx assertion failed in " << func << ": " << cond << " " << msg;
}
}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        // Listing the tests needs no toolkit (CTest lists them before Xvfb may be up).
        if (std::strncmp(argv[i], "--gtest_list_tests", 18) == 0) {
            return RUN_ALL_TESTS();
        }
    }
    wxSetAssertHandler(FailOnAssert);
    wxApp::SetInstance(new wxApp);
    if (!wxEntryStart(argc, argv)) {
        fprintf(stderr, "The toolkit could not start: is DISPLAY set?\n");
        return 2;
    }
    // Toolkit complaints go to the test log, never into a dialog that waits for a click.
    delete wxLog::SetActiveTarget(new wxLogStderr);
    wxTheApp->CallOnInit();
#ifndef _WIN32
    // Gives this application object the pipe through which the toolkit reports ended child
    // processes (see AppUnderTest).
    wxTheApp->SetSignalHandler(SIGCHLD, SIG_DFL);
#endif
    const int result = RUN_ALL_TESTS();
    // Release checks and pickup workers started by the tests end on their own; the
    // toolkit's clean-up must not race with one that is still finishing.
    if (!WaitForWorkerThreads(std::chrono::seconds(60))) {
        fprintf(stderr, "Worker threads were still running at the end of the tests\n");
    }
    wxTheApp->OnExit();
    wxEntryCleanup();
    return result;
}
