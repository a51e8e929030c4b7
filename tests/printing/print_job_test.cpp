// Print requests handled by a running application: the file goes through lp to a private
// CUPS scheduler whose queues keep every job's bytes.
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <cups/cups.h>
#include <gtest/gtest.h>
#include <wx/filefn.h>
#include <wx/msgdlg.h>

#include "app/WorkerEvents.h"
#include "child_signals.h"
#include "support/AppUnderTest.h"
#include "support/CupsFixture.h"
#include "support/TestHelpers.h"
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
        dataHome = std::make_unique<ScopedEnv>("XDG_DATA_HOME", (spool + "/data").c_str());
        StartScheduler();
    }

    void TearDown() override {
        subject.reset();
        restarted.reset();
        cups.reset();
        dataHome.reset();
        std::filesystem::remove_all(spool);
    }

    void StartScheduler() {
        cups = std::make_unique<CupsFixture>(std::vector<std::string>{"Alpha", "Beta"}, "Beta");
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

    void RequestPrint(const std::string& path, const std::string& name = "doc.pdf") {
        auto* event = new wxThreadEvent(wxEVT_PRINT_FILE, wxID_ANY);
        event->SetPayload(wxString(path));
        event->SetString(wxString::FromUTF8(name));
        wxQueueEvent(&app(), event);
    }

    // A print program of the test's own: a shell script in the spool folder.
    std::string Script(const std::string& name, const std::string& body) {
        const std::string path = spool + "/" + name;
        std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
        chmod(path.c_str(), 0755);
        return path;
    }

    bool WaitForJobs(const std::string& queue, size_t count) {
        return WaitForJobs(*cups, queue, count);
    }

    bool WaitForJobs(const CupsFixture& scheduler, const std::string& queue, size_t count) {
        return subject->PumpUntil([&] { return scheduler.Jobs(queue).size() >= count; }, 60);
    }

    std::string KeptFolder() const { return spool + "/data/corvane-print-spooler/unprinted"; }

    std::string KeptNotice() const {
        return "The document could not be printed. It was kept in " + KeptFolder() + ".";
    }

    // The kept documents: {file name: bytes}.
    std::map<std::string, std::string> Kept() const {
        std::map<std::string, std::string> kept;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(KeptFolder(), error)) {
            kept[entry.path().filename().string()] = ReadAll(entry.path().string());
        }
        return kept;
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
    std::unique_ptr<ScopedEnv> dataHome;
    std::unique_ptr<CupsFixture> cups;
    std::unique_ptr<CupsFixture> restarted;  // a second scheduler after `cups` was stopped
    std::unique_ptr<AppUnderTest> subject;
    std::vector<std::string> downloads;
};

// The fixture for a table of cases: each case is a test of its own, with a fresh scheduler
// and spool folder.
template <class Case>
class PrintJobWith : public PrintJob, public testing::WithParamInterface<Case> {};

// A case's name in the test's name: its `name`, with what gtest does not take as '_'.
template <class Case>
std::string CaseName(const testing::TestParamInfo<Case>& info) {
    std::string name = info.param.name;
    std::replace_if(
        name.begin(), name.end(), [](unsigned char c) { return !std::isalnum(c); }, '_');
    return name;
}

struct FailingProgram {
    const char* name;
    const char* command;  // run as it is, or the body of a script of the test's own
    bool script;
};

struct MissingProgram {
    const char* name;
    const char* command;
};

struct RefusingPrintSystem {
    const char* name;
    std::function<void(CupsFixture&)> apply;
    const char* workingQueue;  // where the next document goes
    bool restart;              // whether the scheduler has to be started again for it
};

struct SlowProgram {
    const char* name;
    const char* body;
    size_t kept;
};

// A case shows as its name, in failure messages and in the test names CTest lists.
void PrintTo(const FailingProgram& printed, std::ostream* out) {
    *out << printed.name;
}
void PrintTo(const MissingProgram& printed, std::ostream* out) {
    *out << printed.name;
}
void PrintTo(const RefusingPrintSystem& printed, std::ostream* out) {
    *out << printed.name;
}
void PrintTo(const SlowProgram& printed, std::ostream* out) {
    *out << printed.name;
}

using PrintJobFailingProgram = PrintJobWith<FailingProgram>;
using PrintJobMissingProgram = PrintJobWith<MissingProgram>;
using PrintJobRefused = PrintJobWith<RefusingPrintSystem>;
using PrintJobSlowProgram = PrintJobWith<SlowProgram>;

}  // namespace

