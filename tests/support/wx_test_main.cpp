// main() of every test program: a real wxApp (the GUI toolkit needs a display, which
// tools/run-tests.sh provides with Xvfb), then GoogleTest.
#include <cstring>

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/init.h>
#include <wx/log.h>

#include "support/wx_test_main.h"

namespace {
wxApp* (*appFactory)() = nullptr;
}

void SetTestAppFactory(wxApp* (*factory)()) { appFactory = factory; }

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        // Listing the tests needs no toolkit (CTest lists them before Xvfb may be up).
        if (std::strncmp(argv[i], "--gtest_list_tests", 18) == 0) {
            return RUN_ALL_TESTS();
        }
    }
    wxApp::SetInstance(new wxApp);
    if (!wxEntryStart(argc, argv)) {
        fprintf(stderr, "The toolkit could not start: is DISPLAY set?\n");
        return 2;
    }
    // Toolkit complaints go to the test log, never into a dialog that waits for a click.
    delete wxLog::SetActiveTarget(new wxLogStderr);
    wxTheApp->CallOnInit();
    const int result = RUN_ALL_TESTS();
    wxTheApp->OnExit();
    wxEntryCleanup();
    return result;
}
