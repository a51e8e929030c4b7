// What arrives on the local disk, and what happens to a copy that cannot be completed.
#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <thread>

#include <wx/utils.h>

#include "SftpTestSupport.h"
#include "app/EventSink.h"
#include "app/WorkerEvents.h"
#include "pickup/sftp/RemoteCopy.h"
#include "pickup/sftp/SftpThread.h"

namespace fs = std::filesystem;

namespace {
using Sequence = std::vector<std::string>;
}

class SftpTransfer : public SftpTest {
protected:
    // A file large enough that a copy of it is well under way, with its requests in
    // flight, when a test reacts to "Downloading"; sparse, so quick to make. Random data
    // at its start tells whether it is still the same file.
    std::string PlaceLargeFile(const std::string& name, std::uintmax_t size) {
        largeHead = RandomBytes(1024 * 1024, 7);
        const std::string path = PlaceFile(name, largeHead);
        fs::resize_file(path, size);
        return path;
    }
    void ExpectUnchanged(const std::string& path, std::uintmax_t size) const {
        EXPECT_EQ(fs::file_size(path), size);
        std::string start(largeHead.size(), '\0');
        std::ifstream(path, std::ios::binary)
            .read(&start[0], static_cast<std::streamsize>(start.size()));
        EXPECT_TRUE(start == largeHead);
    }

    std::string largeHead;
};

// The transfer table, against each SFTP server the tests start: sshd; sshd whose SFTP server
// answers reads in swapped pairs (SFTP lets a server answer in any order); and ProFTPD's
// mod_sftp (which ends reads at the size a file had when it was opened).
enum class Server { OpenSsh, RepliesSwapped, Proftpd };

class SftpServers : public SftpTransfer, public ::testing::WithParamInterface<Server> {
protected:
    void SetUp() override {
        swapReplies = GetParam() == Server::RepliesSwapped;
        SftpTransfer::SetUp();
        if (GetParam() == Server::Proftpd) {
            serverPort = Proftpd().Port();
        }
    }
    // Runs a worker until `count` documents have been handed over and a few polls more;
    // returns what was handed over, by name on the server.
    std::multimap<std::string, std::string> PickUp(size_t count,
                                                   const std::function<void()>& meanwhile = {}) {
        EventRecorder recorder;
        SftpThread* worker = StartWorker(recorder);
        EXPECT_TRUE(PumpUntil([&] { return recorder.Count(wxEVT_SFTP_CONNECTED) == 1; }));
        if (meanwhile) {
            meanwhile();
        }
        EXPECT_TRUE(PumpUntil([&] { return recorder.Count(wxEVT_PRINT_FILE) >= count; }));
        PumpFor(std::chrono::milliseconds(600));  // nothing more may come
        StopAndWaitFinished(worker, recorder);
        EXPECT_EQ(recorder.Count(wxEVT_SFTP_ERROR), 0u);
        return TakePrinted(recorder);
    }
    void ExpectEachOnce(const std::multimap<std::string, std::string>& printed,
                        const std::map<std::string, std::string>& placed) {
        EXPECT_EQ(printed.size(), placed.size());
        for (const auto& [name, content] : placed) {
            ASSERT_EQ(printed.count(name), 1u) << name;
            EXPECT_TRUE(printed.find(name)->second == content) << name << " differs";
        }
        EXPECT_TRUE(ServerFiles().empty());
        EXPECT_TRUE(Downloads().empty());
    }
};

TEST_P(SftpServers, CopiesAreByteIdenticalAroundTheChunkSize) {
    // Sizes around the 16384-byte request, around a full set of requests in flight, and
    // 64 MiB.
    constexpr size_t kRequest = RemoteCopy::kRequestSize;
    constexpr size_t kWindow = kRequest * RemoteCopy::kDefaultDepth;
    std::map<std::string, std::string> placed;
    unsigned seed = 1;
    for (const size_t size : {size_t(1), kRequest - 1, kRequest, kRequest + 1, kWindow - 1, kWindow,
                              kWindow + 1, 2 * kWindow + 1, size_t(64 << 20)}) {
        const std::string name = "doc" + std::to_string(size) + ".pdf";
        placed[name] = RandomBytes(size, seed++);
        PlaceFile(name, placed[name]);
    }
    ExpectEachOnce(PickUp(placed.size()), placed);
    EXPECT_EQ(Server().SwappedReplies(), swapReplies);
}

TEST_P(SftpServers, BurstOfThirtyIsHandedOverOnceEach) {
    std::map<std::string, std::string> placed;
    for (unsigned i = 0; i < 30; ++i) {
        const std::string name = "burst-" + std::to_string(i) + ".pdf";
        placed[name] = RandomBytes(20000 + i * 1000, i + 100);
        PlaceFile(name, placed[name]);
    }
    ExpectEachOnce(PickUp(placed.size()), placed);
}

