// When an idle poll lists the pickup folder and when one request for its time is enough.
#include <functional>
#include <map>

#include <gtest/gtest.h>

#include "pickup/sftp/ListingGate.h"

namespace {

using namespace std::chrono_literals;

const std::string kFirst = ".teskprinting/";
const std::string kSecond = "user/.teskprinting/";

// A server's folders and a clock the test moves; polls run every 100 ms as the worker's do.
class IdlePoll : public ::testing::Test {
protected:
    struct Folder {
        std::optional<std::uint64_t> mtime;
        std::vector<std::string> names;
    };

    // One poll; lists as the worker does (first form first) when the gate says so.
    bool Poll() {
        const bool lists = gate.MustList([this](const std::string& path) {
            ++stats;
            const auto folder = folders.find(path);
            const ListingGate::Folder answer =
                folder == folders.end() ? ListingGate::Folder{}
                                        : ListingGate::Folder{true, folder->second.mtime};
            if (afterStat) {
                afterStat();
            }
            return answer;
        });
        if (lists) {
            const std::string& path = folders.count(kFirst) != 0 ? kFirst : kSecond;
            gate.Listed(path, folders[path].names);
        }
        now += 100ms;
        return lists;
    }
    // Polls for `span`; the number of them that listed.
    int PollFor(ListingGate::Clock::duration span) {
        int listed = 0;
        for (const auto end = now + span; now < end;) {
            listed += Poll() ? 1 : 0;
        }
        return listed;
    }

    ListingGate::Clock::time_point now{1000s};
    ListingGate gate{{kFirst, kSecond}, [this] { return now; }};
    std::map<std::string, Folder> folders{{kFirst, Folder{100, {}}}};
    int stats = 0;
    // Changes the folder between a request for its time and the listing.
    std::function<void()> afterStat;
};

}  // namespace

TEST_F(IdlePoll, IdleFolderIsListedForTwoSecondsAfterANewTimeThenEveryTenSeconds) {
    EXPECT_GE(PollFor(2500ms), 20);
    EXPECT_EQ(PollFor(30s), 3);
    // A new time is listed at once, and again in every poll of the next two seconds.
    folders[kFirst].mtime = 101;
    EXPECT_TRUE(Poll());
    EXPECT_EQ(PollFor(1900ms), 19);
    PollFor(500ms);
    EXPECT_FALSE(Poll());
}

TEST_F(IdlePoll, FileOfTheSameSecondIsFoundAndTheServerIsTrustedStill) {
    PollFor(60s);
    folders[kFirst] = Folder{160, {"a.pdf"}};
    EXPECT_TRUE(Poll());
    folders[kFirst].names.clear();
    PollFor(300ms);
    // Placed within the same second: the time shows no change.
    folders[kFirst].names = {"b.pdf"};
    EXPECT_TRUE(Poll());
    folders[kFirst].names.clear();
    PollFor(3s);
    EXPECT_FALSE(gate.ListsEveryPoll());
    EXPECT_FALSE(Poll());
}

TEST_F(IdlePoll, FileArrivingBetweenTheTimeAndTheListingIsNoSignOfAStillTime) {
    PollFor(3s);
    afterStat = [this] {
        // The poll of the safety net.
        if (now == ListingGate::Clock::time_point{1012100ms}) {
            folders[kFirst] = Folder{105, {"late.pdf"}};
        }
    };
    PollFor(10s);
    folders[kFirst].names.clear();
    PollFor(1s);
    EXPECT_FALSE(gate.ListsEveryPoll());
}

TEST_F(IdlePoll, FilesStillListedAreListedAgainWithoutAskingForTheTime) {
    PollFor(3s);
    folders[kFirst] = Folder{101, {"locked.pdf"}};
    const int statsBefore = stats;
    EXPECT_EQ(PollFor(5s), 50);
    EXPECT_EQ(stats, statsBefore + 1);
}

TEST_F(IdlePoll, ServerWithoutFolderTimesIsListedOnEveryPoll) {
    folders[kFirst].mtime.reset();
    EXPECT_EQ(PollFor(5s), 50);
    EXPECT_TRUE(gate.ListsEveryPoll());
}
