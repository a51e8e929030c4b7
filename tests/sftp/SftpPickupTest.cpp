// Which files the worker takes from the pickup directory, when, and in what order it
// reports them.
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include <wx/utils.h>

#include "SftpTestSupport.h"
#include "app/WorkerEvents.h"
#include "pickup/outbox/Outbox.h"
#include "pickup/sftp/SftpThread.h"

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

    // Cleared away by someone else (seen gone: a document placed after it is taken), then
    // the first document sent again: printed again.
    fs::remove(path);
    PlaceFile("after.pdf", "after document");
    ASSERT_TRUE(PumpUntil([&] { return recorder.Count(wxEVT_PRINT_FILE) == 3; }));
    PlaceFile("stuck.pdf", "stuck document");
    ASSERT_TRUE(PumpUntil([&] { return recorder.Count(wxEVT_PRINT_FILE) == 4; }));
    PumpFor(std::chrono::seconds(1));
    StopAndWaitFinished(worker, recorder);
    fs::permissions(Server().PickupDir(), fs::perms(0755));

    EXPECT_EQ(recorder.Count(wxEVT_PRINT_FILE), 4u);
    EXPECT_EQ(recorder.Count(wxEVT_SFTP_ERROR), 0u);
    EXPECT_EQ(TakePrinted(recorder),
              (std::multiset<std::string>{"stuck document", "stuck document revised",
                                          "after document", "stuck document"}));
}

// The oldest modification time goes first, then the name; not the server's order. A file
// of the same time that the first listing missed ("ab.pdf", placed as soon as the worker
// opens the others) still takes its place.
TEST_F(SftpPickup, FilesAreTakenOldestFirstThenByNameThoughListedInPart) {
    const struct {
        const char* name;
        int age;  // seconds
    } placed[] = {{"c.pdf", 30}, {"a.pdf", 10}, {"b.pdf", 10}, {"0.pdf", 0}, {"d.pdf", 20}};
    const auto now = fs::file_time_type::clock::now();
    for (const auto& file : placed) {
        fs::last_write_time(PlaceFile(file.name, file.name), now - std::chrono::seconds(file.age));
    }
    EventRecorder recorder;
    bool late = false;
    recorder.onEvent = [&](const Recorded& event) {
        if (event.text == "Waiting for file" && !late) {
            late = true;
            fs::last_write_time(PlaceFile("ab.pdf", "ab.pdf"), now - std::chrono::seconds(10));
        }
    };
    SftpThread* worker = StartWorker(recorder);
    ASSERT_TRUE(PumpUntil([&] { return recorder.Count(wxEVT_PRINT_FILE) == 6; }));
    StopAndWaitFinished(worker, recorder);

    Sequence order;
    for (const auto& event : recorder.events) {
        if (event.type == wxEVT_PRINT_FILE) {
            order.push_back(event.text);
        }
    }
    EXPECT_EQ(order, (Sequence{"c.pdf", "d.pdf", "a.pdf", "ab.pdf", "b.pdf", "0.pdf"}));
    TakePrinted(recorder);
}

