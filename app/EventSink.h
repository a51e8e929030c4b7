#pragma once

#include <chrono>
#include <functional>
#include <string>

#include <wx/event.h>

// Worker threads outlive the objects they report to: the update check is never waited
// for, and a pickup worker stuck on a dead server is left behind at exit. They therefore
// queue through this registry instead of calling wxQueueEvent directly. A receiver opens
// its sink before any worker starts and closes it before it goes away; an event for a
// closed sink is deleted instead of queued.

void OpenEventSink(wxEvtHandler* sink);

// Closes the sink. First waits up to `wait` for a hand-over in progress under
// WithOpenSink, so that its event is still delivered; returns false when that hand-over
// did not end in time (the sink is closed all the same).
bool CloseEventSink(wxEvtHandler* sink, std::chrono::milliseconds wait = std::chrono::seconds(2));

bool IsEventSinkOpen(wxEvtHandler* sink);

// Queues `event` (taking ownership) when the sink is open; otherwise deletes it.
bool QueueToSink(wxEvtHandler* sink, wxEvent* event);

// Runs `action` while the sink is guaranteed to stay open, so that a step that must be
// followed by an event (removing a file on the server, then handing over the local copy)
// happens only when the event will be delivered. Returns false, without running
// `action`, when the sink is closed.
bool WithOpenSink(wxEvtHandler* sink, const std::function<void()>& action);

// Queues a wxThreadEvent of `type`, id wxID_ANY, carrying `payload`.
template <typename T>
bool QueueThreadEvent(wxEvtHandler* sink, wxEventType type, const T& payload) {
    auto* event = new wxThreadEvent(type, wxID_ANY);
    event->SetPayload(payload);
    return QueueToSink(sink, event);
}
