// What the window shows about the connection as the workers' reports arrive, and how it
// ends.
#include <gtest/gtest.h>

#include <cups/cups.h>
#include <wx/msgdlg.h>

#include "app/WorkerEvents.h"
#include "support/AppUnderTest.h"
#include "ui/TeskFrame.h"

namespace {

class WindowState : public testing::Test {
protected:
    static void SetUpTestSuite() { cupsSetServer("/nonexistent/corvane-test/cups.sock"); }

    void SetUp() override { subject = std::make_unique<AppUnderTest>(); }
    void TearDown() override {
        // The fake worker below is no object: never let the exit sequence ask it to stop.
        subject->app().printerThread = nullptr;
        subject.reset();
    }

    PrinterApp& app() { return subject->app(); }
    TeskFrame& frame() { return *app().frame; }

    void Post(wxEventType type, const std::string& text) {
        auto* event = new wxThreadEvent(type, wxID_ANY);
        event->SetPayload(text);
        wxQueueEvent(&app(), event);
    }
    void PostJobDone() { wxQueueEvent(&app(), new wxCommandEvent(wxEVT_PRINT_JOB_DONE, 0)); }
    void Deliver() { app().ProcessPendingEvents(); }

    std::string Status() { return frame().statusText->GetLabel().ToStdString(); }
    std::string Button() { return frame().connectButton->GetLabel().ToStdString(); }
    bool ButtonEnabled() { return frame().connectButton->IsEnabled(); }

    // Stands in for a running worker; handlers only compare it with null.
    SftpThread* FakeWorker() { return reinterpret_cast<SftpThread*>(&fakeWorkerStorage); }