// What an earlier run left in the outbox is finished at the next Connect, before any new
// document, by where it stood.
TEST_F(SftpPickup, AnEarlierRunsDocumentsAreFinishedBeforeNewOnes) {
    enum class Server { None, Same, Changed };
    const struct Case {
        const char* name;
        OutboxStage stage;
        bool kept;
        Server server;
        int earlier;  // hand-overs of the local copy
        int taken;    // hand-overs of the server's file
    } cases[] = {
        {"copied-still-there.pdf", OutboxStage::Copied, false, Server::Same, 0, 1},
        {"copied-gone.pdf", OutboxStage::Copied, false, Server::None, 1, 0},
        {"copied-replaced.pdf", OutboxStage::Copied, false, Server::Changed, 1, 1},
        {"removed.pdf", OutboxStage::Removed, false, Server::None, 1, 0},
        {"given.pdf", OutboxStage::Given, false, Server::None, 1, 0},
        {"done-kept.pdf", OutboxStage::Done, true, Server::Same, 0, 0},
    };
    int id = 0;
    for (const Case& c : cases) {
        const std::string local = std::string("earlier copy of ") + c.name;
        OutboxRecord record{c.name, local.size(), 0, c.stage, c.kept};
        if (c.server != Server::None) {
            const std::string path =
                PlaceFile(c.name, c.server == Server::Same ? local : "a new document");
            struct stat info {};
            ASSERT_EQ(stat(path.c_str(), &info), 0);
            record.mtime = static_cast<std::uint32_t>(info.st_mtime);
        }
        const std::string base = DownloadDir() + "/000000000000" + std::to_string(++id) + "-1-1";
        if (c.stage != OutboxStage::Done) {
            std::ofstream(base + ".copy") << local;
        }
        std::ofstream(base + ".rec") << FormatOutboxRecord(record);
    }
    std::ofstream(DownloadDir() + "/0000000000009-1-1.copy") << "partial";
    PlaceFile("new.pdf", "a new document");

    EventRecorder recorder;
    SftpThread* worker = StartWorker(recorder);
    ASSERT_TRUE(PumpUntil([&] { return recorder.Count(wxEVT_PRINT_FILE) == 7; }));
    PumpFor(std::chrono::seconds(1));
    StopAndWaitFinished(worker, recorder);

    bool newSeen = false;
    for (const auto& event : recorder.events) {
        if (event.type != wxEVT_PRINT_FILE) {
            continue;
        }
        EXPECT_FALSE(event.earlier && newSeen) << event.text << ": after a new document";
        newSeen = newSeen || !event.earlier;
    }
    for (const Case& c : cases) {
        const auto count = [&](bool earlier) {
            return std::count_if(recorder.events.begin(), recorder.events.end(), [&](auto& e) {
                return e.type == wxEVT_PRINT_FILE && e.text == c.name && e.earlier == earlier;
            });
        };
        EXPECT_EQ(count(true), c.earlier) << c.name;
        EXPECT_EQ(count(false), c.taken) << c.name;
    }
    EXPECT_EQ(ServerFiles(), (Sequence{"done-kept.pdf"}));
    EXPECT_FALSE(fs::exists(DownloadDir() + "/0000000000009-1-1.copy"));
    EXPECT_FALSE(fs::exists(DownloadDir() + "/0000000000001-1-1.copy"));
    TakePrinted(recorder);
}

// How the worker finds new files while idle, told by the requests the server logged: it asks
// for the pickup folder's time and lists only when something may have arrived.
class SftpIdlePoll : public SftpPickup {
protected:
    void SetUp() override {
        SftpPickup::SetUp();
        begin = LogMark();
    }
    // The worker's requests logged since `from` (a length of the log): "stat1"/"stat2" and
    // "list1"/"list2" for the first and second form of the pickup path, "open PATH".
    std::vector<std::string> Requests(size_t from = 0) const {
        const std::string second = Server().User() + "/.teskprinting/";
        std::vector<std::string> requests;
        std::istringstream lines(Server().RequestLog().substr(from));
        for (std::string line; std::getline(lines, line);) {
            for (const auto& [prefix, kind] :
                 {std::pair{"stat name \"", "stat"}, {"opendir \"", "list"}}) {
                // Only the folder's own: the worker also looks a file up before removing it.
                if (line.rfind(prefix, 0) == 0) {
                    const std::string rest = line.substr(strlen(prefix));
                    const std::string path = rest.substr(0, rest.find('"'));
                    if (path == ".teskprinting/" || path == second) {
                        requests.push_back(kind + std::string(path == second ? "2" : "1"));
                    }
                }
            }
            if (line.rfind("open \"", 0) == 0) {
                requests.push_back("open " + line.substr(6, line.find('"', 6) - 6));
            }
        }
        return requests;
    }
    size_t LogMark() const { return Server().RequestLog().size(); }
    // Waits until a poll of the worker asked for the folder's time and did not list.
    void WaitUntilIdle(const std::string& stat) {
        ASSERT_TRUE(PumpUntil([&] {
            const auto requests = Requests(begin);
            return std::adjacent_find(requests.begin(), requests.end(), [&](auto& a, auto& b) {
                       return a == stat && b == stat;
                   }) != requests.end();
        }));
    }
    // The requests before the opening of `path`, of one kind.
    static long CountBefore(const std::vector<std::string>& requests, const std::string& kind,
                            const std::string& path) {
        const auto opened = std::find(requests.begin(), requests.end(), "open " + path);
        EXPECT_NE(opened, requests.end()) << path << " was not opened";
        return std::count(requests.begin(), opened, kind);
    }
    // Places a file while the server's session is held, and sets the folder's time back, so
    // the worker never sees the folder time move; returns the log's length at the placing.
    size_t PlaceHeldStill(const std::string& name) {
        const std::vector<int> sessions = Server().Sessions();
        for (const int pid : sessions) {
            kill(pid, SIGSTOP);
        }
        const size_t placed = LogMark();
        const auto time = fs::last_write_time(Server().PickupDir());
        PlaceFile(name, "document " + name);
        fs::last_write_time(Server().PickupDir(), time);
        for (const int pid : sessions) {
            kill(pid, SIGCONT);
        }
        return placed;
    }

