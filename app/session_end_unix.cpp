#include "app/SessionEnd.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <X11/Xlib.h>
#include <wx/app.h>

#include <cerrno>
#include <iterator>
#include <thread>

#include "app/DiagnosticLog.h"

namespace {

constexpr int kWatchedSignals[] = {SIGTERM, SIGHUP};
constexpr char kStopReading = 0;

// Shared with the signal handler and the display library's error handler, which take no
// context of their own.
volatile sig_atomic_t wakeFd = -1;
std::function<void()>* displayLostAction = nullptr;

// Only what is safe in a signal handler: a lock-free flag and one write to a pipe. A full
// pipe already holds a wake-up, so a failed write loses nothing.
extern "C" void OnSessionSignal(int number) {
    const int saved = errno;
    NoteSessionEnd();
    const char byte = static_cast<char>(number);
    const ssize_t written = write(wakeFd, &byte, 1);
    static_cast<void>(written);
    errno = saved;
}

// Called by Xlib when the display connection breaks; Xlib ends the process if it returns.
int OnDisplayLost(Display*) {
    if (displayLostAction != nullptr && *displayLostAction) {
        (*displayLostAction)();
    }
    _exit(1);
}

std::string SignalName(int number) {
    switch (number) {
        case SIGTERM:
            return "SIGTERM";
        case SIGHUP:
            return "SIGHUP";
        default:
            return "signal " + std::to_string(number);
    }
}

// The signals reach the user-interface thread through a pipe and a thread that reads it:
// the toolkit is never called from inside a signal handler.
class SignalWatch : public SessionEndWatch {
public:
    SignalWatch(std::function<void(const std::string&)> ending, std::function<void()> displayLost)
        : ending(std::move(ending)), displayLost(std::move(displayLost)) {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0) {
            LogLine("exit: cannot watch for the end of the session: no pipe");
            return;
        }
        readEnd = ends[0];
        writeEnd = ends[1];
        fcntl(writeEnd, F_SETFL, O_NONBLOCK);
        wakeFd = writeEnd;
        reader = std::thread([this] { Read(); });

        struct sigaction action = {};
        action.sa_handler = OnSessionSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (size_t i = 0; i < std::size(kWatchedSignals); ++i) {
            sigaction(kWatchedSignals[i], &action, &previous[i]);
        }
        displayLostAction = &this->displayLost;
        previousIoHandler = XSetIOErrorHandler(OnDisplayLost);
    }

    ~SignalWatch() override {
        if (readEnd < 0) {
            return;
        }
        XSetIOErrorHandler(previousIoHandler);
        displayLostAction = nullptr;
        for (size_t i = 0; i < std::size(kWatchedSignals); ++i) {
            sigaction(kWatchedSignals[i], &previous[i], nullptr);
        }
        const char stop = kStopReading;
        while (write(writeEnd, &stop, 1) < 0 && errno == EINTR) {
        }
        reader.join();
        wakeFd = -1;
        close(readEnd);
        close(writeEnd);
    }

    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;

private:
    void Read() {
        for (;;) {
            char byte = kStopReading;
            const ssize_t got = read(readEnd, &byte, 1);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0 || byte == kStopReading) {
                return;
            }
            // A copy of the action: the event may be handled after this watch has gone.
            const std::string why = SignalName(byte) + " received";
            wxTheApp->CallAfter([action = ending, why] { action(why); });
        }
    }

    std::function<void(const std::string&)> ending;
    std::function<void()> displayLost;
    int readEnd = -1;
    int writeEnd = -1;
    std::thread reader;
    struct sigaction previous[std::size(kWatchedSignals)] = {};
    XIOErrorHandler previousIoHandler = nullptr;
};

}  // namespace

std::unique_ptr<SessionEndWatch> WatchSessionEnd(std::function<void(const std::string&)> ending,
                                                 std::function<void()> displayLost) {
    return std::make_unique<SignalWatch>(std::move(ending), std::move(displayLost));
}
