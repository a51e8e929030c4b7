#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <wx/event.h>
#include <wx/string.h>

#include "pickup/sftp/SftpEndpoint.h"
#include "support/ProftpdFixture.h"
#include "support/SshdFixture.h"
#include "support/TestHelpers.h"

class SftpThread;

// What a worker reported, in arrival order.
struct Recorded {
    wxEventType type;
    // The narrow payload of every event but wxEVT_PRINT_FILE; for that one, the name of
    // the document on the server.
    std::string text;
    wxString path;  // the payload of wxEVT_PRINT_FILE
    bool earlier = false;  // a wxEVT_PRINT_FILE of what an earlier run left
};

// Receives a worker's events through an open event sink and records them. `onEvent`, when
// set, runs for every event as it arrives (on this thread), so a test can react to a step.
class EventRecorder : public wxEvtHandler {
public:
    EventRecorder();
    ~EventRecorder() override;

    std::vector<Recorded> events;
    std::function<void(const Recorded&)> onEvent;

    size_t Count(wxEventType type) const;
    std::vector<wxString> PrintedPaths() const;
    // The status/connected/error/finished texts and "PRINT" for each print request.
    std::vector<std::string> Sequence() const;

private:
    void OnEvent(wxThreadEvent& event);
};

// Processes pending events for `duration` (lets a worker poll a few times).
void PumpFor(std::chrono::milliseconds duration);

std::string RandomBytes(size_t size, unsigned seed);

// Every test gets a shared sshd (started once per test program; the one that swaps its
// answers to reads when `swapReplies` is set before SetUp), an empty pickup directory and a
// temporary directory of its own that holds the known-hosts file and, through TMPDIR, the
// worker's downloads.
class SftpTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    SshdFixture& Server() const;
    // The in-order sshd that Server() is unless `swapReplies` is set.
    static SshdFixture& InOrderServer();
    // ProFTPD over the in-order sshd's account and home folder, started on first use.
    static ProftpdFixture& Proftpd();
    // The worker talks to sshd unless a test names another server's port here.
    int serverPort = 0;
    // Whether Server() is the sshd whose SFTP server answers reads in swapped pairs.
    bool swapReplies = false;
    SftpEndpoint Endpoint() const;
    std::string KnownHostsFile() const { return scratch + "/known_hosts"; }
    // The worker's outbox, under a state folder of the test's own.
    std::string StateDir() const { return scratch + "/state"; }
    std::string DownloadDir() const { return StateDir() + "/corvane-print-spooler/outbox"; }
    std::vector<std::string> Downloads() const;

    SftpThread* StartWorker(EventRecorder& recorder, const std::string& password);
    SftpThread* StartWorker(EventRecorder& recorder);
    // Content of each handed-over file by its name on the server; each temporary file is
    // removed, as the print job would.
    static std::multimap<std::string, std::string> TakePrinted(const EventRecorder& recorder);
    // Asks the worker to stop and waits for its last event.
    void StopAndWaitFinished(SftpThread* worker, EventRecorder& recorder);

    // Places a file owned by the test account; written elsewhere first, then renamed in,
    // so the worker never sees it half written.
    std::string PlaceFile(const std::string& name, const std::string& content,
                          const std::string& dir = std::string());
    std::vector<std::string> ServerFiles(const std::string& dir = std::string()) const;
    void ChownToAccount(const std::string& path) const;

    std::string scratch;

private:
    std::string savedTmpDir;
    bool hadTmpDir = false;
    std::unique_ptr<ScopedEnv> stateHome;
};
