// Print requests handled by a running application: the file goes through lp to a private
// CUPS scheduler whose queues keep every job's bytes.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <wx/filefn.h>
#include <wx/msgdlg.h>

#include "app/WorkerEvents.h"
#include "child_signals.h"
#include "support/AppUnderTest.h"
#include "support/CupsFixture.h"
#include "ui/TeskFrame.h"

namespace {

class PrintJob : public testing::Test {
protected:
    static void SetUpTestSuite() { PrepareForChildExits(*wxTheApp); }

    void SetUp() override {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "corvane-print-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        spool = pattern;
        cups = std::make_unique<CupsFixture>(std::vector<std::string>{"Alpha", "Beta"}, "Beta");
    }

    void TearDown() override {
        subject.reset();
        cups.reset();
        std::filesystem::remove_all(spool);
    }

    void Start(const wxString& printProgram = "lp") {
        AppSettings settings = AppUnderTest::QuietSettings();
        settings.printProgram = printProgram;
        subject = std::make_unique<AppUnderTest>(settings);
        PrepareForChildExits(app());
    }

    PrinterApp& app() { return subject->app(); }
    TeskFrame& frame() { return *subject->app().frame; }
    std::string Status() { return frame().statusText->GetLabel().ToStdString(); }

    void Choose(const wxString& printer) {
        const int index = frame().printerChoice->FindString(printer, true);
        ASSERT_NE(index, wxNOT_FOUND);
        frame().printerChoice->SetSelection(index);
    }

    // A downloaded document as the pickup worker leaves it: a temporary file with
    // binary content (a PDF header, then bytes of every value, NULs included).
    std::string MakeDownload(const std::string& name, unsigned seed) {
        std::string bytes = "%PDF-1.4\n%\xe2\xe3\xcf\xd3\n";
        std::mt19937 random(seed);
        for (int i = 0; i < 20000; ++i) {
            bytes += static_cast<char>(random() & 0xff);
        }
        const std::string path = spool + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        downloads.push_back(bytes);
        return path;
    }

    void RequestPrint(const std::string& path) {
        auto* event = new wxThreadEvent(wxEVT_PRINT_FILE, wxID_ANY);
        event->SetPayload(wxString(path));
        wxQueueEvent(&app(), event);
    }

    bool WaitForJobs(const std::string& queue, size_t count) {
        return subject->PumpUntil([&] { return cups->Jobs(queue).size() >= count; }, 60);
    }

    bool WaitUntilGone(const std::vector<std::string>& paths) {
        return subject->PumpUntil(
            [&] {
                return std::none_of(paths.begin(), paths.end(), [](const std::string& path) {
                    return std::filesystem::exists(path);
                });
            },
            60);
    }

    std::string spool;
    std::unique_ptr<CupsFixture> cups;
    std::unique_ptr<AppUnderTest> subject;
    std::vector<std::string> downloads;
};

}  // namespace

TEST_F(PrintJob, PrintsTheFileUnchangedOnTheChosenQueueThenRemovesIt) {
    Start();
    Choose("Alpha");  // not the default: the window's choice decides
    const std::string path = MakeDownload("ab12.tmp", 1);

    RequestPrint(path);
    app().ProcessPendingEvents();
    EXPECT_EQ(Status(), "Printing");

    ASSERT_TRUE(WaitUntilGone({path}));
    // lp has ended; its done event puts the window back.
    ASSERT_TRUE(subject->PumpUntil([&] { return Status() != "Printing"; }));
    EXPECT_EQ(Status(), "Not Connected");
    EXPECT_EQ(frame().connectButton->GetLabel(), "Connect");
    EXPECT_TRUE(frame().connectButton->IsEnabled());

    ASSERT_TRUE(WaitForJobs("Alpha", 1));
    const std::vector<std::string> jobs = cups->Jobs("Alpha");
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_TRUE(jobs[0] == downloads[0])
        << "printed " << jobs[0].size() << " bytes of " << downloads[0].size();
    EXPECT_TRUE(cups->Jobs("Beta").empty());
    EXPECT_TRUE(subject->messages.empty());
}