TEST_P(SftpServers, FileGrowingWhileOpenIsCopiedWhole) {
    const std::string chunk = RandomBytes(16384, 55);
    std::string path;
    std::atomic<bool> uploadDone{false};
    std::thread uploader;
    auto printed = PickUp(1, [&] {
        // Opened by the worker while small; it grows past several read requests.
        path = PlaceFile("growing.pdf", chunk);
        uploader = std::thread([&] {
            for (int i = 0; i < 23; ++i) {
                wxMilliSleep(100);
                std::ofstream(path, std::ios::binary | std::ios::app) << chunk;
            }
            uploadDone = true;
        });
    });
    uploader.join();
    std::string whole;
    for (int i = 0; i < 24; ++i) {
        whole += chunk;
    }
    ExpectEachOnce(printed, {{"growing.pdf", whole}});
}

INSTANTIATE_TEST_SUITE_P(, SftpServers,
                         ::testing::Values(Server::OpenSsh, Server::RepliesSwapped,
                                           Server::Proftpd),
                         [](const ::testing::TestParamInfo<Server>& info) {
                             switch (info.param) {
                                 case Server::OpenSsh:
                                     return "OpenSSH";
                                 case Server::RepliesSwapped:
                                     return "OpenSSHRepliesSwapped";
                                 default:
                                     return "ProFTPD";
                             }
                         });

TEST_F(SftpTransfer, CopyBrokenByTheServerIsDroppedAndTheFileStays) {
    constexpr std::uintmax_t kSize = 1024ull * 1024 * 1024;
    const std::string path = PlaceLargeFile("large.pdf", kSize);

    EventRecorder recorder;
    SftpThread* worker = StartWorker(recorder);
    std::vector<int> killed;
    recorder.onEvent = [&](const Recorded& event) {
        if (event.text == "Downloading" && killed.empty()) {
            killed = Server().KillSessions();
        }
    };
    // With its session gone the worker's next listing fails and the run ends; if it does
    // not, a stop request ends it.
    if (!PumpUntil([&] { return recorder.Count(wxEVT_SFTP_FINISHED) == 1; },
                   std::chrono::seconds(30))) {
        StopAndWaitFinished(worker, recorder);
    }
    ASSERT_FALSE(killed.empty()) << "no session process to kill";

    EXPECT_EQ(recorder.Count(wxEVT_PRINT_FILE), 0u);
    // The run ended by itself, and said so.
    EXPECT_EQ(recorder.Count(wxEVT_SFTP_ERROR), 1u);
    EXPECT_EQ(ServerFiles(), (Sequence{"large.pdf"}));
    ExpectUnchanged(path, kSize);
    EXPECT_TRUE(Downloads().empty()) << "the partial copy was left behind";
}

TEST_F(SftpTransfer, NothingIsRemovedOrHandedOverOnceTheReceiverHasGone) {
    constexpr std::uintmax_t kSize = 256ull * 1024 * 1024;
    const std::string path = PlaceLargeFile("late.pdf", kSize);

    EventRecorder recorder;
    StartWorker(recorder);
    bool closed = false;
    recorder.onEvent = [&](const Recorded& event) {
        if (event.text == "Downloading" && !closed) {
            closed = true;
            // The application is leaving while the copy runs.
            CloseEventSink(&recorder);
        }
    };
    ASSERT_TRUE(PumpUntil([&] { return closed; }));
    // The worker's end is no longer reported; its SSH session going away shows it.
    EXPECT_TRUE(PumpUntil([&] { return !Server().HasSessions(); }));

    EXPECT_EQ(recorder.Count(wxEVT_PRINT_FILE), 0u);
    EXPECT_EQ(ServerFiles(), (Sequence{"late.pdf"}));
    ExpectUnchanged(path, kSize);
    EXPECT_TRUE(Downloads().empty()) << "the local copy was left behind";
}

TEST_F(SftpTransfer, FileStaysOnTheServerWhenNoLocalCopyCanBeMade) {
    // A state folder where nobody, not even root, can make the outbox.
    setenv("XDG_STATE_HOME", "/proc/self", 1);
    PlaceFile("waiting.pdf", "waiting document");

    EventRecorder recorder;
    SftpThread* worker = StartWorker(recorder);
    // Tried again on later polls, never copied.
    ASSERT_TRUE(PumpUntil([&] { return recorder.Count(wxEVT_SFTP_STATUS) >= 2; }));
    StopAndWaitFinished(worker, recorder);

    for (const auto& text : recorder.Sequence()) {
        EXPECT_NE(text, "Downloading");
        EXPECT_NE(text, "PRINT");
    }
    EXPECT_EQ(recorder.Count(wxEVT_SFTP_ERROR), 0u);
    EXPECT_EQ(ServerFiles(), (Sequence{"waiting.pdf"}));
    // Should one have been made after all, it goes.
    for (const auto& path : recorder.PrintedPaths()) {
        fs::remove(path.ToStdString());
    }
}
