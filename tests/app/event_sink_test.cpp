// The hand-over between worker threads and a closing receiver.
#include <chrono>
#include <future>
#include <thread>

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/event.h>

#include "app/EventSink.h"

namespace {

using namespace std::chrono_literals;

class Receiver : public wxEvtHandler {
public:
    Receiver() {
        Bind(wxEVT_THREAD, [this](wxThreadEvent&) { ++delivered; });
        OpenEventSink(this);
    }
    ~Receiver() override { CloseEventSink(this, 0ms); }

    int delivered = 0;
};

// A worker inside WithOpenSink that stays there until told to queue its event and leave.
class HandOverInProgress {
public:
    explicit HandOverInProgress(Receiver& receiver)
        : worker_([this, &receiver] {
              ran_ = WithOpenSink(&receiver, [&] {
                  entered_.set_value();
                  release_.get_future().wait();
                  QueueThreadEvent(&receiver, wxEVT_THREAD, 0);
              });
          }) {
        entered_.get_future().wait();
    }
    ~HandOverInProgress() { Finish(); }

    void Release() {
        if (!released_) {
            released_ = true;
            release_.set_value();
        }
    }

    bool Finish() {
        Release();
        if (worker_.joinable()) {
            worker_.join();
        }
        return ran_;
    }

private:
    std::promise<void> entered_;
    std::promise<void> release_;
    bool released_ = false;
    bool ran_ = false;
    std::thread worker_;
};

}  // namespace

TEST(EventSink, HandOversNestOnOneThread) {
    Receiver receiver;
    bool innerRan = false;
    EXPECT_TRUE(WithOpenSink(&receiver, [&] {
        EXPECT_TRUE(WithOpenSink(&receiver, [&] { innerRan = true; }));
        // Closing from inside a hand-over does not wait for itself.
        EXPECT_TRUE(CloseEventSink(&receiver, 0ms));
        EXPECT_FALSE(WithOpenSink(&receiver, [] { ADD_FAILURE() << "ran on a closed sink"; }));
    }));
    EXPECT_TRUE(innerRan);
    // Fully released: another thread gets in at once.
    OpenEventSink(&receiver);
    std::thread other([&] { EXPECT_TRUE(WithOpenSink(&receiver, [] {})); });
    other.join();
}

TEST(EventSink, CloseWaitsForAHandOverInProgressAndItsEventArrives) {
    Receiver receiver;
    HandOverInProgress handOver(receiver);
    std::thread releaser([&] { handOver.Release(); });
    EXPECT_TRUE(CloseEventSink(&receiver, 60s));
    releaser.join();
    EXPECT_TRUE(handOver.Finish());
    wxTheApp->ProcessPendingEvents();
    EXPECT_EQ(receiver.delivered, 1);
}

TEST(EventSink, CloseGivesUpAfterItsWaitAndLaterEventsAreDropped) {
    Receiver receiver;
    HandOverInProgress handOver(receiver);
    EXPECT_FALSE(CloseEventSink(&receiver, 10ms));
    EXPECT_FALSE(IsEventSinkOpen(&receiver));
    EXPECT_TRUE(handOver.Finish());
    wxTheApp->ProcessPendingEvents();
    EXPECT_EQ(receiver.delivered, 0);
    EXPECT_FALSE(WithOpenSink(&receiver, [] { ADD_FAILURE() << "ran on a closed sink"; }));
}
