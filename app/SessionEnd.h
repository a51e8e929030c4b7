#pragma once

#include <functional>
#include <memory>
#include <string>

// What the platform says, beyond the toolkit's own events, when the desktop session ends
// under the running program. On Unix: the signals a session manager or init sends
// (SIGTERM, SIGHUP) and the loss of the X display. On Windows the toolkit reports the end
// itself (wxEVT_QUERY_END_SESSION, wxEVT_END_SESSION), so nothing more is watched there.
class SessionEndWatch {
public:
    virtual ~SessionEndWatch() = default;
};

// From the moment the end of the session is first noticed (in a signal handler, before the
// event loop hears of it): what ends now may have been ended by the session.
void NoteSessionEnd();
bool SessionEndNoticed();

// `ending` runs on the user-interface thread, from its event loop (a modal box's loop
// included), with what ended the session. `displayLost` runs on the user-interface thread
// when the connection to the display has broken, from inside the display library with no
// event loop left: it must not touch the toolkit, and must not return (the process is
// ended at once if it does). Only one watch may exist at a time.
std::unique_ptr<SessionEndWatch> WatchSessionEnd(std::function<void(const std::string& why)> ending,
                                                 std::function<void()> displayLost);
