// Unix: the lock in the session's runtime folder, and the toolkit's IPC over a Unix socket
// beside it, made for this user only.
#include <wx/app.h>
#include <wx/filename.h>
#include <wx/ipc.h>
#include <wx/utils.h>

#include "app/SingleInstance.h"

namespace {

const char kTopic[] = "show";

wxString FileNamePart(const wxString& text) {
    wxString part;
    for (const wxUniChar c : text) {
        part += wxIsalnum(c) || c == '.' || c == '-' || c == '_' ? c : wxUniChar('_');
    }
    return part;
}

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

class ShowServer : public wxServer, public ShowListener {
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

InstancePlace SessionInstancePlace() {
    // The runtime folder lives as long as the user's login; one user may have several
    // displays, each a desktop session of its own.
    wxString display;
    if (!wxGetEnv("WAYLAND_DISPLAY", &display) || display.empty()) {
        wxGetEnv("DISPLAY", &display);
    }
    wxString folder;
    wxGetEnv("XDG_RUNTIME_DIR", &folder);
    if (folder.empty() || !wxIsAbsolutePath(folder) || !wxFileName::DirExists(folder)) {
        folder = wxGetHomeDir();  // where the toolkit would put the lock
    }
    const wxString name =
        ".corvane-print-spooler-" + FileNamePart(wxGetUserId()) + "-" + FileNamePart(display);

    InstancePlace place;
    place.lockName = name + ".lock";
    place.lockFolder = folder;
    // A path: the toolkit's IPC then uses a Unix socket.
    place.service = folder + "/" + name + ".sock";
    return place;
}

std::unique_ptr<ShowListener> ListenForShowRequests(const InstancePlace& place,
                                                    std::function<void()> show) {
    auto server = std::make_unique<ShowServer>(std::move(show));
    if (!server->Create(place.service)) {
        return nullptr;
    }
    return server;
}

bool RequestShow(const InstancePlace& place) {
    ShowClient client;
    for (int attempt = 0; attempt < kShowRequestAttempts; ++attempt) {
        std::unique_ptr<wxConnectionBase> connection(
            client.MakeConnection("localhost", place.service, kTopic));
        if (connection) {
            const bool asked = connection->Execute(kTopic);
            connection->Disconnect();
            return asked;
        }
        wxMilliSleep(kShowRequestPause);
    }
    return false;
}