    size_t begin = 0;
};

TEST_F(SftpIdlePoll, ServerWhoseFolderTimeStandsStillIsListedOnEveryPollOnceItShows) {
    EventRecorder recorder;
    SftpThread* worker = StartWorker(recorder);
    WaitUntilIdle("stat1");
    const size_t placedFirst = PlaceHeldStill("held-1.pdf");
    // Found by the safety net's listing.
    ASSERT_TRUE(PumpUntil([&] { return recorder.Count(wxEVT_PRINT_FILE) == 1; }));
    const size_t placedSecond = PlaceHeldStill("held-2.pdf");
    ASSERT_TRUE(PumpUntil([&] { return recorder.Count(wxEVT_PRINT_FILE) == 2; }));
    StopAndWaitFinished(worker, recorder);

    const auto first = Requests(placedFirst);
    EXPECT_GE(CountBefore(first, "stat1", ".teskprinting/held-1.pdf"), 1);
    EXPECT_EQ(CountBefore(first, "list1", ".teskprinting/held-1.pdf"), 1);
    // Once the time is seen unchanged again, every poll lists without asking for it: the
    // second is found by the first or second listing after it was placed.
    const auto found = std::find(first.begin(), first.end(), "open .teskprinting/held-1.pdf");
    EXPECT_LE(std::count(found, first.end(), "stat1"), 1);
    EXPECT_LE(CountBefore(Requests(placedSecond), "list1", ".teskprinting/held-2.pdf"), 2);
    EXPECT_EQ(TakePrinted(recorder),
              (std::multiset<std::string>{"document held-1.pdf", "document held-2.pdf"}));
}

TEST_F(SftpIdlePoll, TwoFilesOfTheSameSecondAfterAnIdleMinuteAreBothFoundAtOnce) {
    // Last changed a minute ago, as after an idle minute.
    fs::last_write_time(Server().PickupDir(),
                        fs::last_write_time(Server().PickupDir()) - std::chrono::seconds(60));
    EventRecorder recorder;
    SftpThread* worker = StartWorker(recorder);
    WaitUntilIdle("stat1");
    // Early in a second, so that both land in it.
    PumpUntil([] {
        const auto now = std::chrono::system_clock::now().time_since_epoch();
        return now % std::chrono::seconds(1) < std::chrono::milliseconds(100);
    });
    PlaceFile("first.pdf", "first document");
    PumpFor(std::chrono::milliseconds(300));
    const size_t placedSecond = LogMark();
    PlaceFile("second.pdf", "second document");
    ASSERT_TRUE(PumpUntil([&] { return recorder.Count(wxEVT_PRINT_FILE) == 2; }));
    StopAndWaitFinished(worker, recorder);

    // Found by the first or second listing after it was placed, no poll without listing.
    const auto requests = Requests(placedSecond);
    EXPECT_LE(CountBefore(requests, "list1", ".teskprinting/second.pdf"), 2);
    EXPECT_LE(CountBefore(requests, "stat1", ".teskprinting/second.pdf"), 1);
    EXPECT_EQ(TakePrinted(recorder),
              (std::multiset<std::string>{"first document", "second document"}));
}

TEST_F(SftpIdlePoll, FirstFormAppearingWhileTheSecondIsUsedIsFoundWithinASecond) {
    fs::remove_all(Server().PickupDir());
    const std::string accountDir = Server().Home() + "/" + Server().User();
    fs::create_directories(accountDir + "/.teskprinting");
    ChownToAccount(accountDir);
    ChownToAccount(accountDir + "/.teskprinting");
    EventRecorder recorder;
    SftpThread* worker = StartWorker(recorder);
    WaitUntilIdle("stat2");

    // The folder appears with a file in it.
    const std::string staging = Server().Home() + "/.staging-folder";
    fs::create_directory(staging);
    ChownToAccount(staging);
    PlaceFile("first-form.pdf", "first form document", staging);
    const size_t appeared = LogMark();
    fs::rename(staging, Server().PickupDir());
    ASSERT_TRUE(PumpUntil([&] { return recorder.Count(wxEVT_PRINT_FILE) == 1; }));
    StopAndWaitFinished(worker, recorder);

    // Polls go at most ten a second; one more may have been under way.
    EXPECT_LE(CountBefore(Requests(appeared), "stat2", ".teskprinting/first-form.pdf"), 11);
    EXPECT_EQ(TakePrinted(recorder), (std::multiset<std::string>{"first form document"}));
}

