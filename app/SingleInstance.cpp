#include "app/SingleInstance.h"

#include <wx/log.h>
#include <wx/snglinst.h>

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
    // Failures are expected while the first copy starts; no log boxes for them.
    wxLogNull quiet;
    return RequestShow(place);
}

void SingleInstance::Listen(std::function<void()> show) {
    // Without a listener later copies still end; only the raise is lost.
    wxLogNull quiet;
    listener = ListenForShowRequests(place, std::move(show));
}
