// Many files at once: one wait for the whole burst, and no file held back by another.
#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include <wx/utils.h>

#include "SftpTestSupport.h"
#include "app/WorkerEvents.h"
#include "pickup/sftp/RestWatch.h"
#include "pickup/sftp/SftpThread.h"

namespace fs = std::filesystem;

using SftpBurst = SftpTest;

TEST_F(SftpBurst, FilesAtRestAreNotHeldBackByAGrowingOne) {
    EventRecorder recorder;
    SftpThread* worker = StartWorker(recorder);
    ASSERT_TRUE(PumpUntil([&] { return recorder.Count(wxEVT_SFTP_CONNECTED) == 1; }));

    const std::string chunk(1000, 'g');
    const std::string growing = PlaceFile("growing.pdf", chunk);
    const std::vector<std::string> resting{"a.pdf", "b.pdf", "c.pdf"};
    for (const auto& name : resting) {
        PlaceFile(name, "resting " + name);
    }
    // The upload goes on until every resting file has been handed over, so those cannot
    // have waited for it; it then grows a little more and stops.
    std::atomic<bool> restingDone{false};
    std::atomic<bool> uploadDone{false};
    size_t appended = 0;
    std::thread uploader([&] {
        int after = 0;
        for (int i = 0; i < 600 && after < 5; ++i) {
            wxMilliSleep(100);
            std::ofstream(growing, std::ios::binary | std::ios::app) << chunk;
            ++appended;
            after += restingDone ? 1 : 0;
        }
        uploadDone = true;
    });
    bool growingTakenEarly = false;
    size_t restingPrinted = 0;
    recorder.onEvent = [&](const Recorded& event) {
        if (event.type != wxEVT_PRINT_FILE) {
            return;
        }
        if (event.text == "growing.pdf") {
            growingTakenEarly = !uploadDone;
        } else if (++restingPrinted == resting.size()) {
            restingDone = true;
        }
    };
    const bool allPrinted = PumpUntil([&] { return recorder.Count(wxEVT_PRINT_FILE) == 4; });
    restingDone = true;
    uploader.join();
    ASSERT_TRUE(allPrinted);
    StopAndWaitFinished(worker, recorder);

    EXPECT_FALSE(growingTakenEarly);
    const auto printed = TakePrinted(recorder);
    ASSERT_EQ(printed.size(), 4u);
    for (const auto& name : resting) {
        ASSERT_EQ(printed.count(name), 1u) << name;
        EXPECT_EQ(printed.find(name)->second, "resting " + name);
    }
    ASSERT_EQ(printed.count("growing.pdf"), 1u);
    EXPECT_EQ(printed.find("growing.pdf")->second.size(), (appended + 1) * chunk.size());
    EXPECT_TRUE(ServerFiles().empty());
}

TEST_F(SftpBurst, BurstLargerThanTheOpenLimitIsHandedOverOnceEach) {
    const size_t count = RestWatch::kMaxOpen * 2 + 3;
    std::map<std::string, std::string> placed;
    for (size_t i = 0; i < count; ++i) {
        const std::string name = "burst-" + std::to_string(i) + ".pdf";
        placed[name] = "document " + std::to_string(i) + " " +
                       RandomBytes(i * 97, static_cast<unsigned>(i + 1));
        PlaceFile(name, placed[name]);
    }
    EventRecorder recorder;
    SftpThread* worker = StartWorker(recorder);
    ASSERT_TRUE(PumpUntil([&] { return recorder.Count(wxEVT_PRINT_FILE) >= count; }));
    PumpFor(std::chrono::milliseconds(1000));  // nothing more may come
    StopAndWaitFinished(worker, recorder);

    const auto printed = TakePrinted(recorder);
    EXPECT_EQ(printed.size(), count);
    for (const auto& [name, content] : placed) {
        ASSERT_EQ(printed.count(name), 1u) << name;
        EXPECT_TRUE(printed.find(name)->second == content) << name;
    }
    EXPECT_TRUE(ServerFiles().empty());
    EXPECT_EQ(recorder.Count(wxEVT_SFTP_ERROR), 0u);
}
