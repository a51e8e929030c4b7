// Every failure the program meets leaves one line in the diagnostic log that names its
// cause: one table over the failures the existing fixtures can bring about (the test
// sshd, the local web server, print programs of the test's own).
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include <wx/file.h>
#include <wx/log.h>

#include "SftpTestSupport.h"
#include "app/DiagnosticLog.h"
#include "app/ToolkitLog.h"
#include "app/WorkerEvents.h"
#include "pickup/sftp/SftpThread.h"
#include "support/AppUnderTest.h"
#include "support/HttpFixture.h"
#include "support/UpdateReceiver.h"
#include "update/UpdateCheck.h"
#include "update/UpdateCheckThread.h"
#include "../printing/child_signals.h"

namespace {

namespace fs = std::filesystem;

// The text of a document handed to a print program: it must never reach the log.
const char kDocumentText[] = "%PDF-1.4 confidential document body 7f3a";

std::vector<std::string> Lines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

class FailureLog;

// With a u-umlaut, a sharp s and a euro sign, in UTF-8.
const char* const kNameBeyondAscii =
    "Gr\xc3\xbc\xc3\x9f"
    "e \xe2\x82\xac.pdf";

struct Case {
    const char* name;
    std::function<void(FailureLog&)> provoke;
    // Parts of the one line the failure must leave.
    std::vector<std::string> says;
};

void PrintTo(const Case& failure, std::ostream* out) {
    *out << failure.name;
}

// The sftp tests' shared server, started by the first case that needs it.
struct SharedSshd : SftpTest {
    using SftpTest::InOrderServer;
};

class FailureLog : public testing::TestWithParam<Case> {
public:
    void SetUp() override {
        char pattern[] = "/tmp/corvane-log-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        scratch = pattern;
        logFile = scratch + "/corvane.log";
        logEnv = std::make_unique<ScopedEnv>("CORVANE_PRINT_SPOOLER_LOG", logFile.c_str());
        dataHome = std::make_unique<ScopedEnv>("XDG_DATA_HOME", (scratch + "/data").c_str());
    }

    void TearDown() override {
        dataHome.reset();
        logEnv.reset();
        fs::remove_all(scratch);
    }

    SshdFixture& Sshd() { return SharedSshd::InOrderServer(); }
    SftpEndpoint Target() {
        return SftpEndpoint{"127.0.0.1", std::to_string(Sshd().Port()), scratch + "/known_hosts",
                            ""};
    }
    std::string Scratch() const { return scratch; }

    // A worker run to its end (or, when it connects, to its end after `whileConnected`).
    void RunWorker(const std::string& password, const SftpEndpoint& endpoint,
                   const std::function<void()>& whileConnected = nullptr) {
        secret = Sshd().Password();
        EventRecorder recorder;
        SftpThread* worker = CreateSftpThread(&recorder, Sshd().User(), password, endpoint);
        ASSERT_EQ(worker->Run(), wxTHREAD_NO_ERROR);
        ASSERT_TRUE(PumpUntil([&] {
            return recorder.Count(wxEVT_SFTP_FINISHED) == 1 ||
                   recorder.Count(wxEVT_SFTP_CONNECTED) == 1;
        }));
        if (recorder.Count(wxEVT_SFTP_CONNECTED) == 1) {
            if (whileConnected) {
                whileConnected();
                ASSERT_TRUE(PumpUntil([&] { return recorder.Count(wxEVT_SFTP_FINISHED) == 1; }));
            } else {
                EXPECT_EQ(SftpThread::RequestStop(worker), wxTHREAD_NO_ERROR);
                ASSERT_TRUE(PumpUntil([&] { return recorder.Count(wxEVT_SFTP_FINISHED) == 1; }));
            }
        }
    }

    void RunCheck(const std::string& url, const FetchSettings& settings = FetchSettings()) {
        UpdateReceiver receiver;
        const unsigned before = UpdateCheckThread::FinishedCount();
        ASSERT_EQ((new UpdateCheckThread(&receiver, url, settings))->Run(), wxTHREAD_NO_ERROR);
        ASSERT_TRUE(PumpUntil([before] { return UpdateCheckThread::FinishedCount() > before; }));
    }

