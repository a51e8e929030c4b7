// The Connect/Disconnect button against a real SSH server: what the window shows while
// the worker connects, picks files up and stops, and the mapping script on every attempt.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include <cups/cups.h>
#include <wx/dir.h>
#include <wx/filename.h>
#include <wx/msgdlg.h>

#include "support/AppUnderTest.h"
#include "support/SshdFixture.h"
#include "support/TestHelpers.h"
#include "ui/TeskFrame.h"

namespace {

SshdFixture& Server() {
    static SshdFixture server(CORVANE_FIXTURES_DIR);
    return server;
}

int CountLines(const std::string& path) {
    std::ifstream in(path);
    int lines = 0;
    for (std::string line; std::getline(in, line);) {
        ++lines;
    }
    return lines;
}

class ConnectionControl : public testing::Test {
protected:
    static void SetUpTestSuite() { cupsSetServer("/nonexistent/corvane-test/cups.sock"); }

    void SetUp() override {
        char pattern[] = "/tmp/corvane-connect-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        scratch = pattern;
        // The program runs the mapping script from its working directory.
        ASSERT_TRUE(wxFileName::Mkdir(scratch + "/scripts"));
        ASSERT_TRUE(wxFileName::Mkdir(scratch + "/downloads"));
        std::ofstream(scratch + "/scripts/mapwebdav.sh") << "echo run >> '" << scriptLog() << "'\n";
        previousDir = wxFileName::GetCwd();
        ASSERT_TRUE(wxFileName::SetCwd(scratch));
        const char* tmp = std::getenv("TMPDIR");
        savedTmp = tmp != nullptr ? tmp : "";
        hadTmp = tmp != nullptr;
        setenv("TMPDIR", (scratch + "/downloads").c_str(), 1);
        stateHome = std::make_unique<ScopedEnv>("XDG_STATE_HOME", (scratch + "/state").c_str());

        AppSettings settings = AppUnderTest::QuietSettings();
        settings.sftp.host = "127.0.0.1";
        settings.sftp.port = std::to_string(Server().Port());
        settings.sftp.knownHostsFile = scratch + "/known_hosts";
        // Any program that ends at once stands in for the print program here.
        settings.printProgram = "true";
        settings.exitWaitLimit = std::chrono::seconds(2);
        subject = std::make_unique<AppUnderTest>(settings);
        frame().printerChoice->Append("Office Laser");
        frame().printerChoice->SetSelection(0);
        frame().printerChoice->Enable();
    }

    void TearDown() override {
        subject.reset();
        stateHome.reset();
        wxFileName::SetCwd(previousDir);
        if (hadTmp) {
            setenv("TMPDIR", savedTmp.c_str(), 1);
        } else {
            unsetenv("TMPDIR");
        }
        wxFileName::Rmdir(scratch, wxPATH_RMDIR_RECURSIVE);
    }

    std::string scriptLog() const { return scratch + "/script.log"; }
    PrinterApp& app() { return subject->app(); }
    TeskFrame& frame() { return *app().frame; }
    std::string Status() { return frame().statusText->GetLabel().ToStdString(); }
    std::string Button() { return frame().connectButton->GetLabel().ToStdString(); }

    void Click(const std::string& user, const std::string& password) {
        frame().userIdCtrl->SetValue(user);
        frame().passwordCtrl->SetValue(password);
        wxCommandEvent click(wxEVT_BUTTON, ID_CONNECT);
        click.SetEventObject(frame().connectButton);
        frame().connectButton->GetEventHandler()->ProcessEvent(click);
    }

    bool WaitFor(const std::function<bool()>& done) { return subject->PumpUntil(done, 60); }

    void ConnectAsTestAccount() {
        Click(Server().User(), Server().Password());
        ASSERT_TRUE(WaitFor([&] { return Status() == "Connected"; }));
    }