    std::unique_ptr<AppUnderTest> subject;
    int fakeWorkerStorage = 0;
};

TEST_F(WindowState, StartsNotConnected) {
    EXPECT_EQ(Status(), "Not Connected");
    EXPECT_EQ(Button(), "Connect");
    EXPECT_TRUE(ButtonEnabled());
    EXPECT_EQ(app().printerThread, nullptr);
}

TEST_F(WindowState, ConnectedStatusAndFinishedFollowTheTable) {
    app().printerThread = FakeWorker();
    Post(wxEVT_SFTP_CONNECTED, "SFTP connected");
    Deliver();
    EXPECT_EQ(Status(), "Connected");
    EXPECT_EQ(Button(), "Disconnect");
    EXPECT_TRUE(ButtonEnabled());

    frame().SetConnectButton("Something", false);
    Post(wxEVT_SFTP_STATUS, "Waiting for file");
    Deliver();
    EXPECT_EQ(Status(), "Waiting for file");
    EXPECT_EQ(Button(), "Something");  // status reports leave the button alone
    EXPECT_FALSE(ButtonEnabled());

    Post(wxEVT_SFTP_STATUS, "any text at all, verbatim");
    Deliver();
    EXPECT_EQ(Status(), "any text at all, verbatim");

    Post(wxEVT_SFTP_FINISHED, "SFTP thread finished");
    Deliver();
    EXPECT_EQ(app().printerThread, nullptr);
    EXPECT_EQ(Status(), "Not Connected");
    EXPECT_EQ(Button(), "Connect");
    EXPECT_TRUE(ButtonEnabled());
    EXPECT_TRUE(subject->messages.empty());
}

TEST_F(WindowState, ErrorShowsItsMessageOnceAndFallsBackToNotConnected) {
    app().printerThread = FakeWorker();
    frame().SetConnectButton("Connecting...", false);
    frame().SetStatus("Connecting...");
    Post(wxEVT_SFTP_ERROR, "User name or password incorrect");
    Post(wxEVT_SFTP_FINISHED, "SFTP thread finished");
    Deliver();
    ASSERT_EQ(subject->messages.size(), 1u);
    EXPECT_EQ(subject->messages[0].text, "User name or password incorrect");
    EXPECT_EQ(subject->messages[0].caption, wxMessageBoxCaptionStr);
    EXPECT_EQ(subject->messages[0].style, wxOK | wxCENTRE);
    EXPECT_EQ(Status(), "Not Connected");
    EXPECT_EQ(Button(), "Connect");
    EXPECT_TRUE(ButtonEnabled());
    EXPECT_EQ(app().printerThread, nullptr);
}

TEST_F(WindowState, FinishedPrintJobShowsTheRealConnectionState) {
    // A worker still runs: the window must go on saying so.
    app().printerThread = FakeWorker();
    Post(wxEVT_SFTP_CONNECTED, "SFTP connected");
    Post(wxEVT_SFTP_STATUS, "Downloading");
    PostJobDone();
    Deliver();
    EXPECT_EQ(Status(), "Connected");
    EXPECT_EQ(Button(), "Disconnect");
    EXPECT_TRUE(ButtonEnabled());

    // No worker: the job's end leaves the window idle.
    Post(wxEVT_SFTP_FINISHED, "SFTP thread finished");
    frame().SetStatus("Printing");
    PostJobDone();
    Deliver();
    EXPECT_EQ(Status(), "Not Connected");
    EXPECT_EQ(Button(), "Connect");
    EXPECT_TRUE(ButtonEnabled());
}

TEST_F(WindowState, PayloadTextsOfConnectedAndFinishedNeverShow) {
    app().printerThread = FakeWorker();
    Post(wxEVT_SFTP_CONNECTED, "SFTP connected");
    Deliver();
    EXPECT_NE(Status(), "SFTP connected");
    Post(wxEVT_SFTP_FINISHED, "SFTP thread finished");
    Deliver();
    EXPECT_NE(Status(), "SFTP thread finished");
}

TEST_F(WindowState, ClosingWithoutWorkerEndsAtOnceAndOnlyOnce) {
    TeskFrame* window = &frame();
    window->Close(true);
    EXPECT_TRUE(app().IsShuttingDown());
    EXPECT_EQ(app().frame, nullptr);
    EXPECT_EQ(window->taskBarIcon, nullptr);
    // The window still exists until idle time: it shows the exit texts.
    EXPECT_EQ(window->statusText->GetLabel(), "Disconnecting...");
    EXPECT_EQ(window->connectButton->GetLabel(), "Disconnecting...");
    EXPECT_FALSE(window->connectButton->IsEnabled());

    // A second request during the exit is ignored.
    window->Close(true);

    // Reports that arrive after the window went away are dropped.
    Post(wxEVT_SFTP_STATUS, "Downloading");
    Post(wxEVT_SFTP_ERROR, "PRINTER connection failed");
    PostJobDone();
    Deliver();
    EXPECT_TRUE(subject->messages.empty());
    subject->CloseWindow();
    EXPECT_TRUE(wxTopLevelWindows.IsEmpty());
}

TEST_F(WindowState, ExitWaitsForTheWorkerToFinish) {
    app().printerThread = FakeWorker();
    // The worker's last report is already on its way when the window is closed.
    Post(wxEVT_SFTP_FINISHED, "SFTP thread finished");
    app().Shutdown();
    EXPECT_EQ(app().printerThread, nullptr);
    EXPECT_EQ(app().frame, nullptr);
}

// What a second start of the program asks of the running copy.
TEST_F(WindowState, ShowingTheWindowBringsItBackFromTheTray) {
    frame().Show(false);
    app().ShowMainWindow();
    EXPECT_TRUE(frame().IsShown());
    EXPECT_FALSE(frame().IsIconized());
}

TEST_F(WindowState, EndOfSessionIsNeverRefusedAndEndsTheProgramEvenWithABoxOpen) {
    wxCloseEvent query(wxEVT_QUERY_END_SESSION);
    query.SetCanVeto(true);
    app().ProcessEvent(query);
    EXPECT_FALSE(query.GetVeto());
    // Asking is not yet ending: the session may still be kept by another program.
    EXPECT_FALSE(app().IsShuttingDown());
    ASSERT_NE(app().frame, nullptr);

    bool endedWhileOpen = false;
    subject->whileMessageOpen = [&] {
        wxCloseEvent endSession(wxEVT_END_SESSION);
        app().ProcessEvent(endSession);
        endedWhileOpen = app().IsShuttingDown() && app().frame == nullptr;
    };
    Post(wxEVT_SFTP_ERROR, "PRINTER connection failed");
    Deliver();
    EXPECT_EQ(subject->messages.size(), 1u);
    EXPECT_TRUE(endedWhileOpen);
}

}  // namespace