    // A shell script in the scratch folder, usable as the print program.
    std::string Script(const std::string& body) {
        const std::string path = scratch + "/print-program";
        std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
        chmod(path.c_str(), 0755);
        return path;
    }

    // One document printed with `program`, until the window tells of its end.
    void Print(const std::string& program, const std::string& documentName = "Invoice 7.pdf") {
        AppSettings settings = AppUnderTest::QuietSettings();
        settings.printProgram = program;
        AppUnderTest subject(settings);
        PrepareForChildExits(subject.app());
        const std::string path = scratch + "/ab12.tmp";
        std::ofstream(path, std::ios::binary) << kDocumentText;
        auto* event = new wxThreadEvent(wxEVT_PRINT_FILE, wxID_ANY);
        event->SetPayload(wxString(path));
        event->SetString(wxString::FromUTF8(documentName));
        wxQueueEvent(&subject.app(), event);
        ASSERT_TRUE(subject.PumpUntil([&] { return !subject.messages.empty(); }, 60));
        EXPECT_FALSE(fs::exists(path));
    }

    std::string scratch;
    std::string secret;  // the account's password, once a case has used the account
    std::string logFile;
    std::unique_ptr<ScopedEnv> logEnv;
    std::unique_ptr<ScopedEnv> dataHome;
};

// A loopback port nobody listens on: bound once to learn a free number, then closed.
std::string ClosedPort() {
    HttpFixture gone;
    const int port = gone.Port();
    gone.Stop();
    return std::to_string(port);
}

TEST_P(FailureLog, LeaveOneLineNamingTheCause) {
    GetParam().provoke(*this);

    const std::regex stamped(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z .+)");
    bool found = false;
    for (const std::string& line : Lines(logFile)) {
        std::cout << "log: " << line << "\n";
        EXPECT_TRUE(std::regex_match(line, stamped)) << line;
        if (!secret.empty()) {
            EXPECT_EQ(line.find(secret), std::string::npos) << line;
        }
        EXPECT_EQ(line.find(kDocumentText), std::string::npos) << line;
        bool all = true;
        for (const std::string& part : GetParam().says) {
            all = all && line.find(part) != std::string::npos;
        }
        found = found || all;
    }
    EXPECT_TRUE(found) << "no line with all of: " << testing::PrintToString(GetParam().says);
}

using Self = FailureLog;

INSTANTIATE_TEST_SUITE_P(
    Failures, FailureLog,
    testing::Values(
        Case{"wrongPassword",
             [](Self& t) { t.RunWorker(t.Sshd().Password() + "x", t.Target()); },
             {"pickup: password refused by ", "@127.0.0.1:", "Access denied"}},
        Case{"refusedPort",
             [](Self& t) {
                 SftpEndpoint endpoint = t.Target();
                 endpoint.port = ClosedPort();
                 t.RunWorker(t.Sshd().Password(), endpoint);
             },
             {"pickup: cannot connect to ", "Connection refused"}},
        Case{"changedHostKey",
             [](Self& t) {
                 t.RunWorker(t.Sshd().Password(), t.Target());
                 t.Sshd().Restart(true);
                 t.RunWorker(t.Sshd().Password(), t.Target());
             },
             {"pickup: host key of ",
              "has changed: it offers ssh-ed25519 SHA256:", "the password was not sent"}},
        Case{"firstContact",
             [](Self& t) { t.RunWorker(t.Sshd().Password(), t.Target()); },
             {"pickup: first contact with ", "@127.0.0.1:", ": ssh-ed25519 SHA256:",
              " recorded in /tmp/corvane-log-test-", "/known_hosts"}},
        Case{"unreadableKnownHosts",
             [](Self& t) {
                 fs::create_directory(t.Scratch() + "/known_hosts");
                 t.RunWorker(t.Sshd().Password(), t.Target());
             },
             {"pickup: host key of ", "cannot be checked: ", "known_hosts cannot be read",
              "it offers ssh-ed25519 SHA256:", "the password was not sent"}},
        Case{"sessionKilled",
             [](Self& t) {
                 t.RunWorker(t.Sshd().Password(), t.Target(),
                             [&t] { ASSERT_FALSE(t.Sshd().KillSessions().empty()); });
             },
             {"pickup: ", " while "}},
        Case{"serverRestarted",
             [](Self& t) {
                 t.RunWorker(t.Sshd().Password(), t.Target(), [&t] { t.Sshd().Restart(false); });
             },
             {"pickup: ", " while opening the pickup folder"}},
        Case{"updateHttpError",
             [](Self& t) {
                 HttpFixture web;
                 t.RunCheck(web.Url("/status/404"));
             },
             {"update check: An error has occurred: HTTP status 404 (http://127.0.0.1:"}},
        Case{"updateBadBody",
             [](Self& t) {
                 HttpFixture web;
                 t.RunCheck(web.Url("/html"));
             },
             {"update check: the answer is no release number: \"<!DOCTYPE html> <html>"}},
        Case{"updateNoServer",
             [](Self& t) { t.RunCheck("http://127.0.0.1:" + ClosedPort()); },
             {"update check: Couldn't connect to server"}},
        Case{"updateUntrustedCertificate",
             [](Self& t) {
                 HttpFixture web(HttpFixture::Scheme::Https);
                 t.RunCheck(web.Url("/newer"));
             },
             {"update check: SSL peer certificate", "self-signed certificate"}},
        Case{"updateRedirectToHttp",
             [](Self& t) {
                 HttpFixture web(HttpFixture::Scheme::Https);
                 FetchSettings settings;
                 settings.caFile = web.File("cert.pem");
                 t.RunCheck(web.Url("/redirect-http/302"), settings);
             },
             {"update check: Unsupported protocol", "(redirected to http://127.0.0.1:"}},
        Case{"updateTrickle",
             [](Self& t) {
                 HttpFixture web;
                 FetchSettings settings;
                 settings.lowSpeedSeconds = 1;
                 t.RunCheck(web.Url("/trickle"), settings);
             },
             {"update check: Timeout was reached: Operation too slow"}},
        Case{"printProgramFails",
             [](Self& t) { t.Print(t.Script("echo 'printer on fire' >&2; exit 3")); },
             {"print: ",
              "print-program (no printer chosen) ended with exit status 3 for \"Invoice "
              "7.pdf\": printer on fire"}},
        // The C locale, as the toolkit leaves it: the name is logged, and kept, in UTF-8.
        Case{
            "documentNameBeyondAscii",
            [](Self& t) {
                const ScopedEnv locale("LC_ALL", "C");
                t.Print(t.Script("exit 3"), kNameBeyondAscii);
                EXPECT_TRUE(fs::exists(t.Scratch() + "/data/corvane-print-spooler/unprinted/" +
                                       kNameBeyondAscii));
            },
            {"print: ", " ended with exit status 3 for \"" + std::string(kNameBeyondAscii) + "\""}},
        Case{"printProgramKilled",
             [](Self& t) { t.Print(t.Script("kill -KILL $$")); },
             {"print: ", " ended with signal 9 for \"Invoice 7.pdf\""}},
        // A program that writes far more than a pipe holds is read while it runs: it ends.
        Case{"chattyPrintProgram",
             [](Self& t) {
                 t.Print(
                     t.Script("echo 'first complaint' >&2; head -c 400000 /dev/zero | tr "
                              "'\\0' x; head -c 400000 /dev/zero | tr '\\0' y >&2; exit 5"));
             },
             {"print: ", " ended with exit status 5", ": first complaint"}},
        Case{"lpWithoutScheduler",
             [](Self& t) {
                 ScopedEnv cups("CUPS_SERVER", (t.Scratch() + "/none.sock").c_str());
                 t.Print("lp");
             },
             {"print: lp (no printer chosen) ended with exit status 1",
              "lp: Error - The printer or class does not exist."}},
        Case{"toolkitError",
             [](Self&) {
                 // As the program sets it up: the toolkit's own reports go to the log.
                 std::unique_ptr<wxLog> previous(wxLog::SetActiveTarget(new ToolkitLog));
                 wxFile missing;
                 missing.Open("/nonexistent/corvane-missing.pdf");
                 wxLog::FlushActive();
                 const std::unique_ptr<wxLog> ours(wxLog::SetActiveTarget(previous.release()));
             },
             {"toolkit: can't open file '/nonexistent/corvane-missing.pdf'",
              "No such file or directory"}},
        Case{"printProgramMissing",
             [](Self& t) { t.Print("corvane-no-such-print-program"); },
             {"print: cannot start corvane-no-such-print-program (no printer chosen) for \"Invoice "
              "7.pdf\"",
              "the program is missing or cannot be run"}}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// The log itself: whole lines from many threads at once, each with its time, and one line
// whatever the text holds.
TEST(DiagnosticLog, LinesFromManyThreadsStayWhole) {
    char pattern[] = "/tmp/corvane-log-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string path = std::string(pattern) + "/log.txt";
    {
        ScopedEnv env("CORVANE_PRINT_SPOOLER_LOG", path.c_str());
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([t] {
                for (int i = 0; i < 50; ++i) {
                    LogLine("thread " + std::to_string(t) + " line " + std::to_string(i) +
                            "\nnot a line of its own\r\x1b[31m");
                }
            });
        }
        for (auto& thread : threads) {
            thread.join();
        }
    }
    const std::vector<std::string> lines = Lines(path);
    EXPECT_EQ(lines.size(), 200u);
    const std::regex whole(
        R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z thread \d line \d+ not a line of its own  \[31m)");
    for (const std::string& line : lines) {
        EXPECT_TRUE(std::regex_match(line, whole)) << line;
    }
    fs::remove_all(pattern);
}

TEST(DiagnosticLog, OneLineCutsLongTexts) {
    EXPECT_EQ(OneLine("abc\n"), "abc");
    EXPECT_EQ(OneLine(std::string(10, 'x'), 4), "xxxx...");
}

// A server's text cannot reorder, colour or split what a reader of the log sees.
TEST(DiagnosticLog, ServerTextLosesControlsAndIsCutBetweenCharacters) {
    const struct {
        std::string text;
        std::size_t limit;
        std::string logged;
    } cases[] = {
        {"a\xc2\x85"
         "b\xc2\x9b"
         "31mc",
         300, "a b 31mc"},  // C1: NEL, CSI
        {"invoice\xe2\x80\xae"
         "fdp.exe",
         300, "invoicefdp.exe"},  // right-to-left override
        {"a\xe2\x81\xa6"
         "b\xe2\x81\xa9\xe2\x80\x8f"
         "c\xd8\x9c",
         300, "abc"},  // isolates, marks
        {"Gr\xc3\xbc\xc3\x9f"
         "e \xe2\x82\xac",
         300,
         "Gr\xc3\xbc\xc3\x9f"
         "e \xe2\x82\xac"},                                  // kept as it is
        {"\xe2\x82\xac\xe2\x82\xac", 4, "\xe2\x82\xac..."},  // never half a character
        {"ab\xc3\xbc", 3, "ab..."},
        {"a\x9b"
         "b\xff\xc3",
         300, "a?b??"},  // not UTF-8
    };
    for (const auto& c : cases) {
        EXPECT_EQ(OneLine(c.text, c.limit), c.logged) << c.text;
    }
}

// Another local user cannot point the log at a file of this user's, nor read it.
TEST(DiagnosticLog, FileIsPrivateAndNeverReachedThroughALink) {
    char pattern[] = "/tmp/corvane-log-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    {
        ScopedEnv env("CORVANE_PRINT_SPOOLER_LOG", (dir + "/new.log").c_str());
        LogLine("first");
    }
    struct stat made {};
    ASSERT_EQ(stat((dir + "/new.log").c_str(), &made), 0);
    EXPECT_EQ(made.st_mode & 0777, 0600u);

    std::ofstream(dir + "/victim") << "precious\n";
    fs::create_symlink(dir + "/victim", dir + "/linked.log");
    {
        ScopedEnv env("CORVANE_PRINT_SPOOLER_LOG", (dir + "/linked.log").c_str());
        LogLine("planted");
    }
    EXPECT_EQ(Lines(dir + "/victim"), std::vector<std::string>{"precious"});
    fs::remove_all(dir);
}

}  // namespace