    std::string scratch;
    wxString previousDir;
    std::string savedTmp;
    bool hadTmp = false;
    std::unique_ptr<ScopedEnv> stateHome;
    std::unique_ptr<AppUnderTest> subject;
};

TEST_F(ConnectionControl, EveryAttemptShowsConnectingAndRunsTheScriptOnce) {
    Click(Server().User(), "not the password");
    EXPECT_EQ(Status(), "Connecting...");
    EXPECT_EQ(Button(), "Connecting...");
    EXPECT_FALSE(frame().connectButton->IsEnabled());
    EXPECT_NE(app().printerThread, nullptr);

    ASSERT_TRUE(WaitFor([&] { return app().printerThread == nullptr; }));
    ASSERT_EQ(subject->messages.size(), 1u);
    EXPECT_EQ(subject->messages[0].text, "User name or password incorrect");
    EXPECT_EQ(Status(), "Not Connected");
    EXPECT_EQ(Button(), "Connect");
    EXPECT_TRUE(frame().connectButton->IsEnabled());
    ASSERT_TRUE(WaitFor([&] { return CountLines(scriptLog()) == 1; }));

    // A second attempt, now with the right password, connects; the script runs again.
    ConnectAsTestAccount();
    EXPECT_EQ(Button(), "Disconnect");
    EXPECT_TRUE(frame().connectButton->IsEnabled());
    ASSERT_TRUE(WaitFor([&] { return CountLines(scriptLog()) == 2; }));
    EXPECT_EQ(subject->messages.size(), 1u);
}

TEST_F(ConnectionControl, EmptyFieldsStillStartAWorkerThatReportsTheServersAnswer) {
    Click("", "");
    EXPECT_EQ(Status(), "Connecting...");
    ASSERT_TRUE(WaitFor([&] { return app().printerThread == nullptr; }));
    ASSERT_EQ(subject->messages.size(), 1u);
    EXPECT_EQ(Status(), "Not Connected");
    ASSERT_TRUE(WaitFor([&] { return CountLines(scriptLog()) == 1; }));
}

TEST_F(ConnectionControl, AfterAPrintedFileTheWindowStillShowsTheConnectionAndAClickEndsIt) {
    ConnectAsTestAccount();
    const std::string document = Server().PickupDir() + "/letter.pdf";
    {
        std::ofstream(scratch + "/letter.pdf") << "%PDF-1.4 a letter";
        std::string command =
            "install -o " + Server().User() + " -m 0644 " + scratch + "/letter.pdf " + document;
        ASSERT_EQ(std::system(command.c_str()), 0);
    }
    // The print program ends at once; its end must not make the window claim to be idle.
    ASSERT_TRUE(WaitFor([&] { return !wxFileName::FileExists(document); }));
    ASSERT_TRUE(WaitFor(
        [&] { return Status() == "Connected" && !wxDir(scratch + "/downloads").HasFiles(); }));
    EXPECT_EQ(Button(), "Disconnect");
    EXPECT_TRUE(frame().connectButton->IsEnabled());
    EXPECT_NE(app().printerThread, nullptr);
    EXPECT_TRUE(subject->messages.empty());

    Click("", "");
    EXPECT_EQ(Status(), "Disconnecting...");
    EXPECT_EQ(Button(), "Disconnecting...");
    EXPECT_FALSE(frame().connectButton->IsEnabled());
    ASSERT_TRUE(WaitFor([&] { return app().printerThread == nullptr; }));
    EXPECT_EQ(Status(), "Not Connected");
    EXPECT_EQ(Button(), "Connect");
    EXPECT_TRUE(frame().connectButton->IsEnabled());
}

TEST_F(ConnectionControl, ClosingWhileConnectedWaitsForTheWorkerToStop) {
    ConnectAsTestAccount();
    ASSERT_NE(app().printerThread, nullptr);
    frame().Close(true);
    EXPECT_EQ(app().printerThread, nullptr);
    EXPECT_EQ(app().frame, nullptr);
    EXPECT_TRUE(subject->messages.empty());
}

TEST_F(ConnectionControl, ExitLeavesAWorkerStuckOnAServerThatStoppedAnsweringBehind) {
    ConnectAsTestAccount();
    // Large enough that the copy is still running when the server is frozen, also at the
    // pipelined copy's speed; sparse, so it costs no disk.
    const std::string document = Server().PickupDir() + "/big.bin";
    std::string command =
        "truncate -s 1G " + document + " && chown " + Server().User() + " " + document;
    ASSERT_EQ(std::system(command.c_str()), 0);
    ASSERT_TRUE(WaitFor([&] { return Status() == "Downloading"; }));
    std::vector<int> frozen = Server().Sessions();
    ASSERT_FALSE(frozen.empty());
    for (int pid : frozen) {
        kill(pid, SIGSTOP);
    }

    // The exit gives up on the worker after its bounded wait instead of hanging.
    frame().Close(true);
    EXPECT_EQ(app().frame, nullptr);
    EXPECT_EQ(app().printerThread, nullptr);
    EXPECT_TRUE(subject->messages.empty());

    // The document never left the server; once the server is gone for good the worker
    // drops its partial copy.
    for (int pid : frozen) {
        kill(pid, SIGKILL);
        kill(pid, SIGCONT);
    }
    EXPECT_TRUE(wxFileName::FileExists(document));
    EXPECT_TRUE(WaitFor([&] { return !wxDir(scratch + "/downloads").HasFiles(); }));
    wxRemoveFile(document);
}

}  // namespace
