#include "SftpTestSupport.h"

#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>

#include <libssh/libssh.h>
#include <wx/app.h>
#include <wx/utils.h>

#include "app/EventSink.h"
#include "app/WorkerEvents.h"
#include "pickup/outbox/Outbox.h"
#include "pickup/sftp/SftpThread.h"

namespace fs = std::filesystem;

namespace {

std::unique_ptr<SshdFixture>& SharedServer(bool swapReplies) {
    static std::unique_ptr<SshdFixture> servers[2];
    return servers[swapReplies ? 1 : 0];
}

std::unique_ptr<ProftpdFixture>& SharedProftpd() {
    static std::unique_ptr<ProftpdFixture> server;
    return server;
}

SshdFixture& ServerOf(bool swapReplies) {
    std::unique_ptr<SshdFixture>& server = SharedServer(swapReplies);
    if (!server) {
        // The in-order server logs every request it answers, for the tests of the idle poll.
        server = std::make_unique<SshdFixture>(
            CORVANE_SOURCE_DIR "/tests/fixtures",
            swapReplies ? SshdFixture::Sftp::SwapReplies : SshdFixture::Sftp::LogRequests);
    }
    return *server;
}

// The library initialised once per process, as the application does at start-up; the
// server lives for the whole test program.
class ServerEnvironment : public ::testing::Environment {
public:
    void SetUp() override { ssh_init(); }
    void TearDown() override {
        SharedProftpd().reset();
        SharedServer(false).reset();
        SharedServer(true).reset();
        ssh_finalize();
    }
};

const auto* const environment = ::testing::AddGlobalTestEnvironment(new ServerEnvironment);

}  // namespace

EventRecorder::EventRecorder() {
    for (const wxEventType type : {wxEVT_SFTP_ERROR, wxEVT_SFTP_FINISHED, wxEVT_SFTP_CONNECTED,
                                   wxEVT_PRINT_FILE, wxEVT_SFTP_STATUS}) {
        Connect(type, wxThreadEventHandler(EventRecorder::OnEvent));
    }
    OpenEventSink(this);
}

EventRecorder::~EventRecorder() {
    CloseEventSink(this, std::chrono::milliseconds(0));
}

void EventRecorder::OnEvent(wxThreadEvent& event) {
    Recorded recorded{event.GetEventType(), std::string(), wxString()};
    if (event.GetEventType() == wxEVT_PRINT_FILE) {
        recorded.path = event.GetPayload<wxString>();
        recorded.earlier = event.GetInt() == 1;
        recorded.text = event.GetString().ToStdString();
    } else {
        recorded.text = event.GetPayload<std::string>();
    }
    events.push_back(recorded);
    if (onEvent) {
        onEvent(recorded);
    }
}

size_t EventRecorder::Count(wxEventType type) const {
    return std::count_if(events.begin(), events.end(),
                         [type](const Recorded& event) { return event.type == type; });
}

std::vector<wxString> EventRecorder::PrintedPaths() const {
    std::vector<wxString> paths;
    for (const auto& event : events) {
        if (event.type == wxEVT_PRINT_FILE) {
            paths.push_back(event.path);
        }
    }
    return paths;
}

std::vector<std::string> EventRecorder::Sequence() const {
    std::vector<std::string> sequence;
    for (const auto& event : events) {
        if (event.type == wxEVT_PRINT_FILE) {
            sequence.push_back("PRINT");
        } else if (event.type == wxEVT_SFTP_ERROR) {
            sequence.push_back("ERROR " + event.text);
        } else {
            sequence.push_back(event.text);
        }
    }
    return sequence;
}

void PumpFor(std::chrono::milliseconds duration) {
    const auto end = std::chrono::steady_clock::now() + duration;
    PumpUntil([end] { return std::chrono::steady_clock::now() >= end; }, duration * 2);
}

std::string RandomBytes(size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (auto& byte : bytes) {
        byte = static_cast<char>(generator() & 0xff);
    }
    return bytes;
}

SshdFixture& SftpTest::Server() const {
    return ServerOf(swapReplies);
}

SshdFixture& SftpTest::InOrderServer() {
    return ServerOf(false);
}

