// The printer list against a private CUPS scheduler.
#include <cups/cups.h>
#include <stdlib.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/WorkerThreads.h"
#include "child_signals.h"
#include "pickup/printing/Printers.h"
#include "support/AppUnderTest.h"
#include "support/CupsFixture.h"
#include "support/TestHelpers.h"
#include "ui/TeskFrame.h"

namespace {

wxArrayString Names(std::initializer_list<const char*> names) {
    wxArrayString array;
    for (const char* name : names) {
        array.Add(name);
    }
    return array;
}

int ConnectTo(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof(address.sun_path), "%s", path.c_str());
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Passes bytes both ways until either side ends; closes `b`.
void Relay(int a, int b) {
    pollfd fds[] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
    char buffer[65536];
    bool open = true;
    while (open && poll(fds, 2, -1) > 0) {
        for (int i = 0; i < 2 && open; ++i) {
            if (fds[i].revents != 0) {
                const ssize_t got = read(fds[i].fd, buffer, sizeof(buffer));
                open = got > 0 && write(fds[1 - i].fd, buffer, got) == got;
            }
        }
    }
    close(b);
}

// A print system that takes connections and never answers: a listening Unix socket that
// nobody accepts on. Closing it resets the connections waiting on it. Told to answer, it
// starts, after a while, to pass its connections on to a real scheduler.
class SilentSocket {
public:
    explicit SilentSocket(const std::string& path) : path(path) {
        fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof(address.sun_path), "%s", path.c_str());
        listening = bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0 &&
                    listen(fd, 16) == 0;
    }
    ~SilentSocket() { Close(); }
    void Close() {
        if (fd >= 0) {
            shutdown(fd, SHUT_RDWR);  // ends a relay's accept
            {
                std::lock_guard<std::mutex> lock(mutex);
                for (const int connection : connections) {
                    shutdown(connection, SHUT_RDWR);
                }
            }
            for (std::thread& thread : relays) {
                thread.join();
            }
            relays.clear();
            close(fd);
            unlink(path.c_str());
            fd = -1;
        }
    }
    void AnswerAfter(std::chrono::seconds delay, const std::string& scheduler) {
        relays.emplace_back([this, delay, scheduler] {
            std::this_thread::sleep_for(delay);
            std::vector<std::thread> threads;
            for (int client; (client = accept4(fd, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
                const int upstream = ConnectTo(scheduler);
                if (upstream < 0) {
                    close(client);
                    continue;
                }
                {
                    std::lock_guard<std::mutex> lock(mutex);
                    connections.push_back(client);
                }
                threads.emplace_back(Relay, client, upstream);
            }
            for (std::thread& thread : threads) {
                thread.join();
            }
            for (const int connection : connections) {
                close(connection);
            }
        });
    }
    bool listening = false;

private:
    std::string path;
    int fd = -1;
    std::vector<std::thread> relays;
    std::mutex mutex;
    std::vector<int> connections;  // the clients' ends, while relayed
};

}  // namespace

// The default is the second queue, so that finding it cannot rest on the order.
TEST(PrinterDiscovery, ListsEveryQueueAndTheDefaultSelectedInTheWindow) {
    PrepareForChildExits(*wxTheApp);
    CupsFixture cups({"Alpha", "Beta"}, "Beta");

    EXPECT_EQ(QueryPrinterNames(), Names({"Alpha", "Beta"}));
    EXPECT_EQ(QueryDefaultPrinterName(), "Beta");

    AppUnderTest subject;
    PrepareForChildExits(subject.app());
    const wxChoice* choice = subject.app().frame->printerChoice;
    ASSERT_EQ(choice->GetCount(), 2u);
    EXPECT_EQ(choice->GetString(0), "Alpha");
    EXPECT_EQ(choice->GetString(1), "Beta");
    EXPECT_EQ(choice->GetSelection(), 1);
    EXPECT_TRUE(choice->IsEnabled());
    EXPECT_EQ(subject.app().frame->GetPrinter(), "Beta");
}

TEST(PrinterDiscovery, WithoutADefaultTheWindowSelectsNothing) {
    PrepareForChildExits(*wxTheApp);
    CupsFixture cups({"Alpha", "Beta"}, "");

    EXPECT_EQ(QueryPrinterNames(), Names({"Alpha", "Beta"}));
    EXPECT_EQ(QueryDefaultPrinterName(), "");

    AppUnderTest subject;
    PrepareForChildExits(subject.app());
    EXPECT_EQ(subject.app().frame->printerChoice->GetSelection(), wxNOT_FOUND);
    EXPECT_FALSE(subject.app().frame->HasPrinter());
}

TEST(PrinterDiscovery, NoSchedulerMeansNoPrinters) {
    cupsSetServer("/nonexistent/corvane-test/cups.sock");
    EXPECT_TRUE(QueryPrinterNames().IsEmpty());
    EXPECT_EQ(QueryDefaultPrinterName(), "");
    cupsSetServer(nullptr);
}

// The window does not wait for a print system that never answers: it comes up with no
// printers, and Connect says so.
TEST(PrinterDiscovery, ASilentPrintSystemCountsAsNoPrinters) {
    std::string directory =
        (std::filesystem::temp_directory_path() / "corvane-silent-XXXXXX").string();
    ASSERT_NE(mkdtemp(directory.data()), nullptr);
    SilentSocket silent(directory + "/cups.sock");
    ASSERT_TRUE(silent.listening);
    {
        const ScopedEnv server("CUPS_SERVER", (directory + "/cups.sock").c_str());
        const ScopedEnv home("HOME", directory.c_str());
        const ScopedEnv serverRoot("CUPS_SERVERROOT", directory.c_str());

        const auto before = std::chrono::steady_clock::now();
        auto subject = std::make_unique<AppUnderTest>();
        // Discovery gives up after 3 s; the silent scheduler would hold it for about a minute.
        // The bound only tells the two apart, far from both.
        EXPECT_LT(std::chrono::duration_cast<std::chrono::seconds>(
                      std::chrono::steady_clock::now() - before)
                      .count(),
                  30);
        PrepareForChildExits(subject->app());
        TeskFrame& frame = *subject->app().frame;
        EXPECT_TRUE(frame.printerChoice->IsEmpty());
        EXPECT_FALSE(frame.printerChoice->IsEnabled());
        // The helper that was given up on is still waiting, and counted.
        EXPECT_GT(LiveWorkerThreads(), 0);

        frame.userIdCtrl->SetValue("someone");
        frame.passwordCtrl->SetValue("secret");
        wxCommandEvent click(wxEVT_BUTTON, ID_CONNECT);
        click.SetEventObject(frame.connectButton);
        frame.connectButton->GetEventHandler()->ProcessEvent(click);
        ASSERT_EQ(subject->messages.size(), 1u);
        EXPECT_EQ(subject->messages[0].text, "No printers found");
        EXPECT_EQ(subject->app().printerThread, nullptr);
        subject.reset();

        // Its answer, when it comes, goes nowhere. It ends before the environment changes.
        silent.Close();
        EXPECT_TRUE(WaitForWorkerThreads(std::chrono::seconds(60)));
    }
    std::filesystem::remove_all(directory);
}

// A print system that answers only after the window has stopped waiting: the list is
// filled when the answer comes, with the default selected.
TEST(PrinterDiscovery, ALateAnswerFillsTheListAndSelectsTheDefault) {
    PrepareForChildExits(*wxTheApp);
    CupsFixture cups({"Alpha", "Beta"}, "Beta");
    std::string directory =
        (std::filesystem::temp_directory_path() / "corvane-late-XXXXXX").string();
    ASSERT_NE(mkdtemp(directory.data()), nullptr);
    SilentSocket late(directory + "/cups.sock");
    ASSERT_TRUE(late.listening);
    late.AnswerAfter(std::chrono::seconds(5), cups.Socket());
    {
        const ScopedEnv server("CUPS_SERVER", (directory + "/cups.sock").c_str());
        auto subject = std::make_unique<AppUnderTest>();
        PrepareForChildExits(subject->app());
        TeskFrame& frame = *subject->app().frame;
        EXPECT_TRUE(frame.printerChoice->IsEmpty());

        EXPECT_TRUE(subject->PumpUntil([&] { return !frame.printerChoice->IsEmpty(); }, 60));
        ASSERT_EQ(frame.printerChoice->GetCount(), 2u);
        EXPECT_EQ(frame.printerChoice->GetString(0), "Alpha");
        EXPECT_EQ(frame.printerChoice->GetString(1), "Beta");
        EXPECT_TRUE(frame.printerChoice->IsEnabled());
        EXPECT_EQ(frame.GetPrinter(), "Beta");
        subject.reset();
        EXPECT_TRUE(WaitForWorkerThreads(std::chrono::seconds(60)));
    }
    late.Close();
    std::filesystem::remove_all(directory);
}
