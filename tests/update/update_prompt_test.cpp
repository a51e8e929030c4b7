// The download question that a reported update brings up.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/stopwatch.h>
#include <wx/utils.h>

#include "app/AppSettings.h"
#include "app/BuildConstants.h"
#include "app/EventSink.h"
#include "app/PrinterApp.h"
#include "app/WorkerEvents.h"
#include "support/HttpFixture.h"
#include "update/UpdateCheck.h"
#include "update/UpdateCheckThread.h"

namespace {

struct Question {
    wxString message;
    wxString caption;
    long style;
};

// A PrinterApp that is not started (no window), with the update handler connected as
// start-up connects it, and the message box and the browser replaced by recorders.
// Constructing it makes it the toolkit's application; the test program's own comes back
// when it goes away.
class PromptApp {
public:
    explicit PromptApp(int answer, bool browserStarts = true) : previous(wxTheApp) {
        AppSettings settings = AppSettings::Compiled();
        settings.messageBox = [this, answer](const wxString& message, const wxString& caption,
                                             long style) {
            questions.push_back(Question{message, caption, style});
            if (whileAsking) {
                whileAsking();
            }
            return answer;
        };
        settings.launchBrowser = [this, browserStarts](const wxString& url) {
            browserUrls.push_back(url);
            return browserStarts;
        };
        app = std::make_unique<PrinterApp>(std::move(settings));
        app->wxEvtHandler::Connect(wxEVT_UPDATE_AVAILABLE,
                                   wxThreadEventHandler(PrinterApp::OnUpdateAvailable));
    }

    ~PromptApp() {
        CloseEventSink(app.get());
        app.reset();
        wxApp::SetInstance(previous);
    }

    void QueueUpdate(const std::string& text = "2.4.1\n") {
        auto* event = new wxThreadEvent(wxEVT_UPDATE_AVAILABLE, wxID_ANY);
        event->SetPayload(text);
        wxQueueEvent(app.get(), event);
    }

    void ProcessEvents() {
        for (int i = 0; i < 5; ++i) {
            app->ProcessPendingEvents();
        }
    }

    std::unique_ptr<PrinterApp> app;
    std::vector<Question> questions;
    std::vector<wxString> browserUrls;
    std::function<void()> whileAsking;  // runs while the question is open

private:
    wxApp* previous;
};

const wxString kDownloadPage = wxString(BuildConstants::kWebBaseUrl) + "/download-business/";

TEST(UpdatePrompt, YesOpensTheDownloadPage) {
    PromptApp prompt(wxYES);
    prompt.QueueUpdate();
    prompt.ProcessEvents();

    ASSERT_EQ(prompt.questions.size(), 1u);
    EXPECT_EQ(prompt.questions[0].message, "An update is available. Download now?");
    EXPECT_EQ(prompt.questions[0].caption, "Update Available");
    EXPECT_EQ(prompt.questions[0].style, wxYES_NO);
    EXPECT_EQ(prompt.browserUrls, std::vector<wxString>{kDownloadPage});
    EXPECT_EQ(prompt.app->frame, nullptr);
    EXPECT_EQ(prompt.app->printerThread, nullptr);
}

TEST(UpdatePrompt, NoOpensNothingAndIsNotAskedAgain) {
    PromptApp prompt(wxNO);
    prompt.QueueUpdate();
    prompt.ProcessEvents();
    ASSERT_EQ(prompt.questions.size(), 1u);
    EXPECT_TRUE(prompt.browserUrls.empty());

    prompt.QueueUpdate();
    prompt.ProcessEvents();
    EXPECT_EQ(prompt.questions.size(), 1u);
    EXPECT_TRUE(prompt.browserUrls.empty());
}

TEST(UpdatePrompt, BrowserThatDoesNotStartIsNotReported) {
    PromptApp prompt(wxYES, false);
    prompt.QueueUpdate();
    prompt.ProcessEvents();
    EXPECT_EQ(prompt.questions.size(), 1u);
    EXPECT_EQ(prompt.browserUrls.size(), 1u);
}

TEST(UpdatePrompt, AskedOnceForSeveralReports) {
    PromptApp prompt(wxYES);
    prompt.QueueUpdate();
    prompt.QueueUpdate("2.5.0\n");
    prompt.ProcessEvents();
    EXPECT_EQ(prompt.questions.size(), 1u);
    EXPECT_EQ(prompt.browserUrls.size(), 1u);
}

TEST(UpdatePrompt, ReportArrivingWhileTheQuestionIsOpenIsNotAskedAgain) {
    PromptApp prompt(wxYES);
    // The real message box runs a modal event loop, which delivers queued events.
    prompt.whileAsking = [&prompt] {
        prompt.whileAsking = nullptr;
        prompt.QueueUpdate();
        prompt.ProcessEvents();
    };
    prompt.QueueUpdate();
    prompt.ProcessEvents();
    EXPECT_EQ(prompt.questions.size(), 1u);
    EXPECT_EQ(prompt.browserUrls.size(), 1u);
}

TEST(UpdatePrompt, CheckOfANewerReleaseLeadsToTheQuestion) {
    HttpFixture server;
    PromptApp prompt(wxYES);
    OpenEventSink(prompt.app.get());
    const unsigned before = UpdateCheckThread::FinishedCount();
    wxThread* worker = UrlUpdateCheck(server.Url("/newer")).CreateCheckThread(prompt.app.get());
    ASSERT_EQ(worker->Run(), wxTHREAD_NO_ERROR);

    wxStopWatch watch;
    while (UpdateCheckThread::FinishedCount() == before && watch.Time() < 60000) {
        prompt.ProcessEvents();
        wxMilliSleep(5);
    }
    prompt.ProcessEvents();
    EXPECT_GT(UpdateCheckThread::FinishedCount(), before);
    EXPECT_EQ(prompt.questions.size(), 1u);
    EXPECT_EQ(prompt.browserUrls, std::vector<wxString>{kDownloadPage});
}

}  // namespace
