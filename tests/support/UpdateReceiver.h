#pragma once

#include <string>
#include <vector>

#include <wx/event.h>

#include "app/EventSink.h"
#include "app/WorkerEvents.h"

// Stands in for the application object: records the update events that reach it.
class UpdateReceiver : public wxEvtHandler {
public:
    UpdateReceiver() {
        Connect(wxEVT_UPDATE_AVAILABLE, wxThreadEventHandler(UpdateReceiver::OnUpdateAvailable));
        OpenEventSink(this);
    }
    ~UpdateReceiver() override { CloseEventSink(this); }

    void OnUpdateAvailable(wxThreadEvent& event) {
        ids.push_back(event.GetId());
        payloads.push_back(event.GetPayload<std::string>());
    }

    std::vector<int> ids;
    std::vector<std::string> payloads;
};