namespace {

// A server that leaves things out or never ends, and what the worker makes of it.
struct HostileRow {
    const char* name;
    // Words of the test server's reply filter.
    const char* modes;
    // The one document in the pickup folder is printed (and removed), or left alone.
    bool printed;
    // A line the diagnostic log must hold; empty for none.
    const char* logged;
    // The run ends with this error; empty: it runs on until stopped.
    const char* error;
};

}  // namespace

namespace {
void PrintTo(const HostileRow& row, std::ostream* out) {
    *out << row.name;
}
}  // namespace

class SftpHostileServer : public SftpPickup, public testing::WithParamInterface<HostileRow> {
protected:
    void SetUp() override {
        swapReplies = true;
        SftpPickup::SetUp();
        Server().SetHostile(GetParam().modes);
        log = std::make_unique<ScopedEnv>("CORVANE_PRINT_SPOOLER_LOG",
                                          (scratch + "/log.txt").c_str());
    }
    void TearDown() override {
        log.reset();
        Server().SetHostile("");
        SftpPickup::TearDown();
    }

    std::unique_ptr<ScopedEnv> log;
};

TEST_P(SftpHostileServer, WhatTheServerLeavesOutIsNeverGuessed) {
    const HostileRow& row = GetParam();
    PlaceFile("document.pdf", "%PDF-1.4 document\n%%EOF\n");
    EventRecorder recorder;
    SftpThread* worker = StartWorker(recorder);
    const std::string logged = row.logged;
    ASSERT_TRUE(PumpUntil([&] {
        return recorder.Count(wxEVT_SFTP_FINISHED) == 1 ||
               (row.printed ? recorder.Count(wxEVT_PRINT_FILE) == 1
                            : !logged.empty() &&
                                  ReadAll(scratch + "/log.txt").find(logged) != std::string::npos);
    }));
    if (!row.printed) {
        // Time for the rest wait and a take, had the file been taken.
        PumpFor(std::chrono::milliseconds(2500));
    }
    // A stop is noticed inside a listing that never ends, too.
    StopAndWaitFinished(worker, recorder);

    const std::string error = row.error;
    const Sequence events = recorder.Sequence();
    EXPECT_EQ(recorder.Count(wxEVT_SFTP_ERROR), error.empty() ? 0u : 1u);
    if (!error.empty()) {
        EXPECT_NE(std::find(events.begin(), events.end(), "ERROR " + error), events.end());
    }
    EXPECT_EQ(recorder.Count(wxEVT_PRINT_FILE), row.printed ? 1u : 0u);
    EXPECT_EQ(ServerFiles(),
              row.printed ? std::vector<std::string>{} : std::vector<std::string>{"document.pdf"});
    if (!logged.empty()) {
        EXPECT_NE(ReadAll(scratch + "/log.txt").find(logged), std::string::npos)
            << ReadAll(scratch + "/log.txt");
    }
    TakePrinted(recorder);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, SftpHostileServer,
    testing::Values(
        HostileRow{"noSize", "no-size", false,
                   "skipped \"document.pdf\" in the pickup folder: the server gives no size", ""},
        HostileRow{"noPermissionsInListings", "no-perms", true, "", ""},
        HostileRow{"noPermissionsAtAll", "no-perms-at-all", false,
                   "skipped \"document.pdf\" in the pickup folder: the server gives no file type",
                   ""},
        HostileRow{"nameOver1024Bytes", "long-name", true,
                   "in the pickup folder: name longer than 1024 bytes", ""},
        HostileRow{"listingWithoutEnd", "endless", true, "", ""},
        // Data that is no answer keeps no wait alive: the link is cut at the bound.
        HostileRow{"strayDataButNoAnswer", "trickle", false, "", "PRINTER connection failed"}),
    [](const testing::TestParamInfo<HostileRow>& info) { return std::string(info.param.name); });