TEST_F(PrintJob, PrintsTheFileUnchangedOnTheChosenQueueThenRemovesIt) {
    Start();
    Choose("Alpha");  // not the default: the window's choice decides
    const std::string path = MakeDownload("ab12.tmp", 1);

    // The job's title: the name beyond ASCII kept, a direction control dropped.
    RequestPrint(path,
                 "Gr\xc3\xbc\xc3\x9f"
                 "e \xe2\x80\xae"
                 "fdp.pdf");
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
    cups_job_t* listed = nullptr;
    const int count = cupsGetJobs2(CUPS_HTTP_DEFAULT, &listed, "Alpha", 0, CUPS_WHICHJOBS_ALL);
    ASSERT_EQ(count, 1);
    EXPECT_EQ(std::string(listed[0].title)
                  .rfind("Gr\xc3\xbc\xc3\x9f"
                         "e fdp.pdf [",
                         0),
              0u)
        << listed[0].title;
    cupsFreeJobs(count, listed);
}

TEST_F(PrintJob, FilesInQuickSuccessionPrintInOrderOnThePrinterChosenAtTheirArrival) {
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
    // One print program at a time per printer: the jobs reach the scheduler in the order
    // the documents came.
    const std::vector<std::string> alpha = cups->Jobs("Alpha");
    EXPECT_TRUE(alpha == (std::vector<std::string>{downloads[0], downloads[1]}));
    const std::vector<std::string> beta = cups->Jobs("Beta");
    ASSERT_EQ(beta.size(), 1u);
    EXPECT_TRUE(beta[0] == downloads[2]);

    ASSERT_TRUE(subject->PumpUntil([&] { return Status() == "Not Connected"; }));
    EXPECT_TRUE(subject->messages.empty());
}