TEST_F(PrintJob, FilesInQuickSuccessionEachPrintOnThePrinterChosenAtTheTime) {
    Start();
    Choose("Alpha");
    const std::string first = MakeDownload("first name.tmp", 2);
    const std::string second = MakeDownload("-second.tmp", 3);  // no option to lp
    const std::string third = MakeDownload("third.tmp", 4);

    // Two requests handled before either print program has ended, then a new choice.
    RequestPrint(first);
    RequestPrint(second);
    app().ProcessPendingEvents();
    EXPECT_EQ(Status(), "Printing");
    Choose("Beta");
    RequestPrint(third);
    app().ProcessPendingEvents();

    ASSERT_TRUE(WaitUntilGone({first, second, third}));
    ASSERT_TRUE(WaitForJobs("Alpha", 2));
    ASSERT_TRUE(WaitForJobs("Beta", 1));
    std::vector<std::string> alpha = cups->Jobs("Alpha");
    std::vector<std::string> expected = {downloads[0], downloads[1]};
    // Two lp processes race to the scheduler: the job order is theirs.
    std::sort(alpha.begin(), alpha.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_TRUE(alpha == expected);
    const std::vector<std::string> beta = cups->Jobs("Beta");
    ASSERT_EQ(beta.size(), 1u);
    EXPECT_TRUE(beta[0] == downloads[2]);

    ASSERT_TRUE(subject->PumpUntil([&] { return Status() == "Not Connected"; }));
    EXPECT_TRUE(subject->messages.empty());
}

TEST_F(PrintJob, AFailingPrintProgramStillEndsTheJob) {
    Start("false");  // starts, prints nothing, exits with 1
    Choose("Alpha");
    const std::string path = MakeDownload("ab12.tmp", 5);

    // "false" may have ended, and its job been reported, before the request's handling is
    // over, so "Printing" is not necessarily still shown here.
    RequestPrint(path);
    app().ProcessPendingEvents();

    ASSERT_TRUE(WaitUntilGone({path}));
    ASSERT_TRUE(subject->PumpUntil([&] { return Status() == "Not Connected"; }));
    EXPECT_TRUE(subject->messages.empty());
    EXPECT_TRUE(cups->Jobs("Alpha").empty());
}

TEST_F(PrintJob, AMissingPrintProgramIsReportedAndTheFileRemoved) {
    for (const wxString program : {"corvane-no-such-print-program", "/nonexistent/lp"}) {
        SCOPED_TRACE(program.ToStdString());
        Start(program);
        Choose("Alpha");
        const std::string path = MakeDownload("ab12.tmp", 6);

        RequestPrint(path);
        app().ProcessPendingEvents();

        EXPECT_FALSE(std::filesystem::exists(path));
        EXPECT_EQ(Status(), "Not Connected");
        EXPECT_EQ(frame().connectButton->GetLabel(), "Connect");
        EXPECT_TRUE(frame().connectButton->IsEnabled());
        ASSERT_EQ(subject->messages.size(), 1u);
        EXPECT_EQ(subject->messages[0].text, "The print program could not be started");
        EXPECT_EQ(subject->messages[0].caption, wxMessageBoxCaptionStr);
        EXPECT_EQ(subject->messages[0].style, wxOK | wxCENTRE);
        subject.reset();
    }
}

// While a pickup worker runs, a print job that could not start leaves the window showing
// the connection, as a finished job does.
TEST_F(PrintJob, AMissingPrintProgramWhileConnectedKeepsTheConnectedState) {
    Start("corvane-no-such-print-program");
    Choose("Alpha");
    auto* connected = new wxThreadEvent(wxEVT_SFTP_CONNECTED, wxID_ANY);
    connected->SetPayload(std::string("connected"));
    wxQueueEvent(&app(), connected);
    app().ProcessPendingEvents();
    // Stands for a running worker: only ever compared with null, and cleared before the
    // window closes.
    int fakeWorker = 0;
    app().printerThread = reinterpret_cast<SftpThread*>(&fakeWorker);

    const std::string path = MakeDownload("ab12.tmp", 7);
    RequestPrint(path);
    app().ProcessPendingEvents();

    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(Status(), "Connected");
    EXPECT_EQ(frame().connectButton->GetLabel(), "Disconnect");
    EXPECT_TRUE(frame().connectButton->IsEnabled());
    EXPECT_EQ(subject->messages.size(), 1u);
    app().printerThread = nullptr;
}
