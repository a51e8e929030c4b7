// Which files the worker takes from the pickup directory, when, and in what order it
// reports them.
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include <wx/utils.h>

#include "SftpTestSupport.h"
#include "app/WorkerEvents.h"
#include "pickup/SftpThread.h"

namespace fs = std::filesystem;

namespace {
using Sequence = std::vector<std::string>;
}

class SftpPickup : public SftpTest {
protected:
    // The contents of the handed-over files, by content; each temporary file is removed,
    // as the print job would.
    std::multiset<std::string> TakePrinted(const EventRecorder& recorder) {
        std::multiset<std::string> contents;
        for (const auto& path : recorder.PrintedPaths()) {
            contents.insert(ReadAll(path.ToStdString()));
            fs::remove(path.ToStdString());
        }
        return contents;
    }
};

TEST_F(SftpPickup, FilesOfOneListingAreHandledOneAfterTheOther) {
    PlaceFile("first.pdf", "first document");
    PlaceFile("second.pdf", "second document");
    EventRecorder recorder;
    SftpThread* worker = StartWorker(recorder);
    ASSERT_TRUE(PumpUntil([&] { return recorder.Count(wxEVT_PRINT_FILE) == 2; }));
    StopAndWaitFinished(worker, recorder);

    // Both wait for rest together; then each is copied and handed over in turn.
    EXPECT_EQ(recorder.Sequence(),
              (Sequence{"SFTP connected", "Waiting for file", "Waiting for file", "Downloading",
                        "PRINT", "Downloading", "PRINT", "SFTP thread finished"}));
    EXPECT_EQ(recorder.Count(wxEVT_SFTP_ERROR), 0u);
    // Removed on the server before it was handed over; complete and closed when it was.
    EXPECT_TRUE(ServerFiles().empty());
    EXPECT_EQ(TakePrinted(recorder),
              (std::multiset<std::string>{"first document", "second document"}));
    EXPECT_TRUE(Downloads().empty());
}

TEST_F(SftpPickup, GrowingFileIsTakenOnlyOnceItRests) {
    EventRecorder recorder;
    SftpThread* worker = StartWorker(recorder);
    ASSERT_TRUE(PumpUntil([&] { return recorder.Count(wxEVT_SFTP_CONNECTED) == 1; }));

    const std::string chunk(1000, 'g');
    const std::string path = PlaceFile("growing.pdf", chunk);
    std::atomic<bool> uploadDone{false};
    std::thread uploader([&] {
        // Longer than several half-second readings; each reading sees a new size.
        for (int i = 0; i < 15; ++i) {
            wxMilliSleep(200);
            std::ofstream out(path, std::ios::binary | std::ios::app);
            out << chunk;
        }
        uploadDone = true;
    });
    bool takenEarly = false;
    recorder.onEvent = [&](const Recorded& event) {
        if (event.type == wxEVT_PRINT_FILE && !uploadDone) {
            takenEarly = true;
        }
    };
    const bool printed = PumpUntil([&] { return recorder.Count(wxEVT_PRINT_FILE) == 1; });
    uploader.join();
    ASSERT_TRUE(printed);
    StopAndWaitFinished(worker, recorder);

    EXPECT_FALSE(takenEarly);
    EXPECT_EQ(TakePrinted(recorder), (std::multiset<std::string>{std::string(16 * 1000, 'g')}));
    EXPECT_TRUE(ServerFiles().empty());
}

TEST_F(SftpPickup, PickupDirectoryUnderTheAccountNameIsUsedWhenTheFirstIsMissing) {
    fs::remove_all(Server().PickupDir());
    const std::string accountDir = Server().Home() + "/" + Server().User();
    const std::string pickup = accountDir + "/.teskprinting";
    fs::create_directories(pickup);
    ChownToAccount(accountDir);
    ChownToAccount(pickup);
    PlaceFile("nested.pdf", "nested document", pickup);

    EventRecorder recorder;
    SftpThread* worker = StartWorker(recorder);
    ASSERT_TRUE(PumpUntil([&] { return recorder.Count(wxEVT_PRINT_FILE) == 1; }));
    StopAndWaitFinished(worker, recorder);

    EXPECT_EQ(TakePrinted(recorder), (std::multiset<std::string>{"nested document"}));
    EXPECT_TRUE(ServerFiles(pickup).empty());
}

TEST_F(SftpPickup, OnlyRegularFilesAreOpened) {
    const std::string fifo = Server().PickupDir() + "/pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
    ChownToAccount(fifo);
    const std::string dir = Server().PickupDir() + "/folder";
    fs::create_directory(dir);
    ChownToAccount(dir);
    PlaceFile("folder/inside.pdf", "inside a folder");
    PlaceFile("plain.pdf", "plain document");

    EventRecorder recorder;
    SftpThread* worker = StartWorker(recorder);
    ASSERT_TRUE(PumpUntil([&] { return recorder.Count(wxEVT_PRINT_FILE) == 1; }));
    // A few more polls over the pipe and the folder.
    PumpFor(std::chrono::milliseconds(1500));
    // Opening the pipe would have blocked the session for good: the stop still works.
    StopAndWaitFinished(worker, recorder);

    EXPECT_EQ(recorder.Sequence(), (Sequence{"SFTP connected", "Waiting for file", "Downloading",
                                             "PRINT", "SFTP thread finished"}));
    EXPECT_EQ(TakePrinted(recorder), (std::multiset<std::string>{"plain document"}));
    EXPECT_EQ(ServerFiles(), (Sequence{"folder", "pipe"}));
    EXPECT_EQ(ServerFiles(dir), (Sequence{"inside.pdf"}));
}

TEST_F(SftpPickup, FileThatCannotBeRemovedIsHandedOverOnceWhileUnchanged) {
    const std::string path = PlaceFile("stuck.pdf", "stuck document");
    // The account may read the directory but not change it.
    fs::permissions(Server().PickupDir(), fs::perms(0555));

    EventRecorder recorder;
    SftpThread* worker = StartWorker(recorder);
    ASSERT_TRUE(PumpUntil([&] { return recorder.Count(wxEVT_PRINT_FILE) == 1; }));
    PumpFor(std::chrono::seconds(2));  // some twenty polls
    EXPECT_EQ(recorder.Count(wxEVT_PRINT_FILE), 1u);
    EXPECT_EQ(recorder.Count(wxEVT_SFTP_STATUS), 2u);
    EXPECT_EQ(ServerFiles(), (Sequence{"stuck.pdf"}));

    // A new upload under the same name is a new document.
    {
        std::ofstream out(path, std::ios::binary | std::ios::app);
        out << " revised";
    }
    ASSERT_TRUE(PumpUntil([&] { return recorder.Count(wxEVT_PRINT_FILE) == 2; }));
    PumpFor(std::chrono::seconds(1));
    StopAndWaitFinished(worker, recorder);
    fs::permissions(Server().PickupDir(), fs::perms(0755));

    EXPECT_EQ(recorder.Count(wxEVT_PRINT_FILE), 2u);
    EXPECT_EQ(recorder.Count(wxEVT_SFTP_ERROR), 0u);
    EXPECT_EQ(TakePrinted(recorder),
              (std::multiset<std::string>{"stuck document", "stuck document revised"}));
}