ProftpdFixture& SftpTest::Proftpd() {
    if (!SharedProftpd()) {
        SharedProftpd() = std::make_unique<ProftpdFixture>(CORVANE_SOURCE_DIR "/tests/fixtures",
                                                           InOrderServer().User());
    }
    return *SharedProftpd();
}

void SftpTest::SetUp() {
    ASSERT_EQ(geteuid(), 0u) << "the sshd fixture makes a test account: run as root";
    Server();
    char pattern[] = "/tmp/corvane-sftp-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    scratch = pattern;
    fs::create_directories(DownloadDir());
    stateHome = std::make_unique<ScopedEnv>("XDG_STATE_HOME", StateDir().c_str());
    const char* tmpDir = getenv("TMPDIR");
    hadTmpDir = tmpDir != nullptr;
    savedTmpDir = hadTmpDir ? tmpDir : "";
    setenv("TMPDIR", DownloadDir().c_str(), 1);

    // An empty pickup directory in the first place, and no second one.
    const std::string pickup = Server().PickupDir();
    fs::remove_all(pickup);
    fs::remove_all(Server().Home() + "/" + Server().User());
    fs::create_directory(pickup);
    fs::permissions(pickup, fs::perms(0755));
    ChownToAccount(pickup);
}

void SftpTest::TearDown() {
    stateHome.reset();
    if (hadTmpDir) {
        setenv("TMPDIR", savedTmpDir.c_str(), 1);
    } else {
        unsetenv("TMPDIR");
    }
    if (!scratch.empty()) {
        fs::remove_all(scratch);
    }
}

SftpEndpoint SftpTest::Endpoint() const {
    const int port = serverPort != 0 ? serverPort : Server().Port();
    return SftpEndpoint{"127.0.0.1", std::to_string(port), KnownHostsFile()};
}

std::vector<std::string> SftpTest::Downloads() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(DownloadDir())) {
        // The copies; their records are the outbox's own.
        if (entry.path().extension() == ".copy") {
            names.push_back(entry.path().string());
        }
    }
    return names;
}

SftpThread* SftpTest::StartWorker(EventRecorder& recorder, const std::string& password) {
    SftpThread* worker = CreateSftpThread(&recorder, Server().User(), password, Endpoint());
    EXPECT_EQ(worker->Run(), wxTHREAD_NO_ERROR);
    return worker;
}

SftpThread* SftpTest::StartWorker(EventRecorder& recorder) {
    return StartWorker(recorder, Server().Password());
}

void SftpTest::StopAndWaitFinished(SftpThread* worker, EventRecorder& recorder) {
    EXPECT_EQ(SftpThread::RequestStop(worker), wxTHREAD_NO_ERROR);
    EXPECT_TRUE(PumpUntil([&] { return recorder.Count(wxEVT_SFTP_FINISHED) == 1; }))
        << "the worker did not end after a stop request";
}

std::string SftpTest::PlaceFile(const std::string& name, const std::string& content,
                                const std::string& dir) {
    const std::string target = (dir.empty() ? Server().PickupDir() : dir) + "/" + name;
    static int placed = 0;
    const std::string staging = Server().Home() + "/.staging-" + std::to_string(++placed);
    {
        std::ofstream out(staging, std::ios::binary);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
    }
    ChownToAccount(staging);
    fs::rename(staging, target);
    return target;
}

std::vector<std::string> SftpTest::ServerFiles(const std::string& dir) const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.empty() ? Server().PickupDir() : dir)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

void SftpTest::ChownToAccount(const std::string& path) const {
    const passwd* account = getpwnam(Server().User().c_str());
    ASSERT_NE(account, nullptr);
    ASSERT_EQ(lchown(path.c_str(), account->pw_uid, account->pw_gid), 0) << path;
}

std::multimap<std::string, std::string> SftpTest::TakePrinted(const EventRecorder& recorder) {
    std::multimap<std::string, std::string> printed;
    for (const auto& event : recorder.events) {
        if (event.type == wxEVT_PRINT_FILE) {
            printed.emplace(event.text, ReadAll(event.path.ToStdString()));
            outbox::Finished(event.path);
        }
    }
    return printed;
}