// A print program that fails had the only copy left: the document is kept, under its name
// on the server, and the user told where.
TEST_P(PrintJobFailingProgram, AFailingOrKilledPrintProgramKeepsTheDocument) {
    const FailingProgram& program = GetParam();
    Start(program.script ? Script(program.name, program.command) : program.command);
    Choose("Alpha");
    const std::string path = MakeDownload("ab12.tmp", 5);

    // The program may have ended, and its job been reported, before the request's
    // handling is over, so "Printing" is not necessarily still shown here.
    RequestPrint(path, "Invoice 7.pdf");
    app().ProcessPendingEvents();

    ASSERT_TRUE(subject->PumpUntil([&] { return !subject->messages.empty(); }));
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(Kept(), (std::map<std::string, std::string>{{"Invoice 7.pdf", downloads.back()}}));
    EXPECT_EQ(subject->messages[0].text, KeptNotice());
    EXPECT_EQ(subject->messages[0].style, wxOK | wxCENTRE);
    EXPECT_EQ(Status(), "Not Connected");
    EXPECT_TRUE(cups->Jobs("Alpha").empty());
    subject->PumpPending();
    EXPECT_EQ(subject->messages.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(, PrintJobFailingProgram,
                         testing::Values(
                             // starts, prints nothing, exits with 1
                             FailingProgram{"exits_with_1", "false", false},
                             // ends by a signal
                             FailingProgram{"killed", "kill -KILL $$", true}),
                         CaseName<FailingProgram>);

TEST_P(PrintJobMissingProgram, AMissingPrintProgramIsReportedAndTheDocumentKept) {
    Start(GetParam().command);
    Choose("Alpha");
    const std::string path = MakeDownload("ab12.tmp", 6);

    RequestPrint(path, "Invoice 7.pdf");
    app().ProcessPendingEvents();

    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(Kept(), (std::map<std::string, std::string>{{"Invoice 7.pdf", downloads.back()}}));
    EXPECT_EQ(Status(), "Not Connected");
    EXPECT_EQ(frame().connectButton->GetLabel(), "Connect");
    EXPECT_TRUE(frame().connectButton->IsEnabled());
    ASSERT_EQ(subject->messages.size(), 1u);
    EXPECT_EQ(subject->messages[0].text, "The print program could not be started. " + KeptNotice());
    EXPECT_EQ(subject->messages[0].caption, wxMessageBoxCaptionStr);
    EXPECT_EQ(subject->messages[0].style, wxOK | wxCENTRE);
}

INSTANTIATE_TEST_SUITE_P(, PrintJobMissingProgram,
                         testing::Values(MissingProgram{"not_on_the_path",
                                                        "corvane-no-such-print-program"},
                                         MissingProgram{"no_such_file", "/nonexistent/lp"}),
                         CaseName<MissingProgram>);

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

// lp fails when the print system will not take the job. Each time the document is kept whole
// and the user told once; the next document, on a queue that works, still prints.
TEST_P(PrintJobRefused, APrintSystemThatRefusesTheJobKeepsTheDocument) {
    const RefusingPrintSystem& fault = GetParam();
    Start();
    Choose("Alpha");

    fault.apply(*cups);
    const std::string path = MakeDownload("ab12.tmp", 8);
    RequestPrint(path, "Invoice 7.pdf");
    ASSERT_TRUE(subject->PumpUntil([&] { return !subject->messages.empty(); }));
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(Kept(), (std::map<std::string, std::string>{{"Invoice 7.pdf", downloads[0]}}));
    EXPECT_EQ(subject->messages[0].text, KeptNotice());
    EXPECT_EQ(Status(), "Not Connected");

    if (fault.restart) {
        restarted =
            std::make_unique<CupsFixture>(std::vector<std::string>{"Alpha", "Beta"}, "Beta");
    }
    const CupsFixture& working = restarted ? *restarted : *cups;
    Choose(fault.workingQueue);
    const std::string later = MakeDownload("cd34.tmp", 9);
    RequestPrint(later, "Invoice 8.pdf");
    ASSERT_TRUE(WaitUntilGone({later}));
    ASSERT_TRUE(WaitForJobs(working, fault.workingQueue, 1));
    EXPECT_TRUE(working.Jobs(fault.workingQueue) == std::vector<std::string>{downloads[1]});
    ASSERT_TRUE(subject->PumpUntil([&] { return Status() == "Not Connected"; }));
    EXPECT_EQ(subject->messages.size(), 1u);
    EXPECT_EQ(Kept().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    , PrintJobRefused,
    testing::Values(RefusingPrintSystem{"queue refuses jobs",
                                        [](CupsFixture&) { RunForOutput("cupsreject Alpha"); },
                                        "Beta", false},
                    RefusingPrintSystem{"queue deleted",
                                        [](CupsFixture&) { RunForOutput("lpadmin -x Alpha"); },
                                        "Beta", false},
                    RefusingPrintSystem{"scheduler stopped",
                                        [](CupsFixture& scheduler) { scheduler.StopScheduler(); },
                                        "Alpha", true}),
    CaseName<RefusingPrintSystem>);

// Documents that fail while the box about an earlier one is open add no box of their own;
// each is kept under a name of its own, next to a file it must not replace.
TEST_F(PrintJob, FailuresDuringAnOpenNoticeAreKeptWithoutAnotherBox) {
    std::filesystem::create_directories(KeptFolder());
    std::ofstream(KeptFolder() + "/same.pdf") << "kept before";
    Start("false");
    Choose("Alpha");
    const std::string first = MakeDownload("1.tmp", 10);
    const std::string second = MakeDownload("2.tmp", 11);
    const std::string third = MakeDownload("3.tmp", 12);

    bool opened = false;
    subject->whileMessageOpen = [&] {
        if (opened) {
            return;
        }
        opened = true;
        RequestPrint(second, "same.pdf");
        RequestPrint(third, "same.pdf");
        EXPECT_TRUE(subject->PumpUntil([&] { return Kept().size() == 4; }));
        subject->PumpPending();
    };
    RequestPrint(first, "same.pdf");
    ASSERT_TRUE(subject->PumpUntil([&] { return opened && Kept().size() == 4; }));
    subject->PumpPending();

    EXPECT_EQ(subject->messages.size(), 1u);
    const std::map<std::string, std::string> kept = Kept();
    EXPECT_EQ(kept.at("same.pdf"), "kept before");
    // Which failure ends first is the scheduler's; every document is there once.
    std::vector<std::string> keptBytes = {kept.at("same (2).pdf"), kept.at("same (3).pdf"),
                                          kept.at("same (4).pdf")};
    std::sort(keptBytes.begin(), keptBytes.end());
    std::sort(downloads.begin(), downloads.end());
    EXPECT_TRUE(keptBytes == downloads);
}

// An empty document has nothing to print (lp would refuse it): it is not handed to the
// print program, and it goes as a printed one does.
TEST_F(PrintJob, AnEmptyDocumentIsDoneWithoutThePrintProgram) {
    const std::string started = spool + "/started";
    Start(Script("print", "touch '" + started + "'"));
    Choose("Alpha");
    const std::string path = spool + "/empty.tmp";
    std::ofstream{path};

    RequestPrint(path, "empty.pdf");
    subject->PumpPending();

    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(std::filesystem::exists(started));
    EXPECT_EQ(Status(), "Not Connected");
    EXPECT_TRUE(subject->messages.empty());
    EXPECT_TRUE(Kept().empty());
}

// A print program still running when the window closes is given time to end, so that its
// document is removed or kept rather than left in the temporary folder; no box is shown
// once the program is leaving.
TEST_P(PrintJobSlowProgram, TheExitWaitsForRunningPrintPrograms) {
    const SlowProgram& program = GetParam();
    Start(Script("slow", program.body));
    Choose("Alpha");
    const std::string path = MakeDownload("ab12.tmp", 13);
    RequestPrint(path);
    app().ProcessPendingEvents();

    subject->CloseWindow();

    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(Kept().size(), program.kept);
    EXPECT_TRUE(subject->messages.empty());
}

INSTANTIATE_TEST_SUITE_P(, PrintJobSlowProgram,
                         testing::Values(SlowProgram{"printed", "sleep 1", 0},
                                         SlowProgram{"failed", "sleep 1; exit 3", 1}),
                         CaseName<SlowProgram>);
