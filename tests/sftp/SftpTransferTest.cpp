// What arrives on the local disk, and what happens to a copy that cannot be completed.
#include <filesystem>
#include <fstream>
#include <map>

#include "SftpTestSupport.h"
#include "app/EventSink.h"
#include "app/WorkerEvents.h"
#include "pickup/RemoteCopy.h"
#include "pickup/SftpThread.h"

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

// The transfer table, against sshd as it is and against sshd whose SFTP server answers
// reads in swapped pairs (SFTP lets a server answer in any order).
class SftpTransferTable : public SftpTransfer, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        swapReplies = GetParam();
        SftpTransfer::SetUp();
    }
};

INSTANTIATE_TEST_SUITE_P(Servers, SftpTransferTable, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "RepliesSwapped" : "InOrder";
                         });

TEST_P(SftpTransferTable, CopiesAreByteIdenticalAroundTheChunkSize) {
    // Sizes around the 16384-byte request, around a full set of requests in flight, an
    // empty file and several MiB.
    constexpr size_t kRequest = RemoteCopy::kRequestSize;
    constexpr size_t kWindow = kRequest * RemoteCopy::kDefaultDepth;
    std::map<size_t, std::string> originals;
    unsigned seed = 1;
    for (const size_t size :
         {size_t(0), size_t(1), kRequest - 1, kRequest, kRequest + 1, kWindow - 1, kWindow,
          kWindow + 1, 2 * kWindow + 1, size_t(5 * 1024 * 1024 + 7)}) {
        originals[size] = RandomBytes(size, seed++);
        PlaceFile("doc" + std::to_string(size) + ".pdf", originals[size]);
    }

    EventRecorder recorder;
    SftpThread* worker = StartWorker(recorder);
    ASSERT_TRUE(PumpUntil([&] { return recorder.Count(wxEVT_PRINT_FILE) == originals.size(); }));
    StopAndWaitFinished(worker, recorder);

    std::map<size_t, std::string> copies;
    for (const auto& path : recorder.PrintedPaths()) {
        const std::string content = ReadAll(path.ToStdString());
        EXPECT_EQ(copies.count(content.size()), 0u) << "two copies of " << content.size();
        copies[content.size()] = content;
        fs::remove(path.ToStdString());
    }
    ASSERT_EQ(copies.size(), originals.size());
    for (const auto& [size, original] : originals) {
        ASSERT_EQ(copies.count(size), 1u) << size;
        EXPECT_TRUE(copies[size] == original) << "copy of " << size << " bytes differs";
    }
    EXPECT_TRUE(ServerFiles().empty());
    EXPECT_TRUE(Downloads().empty());
    EXPECT_EQ(Server().SwappedReplies(), swapReplies);
}

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
    EXPECT_EQ(recorder.Count(wxEVT_SFTP_ERROR), 0u);
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
    // A directory that exists (the toolkit falls back to /tmp for a missing one) where
    // nobody, not even root, can create a file.
    setenv("TMPDIR", "/proc/self", 1);
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
