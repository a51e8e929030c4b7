#include "app/SingleInstance.h"

#include <wx/app.h>
#include <wx/ipc.h>
#include <wx/log.h>
#include <wx/snglinst.h>
#include <wx/utils.h>

namespace {

const char kTopic[] = "show";
// The first copy takes the lock before it listens, and a later copy may come in between.
constexpr int kConnectAttempts = 20;
constexpr int kConnectPause = 250;  // milliseconds

class ShowConnection : public wxConnection {
public:
    explicit ShowConnection(std::function<void()> show) : show(std::move(show)) {}

    bool OnExecute(const wxString&, const void*, size_t, wxIPCFormat) override {
        // Out of the socket's own event: showing the window may run further events.
        wxTheApp->CallAfter(show);
        return true;
    }

private:
    std::function<void()> show;
};

class ShowServer : public wxServer {
public:
    explicit ShowServer(std::function<void()> show) : show(std::move(show)) {}

    wxConnectionBase* OnAcceptConnection(const wxString& topic) override {
        // Deletes itself when the other copy disconnects.
        return topic == kTopic ? new ShowConnection(show) : nullptr;
    }

private:
    std::function<void()> show;
};

// A connection this side owns: the base class would delete itself when the peer hangs up.
class OwnedConnection : public wxConnection {
public:
    bool OnDisconnect() override { return true; }
};

class ShowClient : public wxClient {
public:
    wxConnectionBase* OnMakeConnection() override { return new OwnedConnection; }
};

}  // namespace

SingleInstance::SingleInstance()
    : place(SessionInstancePlace()), checker(std::make_unique<wxSingleInstanceChecker>()) {
    wxLogNull quiet;  // a lock that cannot be made leaves this copy on its own
    checker->Create(place.lockName, place.lockFolder);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::AnotherCopyRuns() const {
    wxLogNull quiet;
    return checker->IsAnotherRunning();
}

bool SingleInstance::AskToShow() const {
    // Failures to connect are expected while the first copy starts; no log boxes for them.
    wxLogNull quiet;
    ShowClient client;
    for (int attempt = 0; attempt < kConnectAttempts; ++attempt) {
        std::unique_ptr<wxConnectionBase> connection(
            client.MakeConnection("localhost", place.service, kTopic));
        if (connection) {
            const bool asked = connection->Execute(kTopic);
            connection->Disconnect();
            return asked;
        }
        wxMilliSleep(kConnectPause);
    }
    return false;
}

void SingleInstance::Listen(std::function<void()> show) {
    wxLogNull quiet;  // without a listener later copies still end; only the raise is lost
    auto listener = std::make_unique<ShowServer>(std::move(show));
    if (listener->Create(place.service)) {
        server = std::move(listener);
    }
}
